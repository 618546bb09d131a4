// JPEG XL frames (lossless, lossy and recompressed JPEG) held in memory,
// through libjxl. The codestream's basic information (its displayed size,
// colour channels and sample precision) is checked against the data set
// before any pixel is decoded. The library writes the slot's 8- or 16-bit
// samples over their whole range; a codestream of lower precision (12 bits,
// say) has them scaled back to its own range afterwards, as its integers
// were. Colour comes out as RGB, pixel by pixel; extra channels (alpha) are
// left out.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "base/log.h"
#include "image/codec_check.h"
#include "image/codec_families.h"
#include "image/jpegxl_library.h"
#include "image/single.h"

namespace {

void log_failure(const char* what) { dicom_log(LogLevel::error, (std::string("JPEG XL - ") + what).c_str()); }

// Frames of at least this many samples decode on every core.
constexpr uint64_t threaded_samples = uint64_t{1} << 20;

struct decoder_closer {
    void operator()(JxlDecoder* decoder) const { jpegxl_functions().JxlDecoderDestroy(decoder); }
};
struct runner_closer {
    void operator()(void* runner) const { jpegxl_functions().JxlThreadParallelRunnerDestroy(runner); }
};
using decoder_ptr = std::unique_ptr<JxlDecoder, decoder_closer>;

// Runs the decoder over the whole codestream up to its basic information.
bool read_basic_info(JxlDecoder* decoder, const uint8_t* data, std::size_t size, int events, JxlBasicInfo& info)
{
    if (jpegxl_functions().JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | events) != JXL_DEC_SUCCESS ||
        jpegxl_functions().JxlDecoderSetInput(decoder, data, size) != JXL_DEC_SUCCESS) {
        return false;
    }
    jpegxl_functions().JxlDecoderCloseInput(decoder);
    return jpegxl_functions().JxlDecoderProcessInput(decoder) == JXL_DEC_BASIC_INFO &&
           jpegxl_functions().JxlDecoderGetBasicInfo(decoder, &info) == JXL_DEC_SUCCESS;
}

// The frame as it is shown: orientations 5 to 8 swap its width and height.
codestream_header header_of(const JxlBasicInfo& info)
{
    const bool transposed = info.orientation >= JXL_ORIENT_TRANSPOSE;
    return {transposed ? info.xsize : info.ysize, transposed ? info.ysize : info.xsize, info.num_color_channels,
            info.bits_per_sample, false};
}

// The library, loaded on first use; null after logging why it cannot be.
const jpegxl_library* loaded_library()
{
    std::string error;
    const jpegxl_library* library = load_jpegxl_library(error);
    if (library == nullptr) {
        log_failure(error.c_str());
    }
    return library;
}

bool read_jpegxl_header(const uint8_t* data, std::size_t size, codestream_header& header)
{
    if (loaded_library() == nullptr) {
        return false;
    }
    const decoder_ptr decoder(jpegxl_functions().JxlDecoderCreate(nullptr));
    JxlBasicInfo info{};
    if (!decoder || !read_basic_info(decoder.get(), data, size, 0, info)) {
        return false;
    }
    header = header_of(info);
    return true;
}

// Samples the library wrote over the whole range of the slot's sample width
// scaled back to the codestream's `precision` bits, in place: the nearest
// integer, which gives each lossless sample back exactly.
template <typename Sample>
void scale_to_precision(uint8_t* slot, std::size_t samples, uint32_t precision)
{
    constexpr uint32_t full = (uint32_t{1} << (8 * sizeof(Sample))) - 1;
    const uint32_t largest = (uint32_t{1} << precision) - 1;
    for (std::size_t k = 0; k < samples; ++k) {
        Sample sample = 0;
        std::memcpy(&sample, slot + k * sizeof(Sample), sizeof(Sample));
        sample = static_cast<Sample>((uint32_t{sample} * largest + full / 2) / full);
        std::memcpy(slot + k * sizeof(Sample), &sample, sizeof(Sample));
    }
}

