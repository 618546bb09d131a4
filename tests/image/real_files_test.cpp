// pydicom's real files and dcmcrle-made RLE files: extraction delivers the
// peers' pixel bytes, or refuses a file by the rule named in the manifest
// that make_fixtures.py writes.
#include "image/single.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "reader/dicom.h"
#include "test_support.h"

using namespace image_test;

namespace {

struct Case {
    std::string group;
    std::string kind;
    std::string file;
    std::string expected;
};

std::vector<Case> manifest()
{
    std::vector<Case> cases;
    std::ifstream in(std::string(VELMOR_FIXTURE_DIR) + "/manifest.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Case c;
        std::getline(fields, c.group, '\t');
        std::getline(fields, c.kind, '\t');
        std::getline(fields, c.file, '\t');
        std::getline(fields, c.expected, '\t');
        cases.push_back(c);
    }
    return cases;
}

Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void check(const Case& c)
{
    SCOPED_TRACE(c.file);
    const LogCapture log(LogLevel::warning);
    ASSERT_EQ(dicom_open(c.file.c_str()), 0);
    const single_image* image = dicom_single();
    if (c.kind == "match") {
        ASSERT_NE(image, nullptr) << log.text();
        const Bytes expected = read_file(c.expected);
        ASSERT_EQ(image->pixel_bytes, expected.size());
        ASSERT_NE(image->pixels, nullptr);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image->pixels));
    } else {
        EXPECT_EQ(image, nullptr);
        EXPECT_TRUE(log.contains(c.expected)) << log.text();
    }
    dicom_single_free();
    dicom_close();
}

void check_group(const std::string& group, std::size_t at_least)
{
    std::size_t seen = 0;
    for (const Case& c : manifest()) {
        if (c.group == group) {
            check(c);
            ++seen;
        }
    }
    EXPECT_GE(seen, at_least) << "fixtures missing: run the image_fixtures_setup test";
}

} // namespace

TEST(RealFiles, RleFilesDecodeAsTheirPeerOrFailByTheSegmentRule) { check_group("real-rle", 9); }

TEST(RealFiles, UncompressedFilesGiveTheirStoredPixels) { check_group("real-native", 20); }

TEST(RealFiles, RleMadeWithThePeerEncoderRoundTrips) { check_group("round-trip", 7); }

namespace {

// One line of the codec fixtures' manifest (make_codec_fixtures.py).
struct CodecCase {
    std::string group;
    std::string kind;
    std::string file;
    std::string expected;
    std::size_t sample_bytes = 1;
    std::string photometric;
    uint16_t planar = 0;
};

std::vector<CodecCase> codec_manifest()
{
    std::vector<CodecCase> cases;
    std::ifstream in(std::string(VELMOR_FIXTURE_DIR) + "/codec_manifest.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        CodecCase c;
        std::string bytes;
        std::string planar;
        std::getline(fields, c.group, '\t');
        std::getline(fields, c.kind, '\t');
        std::getline(fields, c.file, '\t');
        std::getline(fields, c.expected, '\t');
        std::getline(fields, bytes, '\t');
        std::getline(fields, c.photometric, '\t');
        std::getline(fields, planar, '\t');
        c.sample_bytes = std::stoul(bytes);
        c.planar = static_cast<uint16_t>(std::stoul(planar));
        cases.push_back(c);
    }
    return cases;
}

int64_t sample_at(const uint8_t* bytes, std::size_t index, std::size_t width)
{
    if (width == 1) {
        return bytes[index];
    }
    if (width == 2) {
        uint16_t sample = 0;
        std::memcpy(&sample, bytes + 2 * index, 2);
        return sample;
    }
    uint32_t sample = 0;
    std::memcpy(&sample, bytes + 4 * index, 4);
    return sample;
}

// Lossy decoding: within 2 of the peer on every sample and within 1 on
// 99.9 % of them (samples compared as unsigned numbers of their width).
void expect_near(const Bytes& expected, const uint8_t* got, std::size_t width)
{
    const std::size_t samples = expected.size() / width;
    std::size_t beyond_one = 0;
    int64_t largest = 0;
    for (std::size_t k = 0; k < samples; ++k) {
        const int64_t difference = std::llabs(sample_at(expected.data(), k, width) - sample_at(got, k, width));
        largest = std::max(largest, difference);
        beyond_one += difference > 1 ? 1 : 0;
    }
    EXPECT_LE(largest, 2);
    EXPECT_LE(beyond_one * 1000, samples);
}

void check_codec_case(const CodecCase& c)
{
    SCOPED_TRACE(c.file);
    const LogCapture log(LogLevel::warning);
    ASSERT_EQ(dicom_open(c.file.c_str()), 0);
    const single_image* image = dicom_single();
    const Bytes expected = read_file(c.expected);
    EXPECT_NE(image, nullptr) << log.text();
    if (image != nullptr && image->pixels != nullptr && image->pixel_bytes == expected.size()) {
        if (c.kind == "match") {
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image->pixels));
        } else {
            expect_near(expected, image->pixels, c.sample_bytes);
        }
        EXPECT_EQ(photometric_names[image->photometric], c.photometric);
        EXPECT_EQ(image->planar_configuration, c.planar);
    } else if (image != nullptr) {
        ADD_FAILURE() << "pixel bytes " << image->pixel_bytes << ", expected " << expected.size();
    }
    dicom_single_free();
    dicom_close();
}

