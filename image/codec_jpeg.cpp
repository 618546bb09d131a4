// JPEG baseline and extended frames (DCT, 8- and 12-bit) held in memory:
// 8-bit samples through libjpeg-turbo, 12-bit ones through the decoder in
// jpeg/. Colour follows the data set: YBR_FULL and YBR_FULL_422 data are
// converted to RGB; any other colour data is taken as it is, whatever the
// stream's markers say.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "base/log.h"
#include "image/codec_check.h"
#include "image/codec_families.h"
#include "image/jpeg_frame_header.h"
#include "image/single.h"
#include "jpeg/dct.h"

namespace {

struct error_exit {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void leave_decoder(j_common_ptr decoder)
{
    char message[JMSG_LENGTH_MAX];
    decoder->err->format_message(decoder, message);
    dicom_log(LogLevel::error, (std::string("JPEG - ") + message).c_str());
    std::longjmp(reinterpret_cast<error_exit*>(decoder->err)->jump, 1);
}

void log_warning(j_common_ptr decoder)
{
    char message[JMSG_LENGTH_MAX];
    decoder->err->format_message(decoder, message);
    dicom_log(LogLevel::warning, (std::string("JPEG - ") + message).c_str());
}

bool converts_to_rgb(int32_t photometric)
{
    return photometric == PHOTOMETRIC_YBR_FULL || photometric == PHOTOMETRIC_YBR_FULL_422;
}

// The libjpeg part; no object with a destructor lives here, so that the
// jump back from an error leaves nothing behind.
bool decode_8bit(const uint8_t* data, std::size_t size, const frame_format& format, uint8_t* slot)
{
    jpeg_decompress_struct decoder;
    error_exit errors;
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = leave_decoder;
    errors.manager.output_message = log_warning;
    JSAMPROW rows[16];
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    jpeg_create_decompress(&decoder);
    // The decoder's working memory, beyond the frame's lines, stays small.
    decoder.mem->max_memory_to_use = 256L << 20;
    jpeg_mem_src(&decoder, data, static_cast<unsigned long>(size));
    jpeg_read_header(&decoder, TRUE);
    if (decoder.num_components == 3) {
        decoder.jpeg_color_space = converts_to_rgb(format.photometric) ? JCS_YCbCr : JCS_RGB;
        decoder.out_color_space = JCS_RGB;
    } else {
        decoder.out_color_space = decoder.jpeg_color_space;
    }
    jpeg_start_decompress(&decoder);
    const std::size_t row_bytes = std::size_t{decoder.output_width} * std::size_t(decoder.output_components);
    if (decoder.output_height != format.rows || decoder.output_width != format.columns ||
        decoder.output_components != format.samples_per_pixel) {
        dicom_log(LogLevel::error, "JPEG - Decoded frame differs from the image size");
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    while (decoder.output_scanline < decoder.output_height) {
        const JDIMENSION left = decoder.output_height - decoder.output_scanline;
        const JDIMENSION count = left < 16 ? left : 16;
        for (JDIMENSION k = 0; k < count; ++k) {
            rows[k] = slot + (std::size_t{decoder.output_scanline} + k) * row_bytes;
        }
        jpeg_read_scanlines(&decoder, rows, count);
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    return true;
}

int decode_jpeg(const uint8_t* data, std::size_t size, const frame_format& format, uint8_t* slot,
                std::size_t slot_size, frame_layout& layout)
{
    codestream_header header{};
    if (!read_jpeg_frame_header(data, size, header)) {
        dicom_log(LogLevel::error, "JPEG - No frame header");
        return -1;
    }
    if (!codestream_matches_format("JPEG", header, format, slot, slot_size)) {
        return -1;
    }
    if (header.precision > 8) {
        return DctJpegDecode(data, size, slot, slot_size) == 0 ? 0 : -1;
    }
    if (format.bits_allocated != 8) {
        dicom_log(LogLevel::error, "JPEG - 8-bit samples in a frame of other than 8 bits allocated");
        return -1;
    }
    if (!decode_8bit(data, size, format, slot)) {
        return -1;
    }
    if (format.samples_per_pixel == 3 && converts_to_rgb(format.photometric)) {
        layout.photometric = PHOTOMETRIC_RGB;
    }
    layout.planar_configuration = 0;
    return 0;
}

} // namespace

const frame_codec dct_jpeg_codec = {"JPEG", 1024, read_jpeg_frame_header, decode_jpeg, nullptr};
