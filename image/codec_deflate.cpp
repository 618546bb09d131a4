// Deflated frames: each fragment one raw deflate stream (no zlib or gzip
// wrapper) of a frame's native bytes, little endian.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include <zlib.h>

#include "base/log.h"
#include "image/codec_families.h"
#include "image/native_frame.h"

namespace {

constexpr const char* codec_name = "Deflate";

// zlib's counts are unsigned int: larger buffers are handed over in steps.
constexpr std::size_t step_limit = UINT_MAX;

void log_refusal(const char* why) { dicom_log(LogLevel::error, (std::string(codec_name) + " - " + why).c_str()); }

// The stream's bytes inflated into `slot`, which they must fill exactly;
// null when they do, otherwise why not.
const char* inflate_frame(z_stream& stream, const uint8_t* data, std::size_t size, uint8_t* slot,
                          std::size_t slot_size)
{
    std::size_t in_at = 0;
    std::size_t out_at = 0;
    uint8_t beyond = 0; // where a stream longer than the slot shows it
    for (;;) {
        if (stream.avail_in == 0 && in_at < size) {
            const std::size_t step = std::min(size - in_at, step_limit);
            stream.next_in = const_cast<Bytef*>(data + in_at);
            stream.avail_in = static_cast<uInt>(step);
            in_at += step;
        }
        const bool slot_full = out_at == slot_size;
        const std::size_t step = slot_full ? 1 : std::min(slot_size - out_at, step_limit);
        stream.next_out = slot_full ? &beyond : slot + out_at;
        stream.avail_out = static_cast<uInt>(step);
        const int status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = step - stream.avail_out;
        if (slot_full && produced != 0) {
            return "The frame's stream holds more bytes than the image";
        }
        out_at += slot_full ? 0 : produced;
        if (status == Z_STREAM_END) {
            return out_at == slot_size ? nullptr : "The frame's stream holds fewer bytes than the image";
        }
        if (status == Z_DATA_ERROR || status == Z_NEED_DICT) {
            return "The frame is not a deflate stream";
        }
        if (status == Z_MEM_ERROR) {
            return "Out of memory";
        }
        if (status == Z_BUF_ERROR && stream.avail_in == 0 && in_at == size) {
            return "The frame's stream ends early";
        }
    }
}

int decode_deflated(const uint8_t* data, std::size_t size, const frame_format& format, uint8_t* slot,
                    std::size_t slot_size, frame_layout& /*layout*/)
{
    if (!native_frame_fits(codec_name, format, slot, slot_size)) {
        return -1;
    }
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        log_refusal("Out of memory");
        std::memset(slot, 0, slot_size);
        return -1;
    }
    const char* why = inflate_frame(stream, data, data == nullptr ? 0 : size, slot, slot_size);
    inflateEnd(&stream);
    if (why != nullptr) {
        log_refusal(why);
        std::memset(slot, 0, slot_size);
        return -1;
    }
    little_endian_samples_to_host(slot, slot_size, format.bits_allocated);
    return 0;
}

} // namespace

// The frame announces no size of its own. Deflate gives at most 1032 bytes
// for one (258-byte matches at two bits each, and the block overhead).
const frame_codec deflate_codec = {codec_name, 1032, nullptr, decode_deflated, nullptr, nullptr};
