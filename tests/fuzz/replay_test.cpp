// Every input the fuzzers ever flagged, kept under tests/data/regressions/
// <target>/, replayed through the same path the fuzz target drives. In the
// sanitizer build a returning fault aborts the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/log.h"
#include "fuzz/fuzz_targets.h"
#include "image/single.h"
#include "reader/dicom.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> read_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The saved inputs of one target, in name order.
std::vector<fs::path> regressions(const char* target)
{
    std::vector<fs::path> files;
    const fs::path dir = fs::path(VELMOR_REGRESSIONS) / target;
    if (fs::is_directory(dir)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

using Harness = void (*)(const uint8_t*, std::size_t);

// Replays each input and returns how many there were.
std::size_t replay(const char* target, Harness harness)
{
    const std::vector<fs::path> files = regressions(target);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::vector<uint8_t> bytes = read_bytes(file);
        EXPECT_FALSE(bytes.empty());
        harness(bytes.data(), bytes.size());
    }
    return files.size();
}

} // namespace

TEST(FuzzRegressions, ReaderWalk) { EXPECT_GE(replay("reader_walk", fuzz_reader_walk), 1U); }
TEST(FuzzRegressions, Single) { EXPECT_GE(replay("single", fuzz_single), 1U); }
TEST(FuzzRegressions, Frames) { EXPECT_GE(replay("frames", fuzz_frames), 1U); }
TEST(FuzzRegressions, Rle) { EXPECT_GE(replay("rle", fuzz_rle), 1U); }
TEST(FuzzRegressions, Ljpeg) { EXPECT_GE(replay("ljpeg", fuzz_ljpeg), 3U); }
TEST(FuzzRegressions, Dct) { EXPECT_GE(replay("dct", fuzz_dct), 3U); }
TEST(FuzzRegressions, HeaderWalk) { EXPECT_GE(replay("header_walk", fuzz_header_walk), 3U); }
// The header walk's findings through the browser model too.
TEST(FuzzRegressions, Browser) { EXPECT_GE(replay("header_walk", fuzz_browser), 3U); }
TEST(FuzzRegressions, InflateView) { EXPECT_GE(replay("inflate_view", fuzz_inflate_view), 1U); }
TEST(FuzzRegressions, JpegCodec) { EXPECT_GE(replay("jpeg_codec", fuzz_jpeg_codec), 1U); }
TEST(FuzzRegressions, JpegLsCodec) { EXPECT_GE(replay("jpegls_codec", fuzz_jpegls_codec), 1U); }
TEST(FuzzRegressions, Jpeg2000Codec) { EXPECT_GE(replay("jpeg2000_codec", fuzz_jpeg2000_codec), 2U); }
TEST(FuzzRegressions, FrameSyntaxCodec) { EXPECT_GE(replay("frame_syntax_codec", fuzz_frame_syntax_codec), 3U); }
// No finding yet: a small stream of each video codec in two fragments, and
// one cut inside its last fragment.
TEST(FuzzRegressions, VideoStream) { EXPECT_GE(replay("video_stream", fuzz_video_stream), 4U); }
TEST(FuzzRegressions, Charset) { EXPECT_GE(replay("charset", fuzz_charset), 1U); }
TEST(FuzzRegressions, Display) { EXPECT_GE(replay("display", fuzz_display), 3U); }
// The document finding: an element without a value, read after the Transfer
// Syntax UID, handed the reader's own block of that UID to the export tree,
// which freed it a second time.
TEST(FuzzRegressions, Document) { EXPECT_GE(replay("document", fuzz_document), 1U); }

// The extraction finding: a 28 KB file whose header announces far more
// encapsulated frames than its fragments could decode to is refused before
// any buffer is allocated for them.
TEST(FuzzRegressions, AnnouncedFramesBeyondTheFileAreRefused)
{
    const fs::path file = fs::path(VELMOR_REGRESSIONS) / "single" / "encapsulated-frames-beyond-file";
    log_level = LogLevel::silent;
    ASSERT_EQ(dicom_open(file.c_str()), 0);
    EXPECT_EQ(dicom_single(), nullptr);
    dicom_single_free();
    dicom_close();
}
TEST(FuzzRegressions, Picture) { EXPECT_GE(replay("picture", fuzz_picture), 1U); }
TEST(FuzzRegressions, Series) { EXPECT_GE(replay("series", fuzz_series), 3U); }
TEST(FuzzRegressions, Dicomdir) { EXPECT_GE(replay("dicomdir", fuzz_dicomdir), 3U); }
TEST(FuzzRegressions, ViewAttributes) { EXPECT_GE(replay("view_attributes", fuzz_view_attributes), 3U); }
