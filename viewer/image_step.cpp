#include "image_step.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "image/single.h"
#include "reader/dicom.h"

const char* image_step_message(ImageStepResult result)
{
    switch (result) {
    case ImageStepResult::Shown: return "";
    case ImageStepResult::OpenFailed: return "dicom_open() Failed.";
    case ImageStepResult::LoadFailed: return "DICOM Image Load Failed.!";
    case ImageStepResult::NotMonochrome2: return "Invarid image type. Not MONOCHROME2.!";
    case ImageStepResult::OutOfMemory: return "メモリ確保に失敗しました";
    }
    return "";
}

std::vector<int16_t> display_source_samples(const single_image& image)
{
    if (image.pixels == nullptr || (image.bits_allocated != 8 && image.bits_allocated != 16)) {
        return {};
    }
    const std::size_t count = static_cast<std::size_t>(image.columns) * image.rows;
    const std::size_t held = std::min(count, image.pixel_bytes / (image.bits_allocated / 8U));
    std::vector<int16_t> samples(held, 0);
    if (image.bits_allocated == 16) {
        std::memcpy(samples.data(), image.pixels, held * sizeof(int16_t));
    } else {
        const bool is_signed = image.pixel_representation == 1;
        for (std::size_t i = 0; i < held; ++i) {
            const uint8_t byte = image.pixels[i];
            samples[i] = is_signed ? static_cast<int16_t>(static_cast<int8_t>(byte)) : static_cast<int16_t>(byte);
        }
    }
    return samples;
}

ImageStepResult load_display_image(const char* path, DisplaySamples& samples)
{
    if (dicom_open(path) != 0) {
        dicom_close();
        return ImageStepResult::OpenFailed;
    }
    const auto finish = [](ImageStepResult result) {
        dicom_single_free();
        dicom_close();
        return result;
    };
    const single_image* image = dicom_single();
    if (image == nullptr) {
        return finish(ImageStepResult::LoadFailed);
    }
    if (image->photometric != 0) {
        return finish(ImageStepResult::NotMonochrome2);
    }
    if (image->columns == 0 || image->rows == 0 || image->pixels == nullptr ||
        (image->bits_allocated != 8 && image->bits_allocated != 16)) {
        return finish(ImageStepResult::LoadFailed);
    }
    // 16-bit samples are resampled where they are (what the buffer does not
    // hold counts as 0); 8-bit samples are widened into a copy first.
    if (image->bits_allocated == 16) {
        const std::size_t count = static_cast<std::size_t>(image->columns) * image->rows;
        const std::size_t held = std::min(count, image->pixel_bytes / 2);
        // The buffer comes from malloc, so it is aligned for int16_t.
        const auto* stored = reinterpret_cast<const int16_t*>(image->pixels);
        resample_to_display(stored, held, image->columns, image->rows, samples.data(), display_size, display_size);
        return finish(ImageStepResult::Shown);
    }
    std::vector<int16_t> copy;
    try {
        copy = display_source_samples(*image);
    } catch (const std::bad_alloc&) {
        return finish(ImageStepResult::OutOfMemory);
    }
    resample_to_display(copy.data(), copy.size(), image->columns, image->rows, samples.data(), display_size,
                        display_size);
    return finish(ImageStepResult::Shown);
}
