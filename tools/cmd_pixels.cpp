// velmor-dump pixels FILE [OUT]: the image record as the viewer's image step
// extracts it, printed field by field, and optionally its pixel buffer.
#include <cstdio>
#include <optional>

#include "image/single.h"
#include "reader/dicom.h"
#include "tools/commands.h"
#include "tools/error_line.h"
#include "tools/pixel_file.h"
#include "viewer/messages.h"

namespace {

void print_record(const single_image& image)
{
    std::printf("photometric=%d\n", image.photometric);
    std::printf("frames=%d\n", image.frames);
    std::printf("columns=%u\n", image.columns);
    std::printf("rows=%u\n", image.rows);
    std::printf("samples_per_pixel=%u\n", image.samples_per_pixel);
    std::printf("bits_allocated=%u\n", image.bits_allocated);
    std::printf("bits_stored=%u\n", image.bits_stored);
    std::printf("high_bit=%u\n", image.high_bit);
    std::printf("pixel_representation=%u\n", image.pixel_representation);
    std::printf("planar_configuration=%u\n", image.planar_configuration);
    std::printf("pixel_spacing=%g\n", static_cast<double>(image.pixel_spacing));
    std::printf("slice_thickness=%g\n", static_cast<double>(image.slice_thickness));
    std::printf("slice_location=%g\n", static_cast<double>(image.slice_location));
    std::printf("pixel_bytes=%zu\n", image.pixel_bytes);
}

bool write_pixels(const char* path, const single_image& image)
{
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) {
        print_error_line(path, msg::cannot_create);
        return false;
    }
    bool written = true;
    if (image.pixel_bytes > 0 && image.pixels != nullptr) {
        written = std::fwrite(image.pixels, 1, image.pixel_bytes, out) == image.pixel_bytes;
    }
    written = std::fclose(out) == 0 && written;
    if (!written) {
        print_error_line(path, msg::cannot_create);
    }
    return written;
}

// Pixels nobody keeps: the image is decoded and checked, frame by frame.
class discarded_pixels final : public pixel_sink {
public:
    bool put(uint64_t /*offset*/, const uint8_t* /*bytes*/, std::size_t /*size*/) override { return true; }
};

// The image whole in memory, then written: for outputs that must be written
// in order (a pipe, a device) or that are the input or standard output.
int pixels_in_memory(const char* input, const char* output)
{
    image_failure failure;
    const single_image* image = dicom_single(failure);
    bool written = false;
    if (image == nullptr) {
        print_error_line(input, failure ? failure.message.c_str() : "DICOM Image Load Failed.!");
    } else {
        print_record(*image);
        std::fflush(stdout);
        written = write_pixels(output, *image);
    }
    dicom_single_free();
    dicom_close();
    return written ? 0 : 1;
}

// The frames written as they are decoded (or, without an output, dropped);
// the record printed once they are all written.
int pixels_streamed(const char* input, const char* output)
{
    discarded_pixels nowhere;
    std::optional<pixel_file> file;
    if (output != nullptr) {
        file.emplace(output);
    }
    image_failure failure;
    const single_image* image = dicom_single_to(file ? static_cast<pixel_sink&>(*file) : nowhere, failure);
    const bool done = image != nullptr && (!file || file->finish());
    if (!done && file) {
        file->abandon();
    }
    if (file && file->failed()) {
        print_error_line(output, msg::cannot_create);
    } else if (image == nullptr) {
        print_error_line(input, failure ? failure.message.c_str() : "DICOM Image Load Failed.!");
    } else {
        print_record(*image);
    }
    dicom_single_free();
    dicom_close();
    return done ? 0 : 1;
}

} // namespace

int cmd_pixels(int argc, char** argv)
{
    if (argc < 1 || argc > 2) {
        std::fprintf(stderr, "usage: velmor-dump pixels FILE [OUT]\n");
        return 2;
    }
    if (dicom_open(argv[0]) != 0) {
        print_error_line(argv[0], image_failures::unopened(argv[0]).message.c_str());
        dicom_close();
        return 1;
    }
    dicom_single_threads(0); // the frames of a multi-frame file on every core
    const char* output = argc == 2 ? argv[1] : nullptr;
    if (output != nullptr && !pixel_file::can_take(output, argv[0])) {
        return pixels_in_memory(argv[0], output);
    }
    return pixels_streamed(argv[0], output);
}
