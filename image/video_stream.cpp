#include "image/video_stream.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "reader/transfer_syntax.h"

#include "image/video_library.h"

std::optional<video_codec> video_codec_for_transfer_syntax(const char* uid)
{
    const TransferSyntax* syntax = find_transfer_syntax(uid);
    switch (syntax != nullptr ? syntax->codec : PixelCodec::none) {
    case PixelCodec::mpeg2: return video_codec::mpeg2;
    case PixelCodec::h264: return video_codec::h264;
    case PixelCodec::hevc: return video_codec::hevc;
    default: return std::nullopt;
    }
}

const char* video_codec_name(video_codec codec)
{
    switch (codec) {
    case video_codec::mpeg2: return "MPEG-2";
    case video_codec::h264: return "H.264";
    case video_codec::hevc: return "HEVC";
    }
    return "video";
}

namespace {

constexpr uint32_t item_tag = 0xE000FFFE;      // (FFFE,E000) as little-endian bytes read
constexpr uint32_t delimiter_tag = 0xE0DDFFFE; // (FFFE,E0DD)

uint32_t little_endian_32(const uint8_t* bytes)
{
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

// Calls `unit` with the byte after each start code (00 00 01) of the picture
// and the bytes left from there, until it returns false.
template <typename Unit>
void each_start_code(const uint8_t* data, std::size_t size, Unit unit)
{
    for (std::size_t i = 0; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (!unit(data + i + 3, size - i - 3)) {
                return;
            }
            i += 2;
        }
    }
}

bool has_idr_unit(video_codec codec, const uint8_t* data, std::size_t size)
{
    bool idr = false;
    each_start_code(data, size, [&](const uint8_t* unit, std::size_t) {
        const int type = codec == video_codec::h264 ? (unit[0] & 0x1F) : ((unit[0] >> 1) & 0x3F);
        // H.264: IDR slice (5); HEVC: IDR_W_RADL (19), IDR_N_LP (20).
        idr = codec == video_codec::h264 ? type == 5 : (type == 19 || type == 20);
        return !idr;
    });
    return idr;
}

// What an MPEG-2 picture's headers say: its coding type (1 I, 2 P, 3 B) and
// whether a group header before it closes the group.
struct mpeg2_picture {
    int type = 0;
    bool closed_group = false;
};

mpeg2_picture read_mpeg2_picture(const uint8_t* data, std::size_t size)
{
    mpeg2_picture picture;
    each_start_code(data, size, [&](const uint8_t* unit, std::size_t left) {
        if (unit[0] == 0xB8 && left >= 5) {
            picture.closed_group = (unit[4] & 0x40) != 0;
        } else if (unit[0] == 0x00 && left >= 3) {
            picture.type = (unit[2] >> 3) & 7;
            return false;
        }
        return true;
    });
    return picture;
}

struct parser_closer {
    void operator()(AVCodecParserContext* parser) const { video_functions().av_parser_close(parser); }
};
struct context_closer {
    void operator()(AVCodecContext* context) const { video_functions().avcodec_free_context(&context); }
};

} // namespace

std::optional<video_stream> video_stream::assemble(std::vector<uint8_t> items, std::string& error)
{
    std::size_t read = 0;
    std::size_t written = 0;
    bool first = true;
    for (;;) {
        if (items.size() - read < 8) {
            if (read != items.size()) {
                error = "The video's pixel data ends inside an item header";
                return std::nullopt;
            }
            break; // the file ends without a delimiter: the items so far
        }
        const uint32_t tag = little_endian_32(items.data() + read);
        const uint32_t length = little_endian_32(items.data() + read + 4);
        if (tag == delimiter_tag) {
            break;
        }
        if (tag != item_tag || length == 0xFFFFFFFF) {
            error = "The video's pixel data holds something other than an item";
            return std::nullopt;
        }
        read += 8;
        if (length > items.size() - read) {
            error = "The video's pixel data runs past the end of the file";
            return std::nullopt;
        }
        if (!first) {
            std::memmove(items.data() + written, items.data() + read, length);
            written += length;
        }
        first = false;
        read += length;
    }
    if (written == 0) {
        error = "The video's pixel data holds no stream";
        return std::nullopt;
    }
    video_stream stream;
    stream.size_ = written;
    items.resize(written + AV_INPUT_BUFFER_PADDING_SIZE);
    std::fill(items.begin() + static_cast<std::ptrdiff_t>(written), items.end(), uint8_t{0});
    stream.bytes_ = std::move(items);
    return stream;
}

