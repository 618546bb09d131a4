// velmor-dump pixels FILE [OUT]: the image record as the viewer's image step
// extracts it, printed field by field, and optionally its pixel buffer.
#include <cstdio>

#include "image/single.h"
#include "reader/dicom.h"
#include "tools/commands.h"
#include "tools/error_line.h"
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

} // namespace

int cmd_pixels(int argc, char** argv)
{
    if (argc < 1 || argc > 2) {
        std::fprintf(stderr, "usage: velmor-dump pixels FILE [OUT]\n");
        return 2;
    }
    if (dicom_open(argv[0]) != 0) {
        print_error_line(argv[0], "dicom_open() Failed.");
        dicom_close();
        return 1;
    }
    dicom_single_threads(0); // the frames of a multi-frame file on every core
    const single_image* image = dicom_single();
    if (image == nullptr) {
        print_error_line(argv[0], "DICOM Image Load Failed.!");
        dicom_single_free();
        dicom_close();
        return 1;
    }
    print_record(*image);
    std::fflush(stdout);
    const bool written = argc < 2 || write_pixels(argv[1], *image);
    dicom_single_free();
    dicom_close();
    return written ? 0 : 1;
}