void check_codec_group(const std::string& group, std::size_t at_least)
{
    std::size_t seen = 0;
    for (const CodecCase& c : codec_manifest()) {
        if (c.group == group) {
            check_codec_case(c);
            ++seen;
        }
    }
    EXPECT_GE(seen, at_least) << "fixtures missing: run the image_codec_fixtures_setup test";
}

} // namespace

TEST(RealFiles, CompressedFilesDecodeAsTheirPeerDoes) { check_codec_group("real-codec", 18); }

TEST(RealFiles, TwelveBitJpegFilesDecodeWithinTheLossyTolerance)
{
    check_codec_group("real-jpeg12", 2);
    check_codec_group("peer-jpeg12", 1);
}

TEST(RealFiles, PeerEncodedFilesOfEverySyntaxDecodeAsThePeerDoes) { check_codec_group("peer-encoded", 28); }

TEST(RealFiles, HighThroughputJpeg2000GivesTheOriginalBack) { check_codec_group("htj2k", 4); }

TEST(RealFiles, DeflatedAndEncapsulatedUncompressedFramesGiveTheSourceBack)
{
    check_codec_group("frame-syntax", 8);
}

TEST(RealFiles, SignednessOrPrecisionMismatchIsWarnedAbout)
{
    const LogCapture log(LogLevel::warning);
    const std::string path = std::string(VELMOR_PYDICOM_FILES) + "/J2K_pixelrep_mismatch.dcm";
    ASSERT_EQ(dicom_open(path.c_str()), 0);
    const single_image* image = dicom_single();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixel_representation, 1);
    EXPECT_TRUE(log.contains("warning: JPEG 2000 - Codestream signedness or precision differs")) << log.text();
    dicom_single_free();
    dicom_close();
}

// An image source gives each frame, in any order and again after a failure,
// as the whole-image extraction has it, walking the header only once.
TEST(ImageSourceFrames, EachFrameOnDemandEqualsItsSliceOfTheWholeImage)
{
    for (const char* name : {"rtdose.dcm", "SC_rgb_rle_2frame.dcm", "rtdose_rle.dcm", "MR_small.dcm"}) {
        SCOPED_TRACE(name);
        const std::string path = std::string(VELMOR_PYDICOM_FILES) + "/" + name;
        ImageSource whole;
        ASSERT_FALSE(whole.open(path));
        const single_image* all = whole.image();
        ASSERT_NE(all, nullptr);
        const Bytes everything(all->pixels, all->pixels + all->pixel_bytes);
        const int32_t frames = all->frames;
        const std::size_t frame_bytes = everything.size() / static_cast<std::size_t>(frames);

        ImageSource source;
        ASSERT_FALSE(source.open(path));
        std::vector<int32_t> order;
        for (int32_t i = frames - 1; i >= 0; --i) {
            order.push_back(i);
        }
        order.push_back(frames); // past the end: a failure with the count
        order.push_back(0);      // and the source goes on
        for (std::size_t k = 0; k < order.size(); ++k) {
            const int32_t i = order[k];
            // Only the first frame, and the first after a failure, walk the header.
            const bool walks = k == 0 || order[k - 1] == frames;
            const LogCapture log(LogLevel::debug);
            const single_image* frame = source.frame(i);
            EXPECT_EQ(log.contains("dicom_element()"), walks) << "frame " << i;
            if (i == frames) {
                EXPECT_EQ(frame, nullptr);
                EXPECT_EQ(source.failure().code, image_failure_code::frame_past_end);
                continue;
            }
            ASSERT_NE(frame, nullptr) << i;
            ASSERT_EQ(frame->pixel_bytes, frame_bytes);
            EXPECT_TRUE(std::equal(frame->pixels, frame->pixels + frame_bytes,
                                   everything.begin() + static_cast<std::ptrdiff_t>(frame_bytes * i)))
                << "frame " << i;
        }
    }
}