bool video_stream::index(video_codec codec, std::string& error)
{
    if (load_video_library(error) == nullptr) {
        return false;
    }
    pictures_.clear();
    columns_ = rows_ = 0;
    const AVCodec* decoder = video_functions().avcodec_find_decoder(video_codec_id(codec));
    const std::unique_ptr<AVCodecParserContext, parser_closer> parser(
        video_functions().av_parser_init(video_codec_id(codec)));
    std::unique_ptr<AVCodecContext, context_closer> context(
        decoder != nullptr ? video_functions().avcodec_alloc_context3(decoder) : nullptr);
    if (!parser || !context) {
        error = std::string("No ") + video_codec_name(codec) + " parser is available";
        return false;
    }
    std::size_t consumed = 0;
    bool flushed = false;
    while (!flushed) {
        const std::size_t left = std::min<std::size_t>(size_ - consumed, 1 << 20);
        flushed = left == 0; // an empty call hands over the last picture
        uint8_t* out = nullptr;
        int out_size = 0;
        const int used = video_functions().av_parser_parse2(parser.get(), context.get(), &out, &out_size,
                                                            bytes_.data() + consumed, static_cast<int>(left),
                                                            AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0 || static_cast<std::size_t>(used) > left) {
            error = std::string("The ") + video_codec_name(codec) + " stream cannot be parsed";
            return false;
        }
        consumed += static_cast<std::size_t>(used);
        if (out_size <= 0) {
            continue;
        }
        // The picture ends where the parser stopped reading.
        const auto size = static_cast<std::size_t>(out_size);
        if (size > consumed || std::memcmp(out, bytes_.data() + consumed - size, size) != 0) {
            error = std::string("The ") + video_codec_name(codec) + " stream cannot be split into pictures";
            return false;
        }
        pictures_.push_back({consumed - size, size, false});
        if (pictures_.size() == 1 && parser->width > 0 && parser->height > 0) {
            columns_ = parser->width;
            rows_ = parser->height;
        }
    }
    if (pictures_.empty()) {
        error = std::string("The ") + video_codec_name(codec) + " stream holds no picture";
        return false;
    }
    for (std::size_t i = 0; i < pictures_.size(); ++i) {
        const uint8_t* data = bytes_.data() + pictures_[i].offset;
        const std::size_t size = pictures_[i].size;
        if (i == 0) {
            pictures_[i].key = true;
        } else if (codec != video_codec::mpeg2) {
            pictures_[i].key = has_idr_unit(codec, data, size);
        } else {
            // An I picture whose group is closed, or that no B picture follows
            // in the stream (B pictures after it would lean on the group before).
            const mpeg2_picture picture = read_mpeg2_picture(data, size);
            const bool followed_by_b =
                i + 1 < pictures_.size() &&
                read_mpeg2_picture(bytes_.data() + pictures_[i + 1].offset, pictures_[i + 1].size).type == 3;
            pictures_[i].key = picture.type == 1 && (picture.closed_group || !followed_by_b);
        }
    }
    return true;
}

std::size_t video_stream::key_before(std::size_t number) const
{
    if (pictures_.empty()) {
        return 0;
    }
    std::size_t key = std::min(number, pictures_.size() - 1);
    while (key > 0 && !pictures_[key].key) {
        --key;
    }
    return key;
}
