// pydicom's real files and dcmcrle-made RLE files: extraction delivers the
// peers' pixel bytes, or refuses a file by the rule named in the manifest
// that make_fixtures.py writes.
#include "image/single.h"

#include <gtest/gtest.h>

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
    const LogCapture log(LOG_WARNING);
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
