// Frames: one frame on demand against the whole-image extraction, frames
// split over fragments, parallel decoding, and files beyond 4 GiB.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "image/single.h"
#include "reader/dicom.h"
#include "test_support.h"

using namespace image_test;
namespace fs = std::filesystem;

namespace {

struct Frames {
    bool ok = false;
    int32_t frames = 0;
    Bytes pixels;
    std::string log;
};

constexpr int32_t every_frame = INT32_MIN;

// dicom_single() (every_frame) or dicom_single_frame(frame) on `path`.
Frames extract(const std::string& path, int32_t frame = every_frame, unsigned threads = 1)
{
    const LogCapture log(LogLevel::warning);
    Frames result;
    EXPECT_EQ(dicom_open(path.c_str()), 0) << path;
    dicom_single_threads(threads);
    const single_image* image = frame == every_frame ? dicom_single() : dicom_single_frame(frame);
    dicom_single_threads(1);
    if (image != nullptr) {
        result.ok = true;
        result.frames = image->frames;
        if (image->pixels != nullptr) {
            result.pixels.assign(image->pixels, image->pixels + image->pixel_bytes);
        }
    }
    dicom_single_free();
    dicom_close();
    result.log = log.text();
    return result;
}

Bytes slice(const Bytes& all, std::size_t index, std::size_t count)
{
    return Bytes(all.begin() + static_cast<std::ptrdiff_t>(index * all.size() / count),
                 all.begin() + static_cast<std::ptrdiff_t>((index + 1) * all.size() / count));
}

// A directory of its own, removed with the object.
class TempDir {
public:
    TempDir() : path_(fs::temp_directory_path() / ("velmor_frames_" + std::to_string(::getpid())))
    {
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

// The peer-made multi-frame files with their native twins.
class PeerFrames : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new TempDir;
        const std::string command =
            "/usr/bin/python3 " VELMOR_TEST_SOURCE "/make_frame_fixtures.py " + dir->file("");
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::ifstream manifest(dir->file("manifest.txt"));
        std::string file;
        std::string twin;
        while (std::getline(manifest, file, '\t') && std::getline(manifest, twin)) {
            cases.emplace_back(file, twin);
        }
        ASSERT_EQ(cases.size(), 9U);
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
        cases.clear();
    }
    static TempDir* dir;
    static std::vector<std::pair<std::string, std::string>> cases;
};
TempDir* PeerFrames::dir = nullptr;
std::vector<std::pair<std::string, std::string>> PeerFrames::cases;

TEST_F(PeerFrames, EveryFileDecodesToItsNativeTwin)
{
    // With and without offset tables, one and several fragments per frame.
    for (const auto& [file, twin] : cases) {
        const Frames whole = extract(file);
        const Frames native = extract(twin);
        ASSERT_TRUE(whole.ok) << file << whole.log;
        EXPECT_EQ(whole.pixels, native.pixels) << file;
    }
}

TEST_F(PeerFrames, OneFrameEqualsItsSliceOfTheWholeImage)
{
    for (const auto& [file, twin] : cases) {
        const Frames whole = extract(file);
        ASSERT_TRUE(whole.ok) << file;
        const int32_t count = whole.frames;
        for (const int32_t k : {0, count / 2, count - 1}) {
            const Frames one = extract(file, k);
            ASSERT_TRUE(one.ok) << file << " frame " << k << one.log;
            EXPECT_EQ(one.frames, count) << file;
            EXPECT_EQ(one.pixels,
                      slice(whole.pixels, static_cast<std::size_t>(k), static_cast<std::size_t>(count)))
                << file << " frame " << k;
        }
        const Frames past = extract(file, count);
        EXPECT_FALSE(past.ok) << file;
        const std::string refusal = "error: Frame " + std::to_string(count + 1) + " requested: the file holds " +
                                    std::to_string(count) + (count == 1 ? " frame." : " frames.");
        EXPECT_NE(past.log.find(refusal), std::string::npos) << file << past.log;
        EXPECT_FALSE(extract(file, -1 - count).ok) << file;
    }
}

TEST_F(PeerFrames, ParallelDecodingGivesTheSerialBytes)
{
    for (const auto& [file, twin] : cases) {
        EXPECT_EQ(extract(file, every_frame, 0).pixels, extract(file, every_frame, 1).pixels) << file;
        EXPECT_EQ(extract(file, every_frame, 3).pixels, extract(file, every_frame, 1).pixels) << file;
    }
}

// Files beyond 4 GiB, sparse: a real header, a hole, and a real last frame.

// An 8 x 8, 8-bit RLE frame of one value.
Bytes flat_rle_frame(uint8_t value) { return rle_frame({{static_cast<uint8_t>(257 - 64), value}}); }

void write_at(std::FILE* file, uint64_t position, const Bytes& bytes)
{
    ASSERT_EQ(fseeko(file, static_cast<off_t>(position), SEEK_SET), 0);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
}

Bytes item_header(uint32_t length) { return DicomBytes().item(length).byte_vector(); }

TEST(LargeFiles, EncapsulatedBeyondFourGigabytesFindTheirLastFrame)
{
    const TempDir dir;
    constexpr uint32_t hole_item = 0xFFFFFFF0U; // two of them: past 8 GiB
    const Bytes last = flat_rle_frame(42);
    for (const bool extended : {false, true}) {
        DicomBytes head = dicom_file("1.2.840.10008.1.2.5");
        head.image(8, 8, 8).text(0x0028, 0x0008, "IS", "3");
        if (extended) {
            const std::string offsets =
                head.n64(0) + head.n64(uint64_t{8} + hole_item) + head.n64(2 * (uint64_t{8} + hole_item));
            const std::string lengths = head.n64(hole_item) + head.n64(hole_item) + head.n64(last.size());
            head.element(0x7FE0, 0x0001, "OV", offsets).element(0x7FE0, 0x0002, "OV", lengths);
        }
        head.header(0x7FE0, 0x0010, "OB").fragment("");
        const std::string path = dir.file(extended ? "extended.dcm" : "walked.dcm");
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        const uint64_t first_item = head.size();
        write_at(file, 0, head.byte_vector());
        write_at(file, first_item, item_header(hole_item));
        const uint64_t second_item = first_item + 8 + hole_item;
        write_at(file, second_item, item_header(hole_item));
        write_at(file, second_item + 8 + hole_item, DicomBytes().fragment(last).sequence_end().byte_vector());
        ASSERT_EQ(std::fclose(file), 0);
        ASSERT_GT(fs::file_size(path), uint64_t{8} << 30);

        const Frames frame = extract(path, 2);
        ASSERT_TRUE(frame.ok) << frame.log;
        EXPECT_EQ(frame.frames, 3);
        EXPECT_EQ(frame.pixels, Bytes(64, 42));
        fs::remove(path);
    }
}

TEST(LargeFiles, WholeImagesBeyondFourGigabytesAreRefusedOneFrameIsNot)
{
    const TempDir dir;
    DicomBytes head = dicom_file("1.2.840.10008.1.2.5");
    head.image(256, 256, 8).text(0x0028, 0x0008, "IS", "70000"); // 4.6 GB decoded
    head.header(0x7FE0, 0x0010, "OB").fragment("");
    const std::string path = dir.file("many.dcm");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    write_at(file, 0, head.byte_vector());
    write_at(file, head.size(), item_header(0x7FFFFFF0U));
    write_at(file, head.size() + 8 + 0x7FFFFFF0U, DicomBytes().fragment(flat_rle_frame(7)).byte_vector());
    ASSERT_EQ(std::fclose(file), 0);

    const Frames whole = extract(path);
    EXPECT_FALSE(whole.ok);
    EXPECT_NE(whole.log.find("more than the 4 GiB a whole image may take"), std::string::npos) << whole.log;
    const Frames second = extract(path, 1);
    ASSERT_TRUE(second.ok) << second.log;
    EXPECT_EQ(Bytes(second.pixels.begin(), second.pixels.begin() + 64), Bytes(64, 7));
}

TEST(LargeFiles, NativeOfThreeGigabytesFindsItsLastFrame)
{
    const TempDir dir;
    constexpr uint32_t frames = 6144; // of 512 x 512 16-bit samples: 3 GiB
    constexpr uint32_t frame_bytes = 512 * 512 * 2;
    DicomBytes head = dicom_file("1.2.840.10008.1.2.1");
    head.image(512, 512, 16).text(0x0028, 0x0008, "IS", std::to_string(frames));
    head.header(0x7FE0, 0x0010, "OW", frames * frame_bytes);
    const std::string path = dir.file("native.dcm");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    write_at(file, 0, head.byte_vector());
    Bytes last(frame_bytes);
    for (std::size_t i = 0; i < last.size(); ++i) {
        last[i] = static_cast<uint8_t>(i * 13 + 5);
    }
    write_at(file, head.size() + uint64_t{frames - 1} * frame_bytes, last);
    ASSERT_EQ(std::fclose(file), 0);

    const Frames frame = extract(path, static_cast<int32_t>(frames - 1));
    ASSERT_TRUE(frame.ok) << frame.log;
    EXPECT_EQ(frame.pixels, last);
    const Frames middle = extract(path, 3000);
    ASSERT_TRUE(middle.ok) << middle.log;
    EXPECT_EQ(middle.pixels, Bytes(frame_bytes, 0));
    EXPECT_FALSE(extract(path, static_cast<int32_t>(frames)).ok);
}

} // namespace