// The checks on the basic information beyond the shared ones.
bool samples_are_acceptable(const JxlBasicInfo& info, const frame_format& format)
{
    if (info.exponent_bits_per_sample != 0) {
        log_failure("Floating-point samples");
        return false;
    }
    if ((format.bits_allocated != 8 && format.bits_allocated != 16) || info.bits_per_sample > 16) {
        log_failure("Sample precision does not fit Bits Allocated");
        return false;
    }
    return true;
}

int decode_jpegxl(const uint8_t* data, std::size_t size, const frame_format& format, uint8_t* slot,
                  std::size_t slot_size, frame_layout& layout)
{
    const uint64_t samples = uint64_t{format.rows} * format.columns * format.samples_per_pixel;
    if (loaded_library() == nullptr) {
        return -1;
    }
    const decoder_ptr decoder(jpegxl_functions().JxlDecoderCreate(nullptr));
    if (!decoder) {
        log_failure("Out of memory");
        return -1;
    }
    std::unique_ptr<void, runner_closer> runner;
    if (samples >= threaded_samples) {
        runner.reset(jpegxl_functions().JxlThreadParallelRunnerCreate(
            nullptr, std::max(1U, std::thread::hardware_concurrency())));
        if (!runner || jpegxl_functions().JxlDecoderSetParallelRunner(decoder.get(),
                                                                      jpegxl_functions().JxlThreadParallelRunner,
                                                                      runner.get()) != JXL_DEC_SUCCESS) {
            log_failure("Out of memory");
            return -1;
        }
    }
    JxlBasicInfo info{};
    if (!read_basic_info(decoder.get(), data, size, JXL_DEC_FULL_IMAGE, info)) {
        log_failure("No codestream header");
        return -1;
    }
    if (!codestream_matches_format("JPEG XL", header_of(info), format, slot, slot_size) ||
        !samples_are_acceptable(info, format)) {
        return -1;
    }
    const JxlPixelFormat pixel_format{info.num_color_channels,
                                      format.bits_allocated == 8 ? JXL_TYPE_UINT8 : JXL_TYPE_UINT16,
                                      JXL_NATIVE_ENDIAN, 0};
    for (;;) {
        switch (jpegxl_functions().JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            std::size_t needed = 0;
            if (jpegxl_functions().JxlDecoderImageOutBufferSize(decoder.get(), &pixel_format, &needed) !=
                    JXL_DEC_SUCCESS ||
                needed != slot_size ||
                jpegxl_functions().JxlDecoderSetImageOutBuffer(decoder.get(), &pixel_format, slot, slot_size) !=
                    JXL_DEC_SUCCESS) {
                log_failure("Decoded frame differs from the image size");
                return -1;
            }
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            if (info.bits_per_sample != format.bits_allocated && format.bits_allocated == 8) {
                scale_to_precision<uint8_t>(slot, static_cast<std::size_t>(samples), info.bits_per_sample);
            } else if (info.bits_per_sample != format.bits_allocated) {
                scale_to_precision<uint16_t>(slot, static_cast<std::size_t>(samples), info.bits_per_sample);
            }
            if (info.num_color_channels == 3) {
                layout.photometric = PHOTOMETRIC_RGB;
            }
            layout.planar_configuration = 0;
            return 0;
        case JXL_DEC_NEED_MORE_INPUT: log_failure("Codestream cut short"); return -1;
        case JXL_DEC_SUCCESS: log_failure("Codestream holds no image"); return -1;
        default: log_failure("Codestream cannot be decoded"); return -1;
        }
    }
}

} // namespace

// A codestream can describe a large flat frame in a few bytes: the bound is
// wide, and the size check against the data set is what guards.
const frame_codec jpegxl_codec = {"JPEG XL", 65536, read_jpegxl_header, decode_jpegxl, nullptr, nullptr};
