// JPEG 2000 frames (and High-Throughput JPEG 2000 ones) held in memory,
// through OpenJPEG. The codestream's own sizes are checked against the data
// set before the library sees them; large frames decode on several threads.
// YBR_RCT and YBR_ICT data come out as RGB after the library's inverse
// component transform. Where the codestream's signedness or precision differs
// from the data set (a precision above Bits Allocated is refused), the data
// set's Pixel Representation and Bits Allocated stay, and each value is
// written as a two's complement number of the slot's sample width.
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/log.h"
#include "image/codec_check.h"
#include "image/codec_families.h"
#include "image/j2k_size.h"
#include "image/single.h"

namespace {

void log_failure(const char* what) { dicom_log(LogLevel::error, (std::string("JPEG 2000 - ") + what).c_str()); }

// Frames of at least this many samples decode on every core.
constexpr uint64_t threaded_samples = uint64_t{1} << 20;
// Bytes of interleaved rows handed out at a time.
constexpr std::size_t band_bytes = std::size_t{256} << 10;

struct memory_source {
    const uint8_t* data;
    std::size_t size;
    std::size_t at;
};

OPJ_SIZE_T read_source(void* buffer, OPJ_SIZE_T wanted, void* user)
{
    auto* source = static_cast<memory_source*>(user);
    const std::size_t count = std::min<std::size_t>(wanted, source->size - source->at);
    if (count == 0) {
        return static_cast<OPJ_SIZE_T>(-1);
    }
    std::memcpy(buffer, source->data + source->at, count);
    source->at += count;
    return count;
}

OPJ_OFF_T skip_source(OPJ_OFF_T count, void* user)
{
    auto* source = static_cast<memory_source*>(user);
    if (count < 0) {
        return -1;
    }
    const std::size_t step = std::min<std::size_t>(static_cast<std::size_t>(count), source->size - source->at);
    source->at += step;
    return static_cast<OPJ_OFF_T>(step);
}

OPJ_BOOL seek_source(OPJ_OFF_T position, void* user)
{
    auto* source = static_cast<memory_source*>(user);
    if (position < 0 || static_cast<uint64_t>(position) > source->size) {
        return OPJ_FALSE;
    }
    source->at = static_cast<std::size_t>(position);
    return OPJ_TRUE;
}

void log_library_error(const char* message, void* /*user*/)
{
    std::string text(message);
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    log_failure(text.c_str());
}

void ignore_message(const char* /*message*/, void* /*user*/) {}

struct codec_closer {
    void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct stream_closer {
    void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct image_closer {
    void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};

// Writes pixels [first, first + pixels) of the decoded components into the
// slot pixel by pixel, each value as a number of `sample_bytes` bytes in host
// order.
void write_samples(const opj_image_t& image, uint32_t sample_bytes, uint8_t* slot, std::size_t first,
                   std::size_t pixels)
{
    const uint32_t components = image.numcomps;
    for (uint32_t c = 0; c < components; ++c) {
        const OPJ_INT32* values = image.comps[c].data + first;
        uint8_t* out = slot + c * sample_bytes;
        const std::size_t step = std::size_t{components} * sample_bytes;
        if (sample_bytes == 1) {
            for (std::size_t k = 0; k < pixels; ++k) {
                out[k * step] = static_cast<uint8_t>(values[k]);
            }
        } else if (sample_bytes == 2) {
            for (std::size_t k = 0; k < pixels; ++k) {
                const auto sample = static_cast<uint16_t>(values[k]);
                std::memcpy(out + k * step, &sample, 2);
            }
        } else {
            for (std::size_t k = 0; k < pixels; ++k) {
                const auto sample = static_cast<uint32_t>(values[k]);
                std::memcpy(out + k * step, &sample, 4);
            }
        }
    }
}

// The checks made before the library reads anything.
bool size_is_acceptable(const j2k_size& found, const frame_format& format, const uint8_t* slot,
                        std::size_t slot_size)
{
    if (!codestream_matches_format("JPEG 2000", found.header, format, slot, slot_size)) {
        return false;
    }
    if (!found.same_components) {
        log_failure("Components of different precision or sampling");
        return false;
    }
    if (found.header.precision > 32 ||
        (format.bits_allocated != 8 && format.bits_allocated != 16 && format.bits_allocated != 32)) {
        log_failure("Sample precision does not fit Bits Allocated");
        return false;
    }
    const bool header_signed = format.pixel_representation != 0;
    if (found.header.is_signed != header_signed || found.header.precision != format.bits_stored) {
        dicom_log(LogLevel::warning, "JPEG 2000 - Codestream signedness or precision differs from the data set "
                                     "(Pixel Representation and Bits Allocated kept)");
    }
    return true;
}

// The decoded components: the data set's frame, or `steps` times halved
// (each side rounded up, give or take one for an image offset).
bool decoded_image_fits(const opj_image_t& image, const frame_format& format, int steps)
{
    if (image.numcomps != format.samples_per_pixel || image.numcomps == 0) {
        return false;
    }
    const uint32_t divisor = 1U << steps;
    const uint32_t columns = (format.columns + divisor - 1) / divisor;
    const uint32_t rows = (format.rows + divisor - 1) / divisor;
    for (uint32_t c = 0; c < image.numcomps; ++c) {
        const opj_image_comp_t& component = image.comps[c];
        if (component.data == nullptr || component.w != image.comps[0].w || component.h != image.comps[0].h) {
            return false;
        }
    }
    const uint32_t w = image.comps[0].w;
    const uint32_t h = image.comps[0].h;
    if (steps == 0) {
        return w == format.columns && h == format.rows;
    }
    return w >= 1 && h >= 1 && w <= format.columns && h <= format.rows && w + 1 >= columns && w <= columns + 1 &&
           h + 1 >= rows && h <= rows + 1;
}

// The fewest resolution levels any component of the main header's coding
// style has.
int resolution_levels(opj_codec_t* codec)
{
    opj_codestream_info_v2_t* info = opj_get_cstr_info(codec);
    if (info == nullptr) {
        return 1;
    }
    uint32_t levels = 33;
    const opj_tile_info_v2_t& tile = info->m_default_tile_info;
    for (uint32_t c = 0; c < info->nbcomps && tile.tccp_info != nullptr; ++c) {
        levels = std::min(levels, tile.tccp_info[c].numresolutions);
    }
    opj_destroy_cstr_info(&info);
    return levels >= 1 && levels <= 33 ? static_cast<int>(levels) : 1;
}

using decoded_image = std::unique_ptr<opj_image_t, image_closer>;

// The frame decoded by the library into its component planes, once its
// sizes were checked against the data set and a slot of `slot_size` bytes;
// null after logging why. With wanted_columns x wanted_rows, at the lowest
// resolution that still reaches them.
decoded_image decode_components(const uint8_t* data, std::size_t size, const frame_format& format,
                                const uint8_t* slot, std::size_t slot_size, uint32_t wanted_columns = 0,
                                uint32_t wanted_rows = 0)
{
    j2k_size found{};
    if (!read_j2k_size(data, size, found)) {
        log_failure("No codestream header");
        return nullptr;
    }
    if (!size_is_acceptable(found, format, slot, slot_size)) {
        return nullptr;
    }

    memory_source source{data, size, 0};
    std::unique_ptr<opj_codec_t, codec_closer> codec(
        opj_create_decompress(found.is_jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    std::unique_ptr<opj_stream_t, stream_closer> stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
    if (!codec || !stream) {
        log_failure("Out of memory");
        return nullptr;
    }
    opj_stream_set_user_data(stream.get(), &source, nullptr);
    opj_stream_set_user_data_length(stream.get(), size);
    opj_stream_set_read_function(stream.get(), read_source);
    opj_stream_set_skip_function(stream.get(), skip_source);
    opj_stream_set_seek_function(stream.get(), seek_source);
    opj_set_error_handler(codec.get(), log_library_error, nullptr);
    opj_set_warning_handler(codec.get(), ignore_message, nullptr);
    opj_set_info_handler(codec.get(), ignore_message, nullptr);

    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters)) {
        return nullptr;
    }
    // A reduced decode gives at most twice the wanted size along each side.
    const bool reduced = wanted_columns > 0 && wanted_rows > 0;
    const uint64_t samples = reduced ? uint64_t{wanted_rows} * wanted_columns * 4 * format.samples_per_pixel
                                     : uint64_t{format.rows} * format.columns * format.samples_per_pixel;
    if (samples >= threaded_samples) {
        opj_codec_set_threads(codec.get(), static_cast<int>(std::max(1U, std::thread::hardware_concurrency())));
    }
    opj_image_t* raw_image = nullptr;
    if (!opj_read_header(stream.get(), codec.get(), &raw_image)) {
        opj_image_destroy(raw_image);
        return nullptr;
    }
    decoded_image image(raw_image);
    int steps = 0;
    // Values whose sign the data set reads otherwise than the codestream are
    // not averaged: their reduced resolution would not be the frame's.
    const bool same_sign = found.header.is_signed == (format.pixel_representation != 0);
    if (reduced && same_sign) {
        steps = reduction_steps(format.columns, format.rows, wanted_columns, wanted_rows,
                                resolution_levels(codec.get()) - 1);
        if (steps > 0 && !opj_set_decoded_resolution_factor(codec.get(), static_cast<OPJ_UINT32>(steps))) {
            return nullptr;
        }
    }
    if (!opj_decode(codec.get(), stream.get(), image.get()) || !opj_end_decompress(codec.get(), stream.get())) {
        return nullptr;
    }
    if (!decoded_image_fits(*image, format, steps)) {
        log_failure("Decoded frame differs from the image size");
        return nullptr;
    }
    return image;
}

void set_layout(const frame_format& format, frame_layout& layout)
{
    if (format.photometric == PHOTOMETRIC_YBR_RCT || format.photometric == PHOTOMETRIC_YBR_ICT) {
        layout.photometric = PHOTOMETRIC_RGB;
    }
    layout.planar_configuration = 0;
}

int decode_jpeg2000(const uint8_t* data, std::size_t size, const frame_format& format, uint8_t* slot,
                    std::size_t slot_size, frame_layout& layout)
{
    const decoded_image image = decode_components(data, size, format, slot, slot_size);
    if (!image) {
        return -1;
    }
    write_samples(*image, format.bits_allocated / 8U, slot, 0, std::size_t{format.rows} * format.columns);
    set_layout(format, layout);
    return 0;
}

// The component planes interleaved a band of rows at a time.
int decode_jpeg2000_bands(const uint8_t* data, std::size_t size, const frame_format& format, std::size_t slot_size,
                          const band_sink& bands, frame_layout& layout)
{
    // The size checks look for a slot; the bands stand in for it, of
    // `slot_size` bytes.
    static constexpr uint8_t in_bands = 0;
    const decoded_image image = decode_components(data, size, format, &in_bands, slot_size);
    if (!image) {
        return -1;
    }
    const uint32_t sample_bytes = format.bits_allocated / 8U;
    const std::size_t row_bytes = std::size_t{format.columns} * format.samples_per_pixel * sample_bytes;
    const std::size_t band_rows = std::clamp<std::size_t>(band_bytes / row_bytes, 1, format.rows);
    std::vector<uint8_t> band(band_rows * row_bytes);
    for (std::size_t row = 0; row < format.rows; row += band_rows) {
        const std::size_t rows = std::min<std::size_t>(band_rows, format.rows - row);
        write_samples(*image, sample_bytes, band.data(), row * format.columns, rows * format.columns);
        if (!bands.take(bands.context, band.data(), rows * row_bytes)) {
            return -1;
        }
    }
    set_layout(format, layout);
    return 0;
}

// The components at the lowest resolution that reaches columns x rows.
int decode_jpeg2000_reduced(const uint8_t* data, std::size_t size, const frame_format& format, uint32_t columns,
                            uint32_t rows, reduced_frame& out, frame_layout& layout)
{
    static constexpr uint8_t no_slot = 0;
    const decoded_image image = decode_components(data, size, format, &no_slot, frame_slot_bytes(format),
                                                  std::max(columns, 1U), std::max(rows, 1U));
    if (!image) {
        return -1;
    }
    out.columns = image->comps[0].w;
    out.rows = image->comps[0].h;
    // The low-pass bands lie over the even pixels of the level above.
    out.step = 1U << image->comps[0].factor;
    out.origin = 0;
    const uint32_t sample_bytes = format.bits_allocated / 8U;
    const std::size_t pixels = std::size_t{out.columns} * out.rows;
    out.pixels.assign(pixels * format.samples_per_pixel * sample_bytes, 0);
    write_samples(*image, sample_bytes, out.pixels.data(), 0, pixels);
    set_layout(format, layout);
    return 0;
}

} // namespace

// A codestream describes a blank region of any size in a few bytes: the
// bound is wide, and the size check against the data set is what guards.
const frame_codec jpeg2000_codec = {
    "JPEG 2000", 65536, read_j2k_header, decode_jpeg2000, decode_jpeg2000_bands, decode_jpeg2000_reduced};
