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

// The most times libjpeg's scaled decoding halves a frame (down to 1/8).
constexpr int most_jpeg_steps = 3;

// Where the decoded rows go: the whole frame's slot, or a frame reduced
// `steps` times, sized once the decoder gives its output size.
struct row_target {
    uint8_t* slot;
    reduced_frame* reduced;
    int steps;
};

// The libjpeg part; no object with a destructor lives here, so that the
// jump back from an error leaves nothing behind.
bool decode_8bit(const uint8_t* data, std::size_t size, const frame_format& format, const row_target& target)
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
    decoder.scale_num = 1;
    decoder.scale_denom = 1U << target.steps;
    jpeg_start_decompress(&decoder);
    const std::size_t row_bytes = std::size_t{decoder.output_width} * std::size_t(decoder.output_components);
    const uint32_t divisor = 1U << target.steps;
    if (decoder.output_height != (format.rows + divisor - 1) / divisor ||
        decoder.output_width != (format.columns + divisor - 1) / divisor ||
        decoder.output_components != format.samples_per_pixel) {
        dicom_log(LogLevel::error, "JPEG - Decoded frame differs from the image size");
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    uint8_t* slot = target.slot;
    if (target.reduced != nullptr) {
        target.reduced->columns = decoder.output_width;
        target.reduced->rows = decoder.output_height;
        // A scaled output pixel is the mean of the block of pixels it covers.
        target.reduced->step = divisor;
        target.reduced->origin = (divisor - 1) / 2.0;
        target.reduced->pixels.resize(row_bytes * decoder.output_height);
        slot = target.reduced->pixels.data();
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

void set_layout(const frame_format& format, frame_layout& layout)
{
    if (format.samples_per_pixel == 3 && converts_to_rgb(format.photometric)) {
        layout.photometric = PHOTOMETRIC_RGB;
    }
    layout.planar_configuration = 0;
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
    if (!decode_8bit(data, size, format, {slot, nullptr, 0})) {
        return -1;
    }
    set_layout(format, layout);
    return 0;
}

// 8-bit frames scaled by libjpeg; 12-bit ones in full.
int decode_jpeg_reduced(const uint8_t* data, std::size_t size, const frame_format& format, uint32_t columns,
                        uint32_t rows, reduced_frame& out, frame_layout& layout)
{
    codestream_header header{};
    if (!read_jpeg_frame_header(data, size, header)) {
        dicom_log(LogLevel::error, "JPEG - No frame header");
        return -1;
    }
    // The checks of a whole frame, made against the frame's size before
    // anything is allocated.
    static constexpr uint8_t no_slot = 0;
    if (!codestream_matches_format("JPEG", header, format, &no_slot, frame_slot_bytes(format))) {
        return -1;
    }
    if (header.precision > 8 || format.bits_allocated != 8) {
        out.columns = format.columns;
        out.rows = format.rows;
        out.pixels.assign(frame_slot_bytes(format), 0);
        return decode_jpeg(data, size, format, out.pixels.data(), out.pixels.size(), layout);
    }
    const int steps = reduction_steps(format.columns, format.rows, columns, rows, most_jpeg_steps);
    if (!decode_8bit(data, size, format, {nullptr, &out, steps})) {
        return -1;
    }
    set_layout(format, layout);
    return 0;
}

} // namespace

const frame_codec dct_jpeg_codec = {"JPEG",      1024,    read_jpeg_frame_header,
                                    decode_jpeg, nullptr, decode_jpeg_reduced};
