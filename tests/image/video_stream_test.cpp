// The video stream and its picture list, on small streams ffmpeg encodes at
// test time: how many pictures, which ones decoding can start at, and the
// fragments joined as one stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/video_stream.h"
#include "tests/common/test_temp_dir.h"

namespace {

// Twelve 32 x 32 frames encoded with `options`; empty when ffmpeg fails.
std::vector<uint8_t> encode(const std::string& options)
{
    const std::string path = test_temp_path("stream");
    const std::string command = "ffmpeg -v error -y -f lavfi -i testsrc2=size=32x32:rate=25:duration=0.48 " +
                                options + " -pix_fmt yuv420p -f rawvideo " + path;
    if (std::system(command.c_str()) != 0) {
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put_item(std::vector<uint8_t>& out, const std::vector<uint8_t>& value)
{
    const auto length = static_cast<uint32_t>(value.size());
    out.insert(out.end(), {0xFE, 0xFF, 0x00, 0xE0});
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(length >> shift));
    }
    out.insert(out.end(), value.begin(), value.end());
}

// The Pixel Data value: an empty offset table, the stream in `parts` fragments.
std::vector<uint8_t> items(const std::vector<uint8_t>& stream, std::size_t parts)
{
    std::vector<uint8_t> out;
    put_item(out, {});
    const std::size_t size = (stream.size() / parts + 1) & ~std::size_t{1};
    for (std::size_t at = 0; at < stream.size(); at += size) {
        put_item(out, {stream.begin() + static_cast<std::ptrdiff_t>(at),
                       stream.begin() + static_cast<std::ptrdiff_t>(std::min(at + size, stream.size()))});
    }
    out.insert(out.end(), {0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0});
    return out;
}

// The pictures decoding can start at.
std::vector<std::size_t> keys(video_codec codec, const std::vector<uint8_t>& stream, std::size_t parts = 1)
{
    std::string error;
    std::optional<video_stream> joined = video_stream::assemble(items(stream, parts), error);
    EXPECT_TRUE(joined) << error;
    if (!joined) {
        return {};
    }
    EXPECT_EQ(joined->size(), stream.size());
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), joined->bytes().begin()));
    EXPECT_TRUE(joined->index(codec, error)) << error;
    EXPECT_EQ(joined->pictures().size(), 12U);
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < joined->pictures().size(); ++i) {
        if (joined->pictures()[i].key) {
            found.push_back(i);
        }
    }
    return found;
}

TEST(VideoStream, CleanStartsOfEachCodec)
{
    const std::vector<uint8_t> h264 = encode("-c:v libx264 -g 4 -bf 2");
    ASSERT_FALSE(h264.empty());
    EXPECT_EQ(keys(video_codec::h264, h264), (std::vector<std::size_t>{0, 4, 8}));
    EXPECT_EQ(keys(video_codec::h264, h264, 7), (std::vector<std::size_t>{0, 4, 8}));
    // MPEG-2: an I picture with B pictures after it leans on the group before,
    // unless its group is closed (the encoder's closed groups here: I B B P).
    EXPECT_EQ(keys(video_codec::mpeg2, encode("-c:v mpeg2video -g 6 -bf 2")), (std::vector<std::size_t>{0}));
    EXPECT_EQ(keys(video_codec::mpeg2, encode("-c:v mpeg2video -g 6 -bf 2 -flags +cgop -sc_threshold 1000000000")),
              (std::vector<std::size_t>{0, 4, 8}));
    EXPECT_EQ(keys(video_codec::mpeg2, encode("-c:v mpeg2video -g 6 -bf 0")), (std::vector<std::size_t>{0, 6}));
    // HEVC: IDR pictures, not the CRA pictures of open groups.
    EXPECT_EQ(keys(video_codec::hevc, encode("-c:v libx265 -g 4 -x265-params log-level=error:no-open-gop=1")),
              (std::vector<std::size_t>{0, 4, 8}));
    EXPECT_EQ(keys(video_codec::hevc, encode("-c:v libx265 -g 4 -x265-params log-level=error:open-gop=1")),
              (std::vector<std::size_t>{0}));
}

TEST(VideoStream, BrokenItemsAreRefused)
{
    std::string error;
    std::vector<uint8_t> value = items({1, 2, 3, 4}, 1);
    value[8] = 0x00; // the second item's tag
    EXPECT_FALSE(video_stream::assemble(value, error));
    EXPECT_EQ(error, "The video's pixel data holds something other than an item");
    EXPECT_FALSE(video_stream::assemble(items({}, 1), error));
    EXPECT_EQ(error, "The video's pixel data holds no stream");
    value = items({1, 2, 3, 4}, 1);
    value.resize(value.size() - 10); // into the last fragment
    EXPECT_FALSE(video_stream::assemble(value, error));
    EXPECT_EQ(error, "The video's pixel data runs past the end of the file");
}

} // namespace
