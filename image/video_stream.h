// Video pixel data (MPEG-2, H.264, HEVC): the fragments of the Pixel Data
// form one elementary stream, and one pass of libavcodec's parser over it
// lists its pictures in stream order, each with its byte range and whether
// decoding can start there. Decoding is codec_video.cpp's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class video_codec { mpeg2, h264, hevc };

// The video codec of a transfer syntax UID, or nothing for any other syntax.
std::optional<video_codec> video_codec_for_transfer_syntax(const char* uid);
// "MPEG-2", "H.264" or "HEVC".
const char* video_codec_name(video_codec codec);

// One picture of the stream, in stream (decoding) order.
struct video_picture {
    std::size_t offset;
    std::size_t size;
    // A clean start: decoding from here gives this picture and every later
    // one as decoding from the start would (an MPEG-2 I picture no B picture
    // leans on the previous group for, an H.264 or HEVC IDR picture, the
    // stream's first picture).
    bool key;
};

class video_stream {
public:
    // Joins the fragment values of an encapsulated Pixel Data value, given
    // from its first item (the Basic Offset Table, skipped) to the sequence
    // delimiter or the end of `items`, in place: `items` becomes the
    // stream. Nothing, with `error` saying why, when the items are broken or
    // hold no bytes.
    static std::optional<video_stream> assemble(std::vector<uint8_t> items, std::string& error);

    // Lists the stream's pictures; false, with `error` saying why, when the
    // parser finds none.
    bool index(video_codec codec, std::string& error);

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    // The stream's size (bytes() holds zero padding after it).
    std::size_t size() const { return size_; }
    const std::vector<video_picture>& pictures() const { return pictures_; }
    // The size of the pictures as the stream's first headers announce it
    // (0 x 0 when the parser found none).
    int columns() const { return columns_; }
    int rows() const { return rows_; }
    // The last clean start at or before picture `number`.
    std::size_t key_before(std::size_t number) const;

private:
    std::vector<uint8_t> bytes_;
    std::size_t size_ = 0;
    std::vector<video_picture> pictures_;
    int columns_ = 0;
    int rows_ = 0;
};
