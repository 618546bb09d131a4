#include "viewer/frame_image.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "image/single.h"

namespace {

void read_gray(const FrameSamples& frame, const ModalityStage& stage, FrameImage& image)
{
    int32_t lowest = INT32_MAX;
    int32_t highest = INT32_MIN;
    if (stage.has_table()) {
        image.stored.resize(image.samples.size());
    }
    for (std::size_t i = 0; i < image.samples.size(); ++i) {
        const int64_t stored = frame.value(i);
        const int32_t sample = stage.sample(stored);
        image.samples[i] = sample;
        if (!image.stored.empty()) {
            image.stored[i] = static_cast<int32_t>(std::clamp<int64_t>(stored, INT32_MIN, INT32_MAX));
        }
        lowest = std::min(lowest, sample);
        highest = std::max(highest, sample);
    }
    image.missing_sample = stage.sample(0);
    if (image.samples.empty()) {
        lowest = highest = image.missing_sample;
    }
    image.wide = lowest < -(1 << 24) || highest > (1 << 24);
    const double a = image.modality(lowest);
    const double b = image.modality(highest);
    image.range = {std::min(a, b), std::max(a, b)};
}

std::optional<FrameImage> read_frame(const single_image& record, int index, int frame_number,
                                     FrameRefusal& refusal)
{
    std::optional<FrameSamples> frame = FrameSamples::of(record, index, refusal);
    if (!frame) {
        return std::nullopt;
    }
    FrameImage image;
    image.columns = frame->columns();
    image.rows = frame->rows();
    image.frame_columns = record.columns;
    image.frame_rows = record.rows;
    if (record.reduced_columns != 0 && record.reduced_step > 1) {
        image.sample_step = static_cast<int>(record.reduced_step);
        image.sample_origin = record.reduced_origin;
    }
    image.row_spacing = record.row_spacing;
    image.column_spacing = record.column_spacing;
    image.modality_name = record.display.modality;
    image.presentation = {frame->colour() == FrameColour::inverted, record.display.presentation_lut_shape};
    const std::size_t pixels = static_cast<std::size_t>(image.columns) * static_cast<std::size_t>(image.rows);
    // The pixels after these read as a stored 0: they are not kept.
    const std::size_t kept = frame->readable();

    const int bits_stored = record.bits_stored >= 1 && record.bits_stored <= record.bits_allocated
                                ? record.bits_stored
                                : record.bits_allocated;
    const bool gray = frame->colour() != FrameColour::rgb;
    if (gray && !frame->one_bit()) {
        frame->ignore_bits(overlay_bits_in_samples(record.display.overlays, record.bits_allocated, bits_stored));
    }
    image.overlays = overlay_mask(record.display.overlays, image.columns, image.rows, kept, frame_number,
                                  gray ? &*frame : nullptr, record.bits_allocated, bits_stored, image.problems);

    if (!gray) {
        image.kind = PictureKind::colour;
        image.rgb.resize(kept * 3);
        for (std::size_t i = 0; i < kept; ++i) {
            const Rgb rgb = frame->rgb(i);
            std::copy(rgb.begin(), rgb.end(), image.rgb.begin() + static_cast<std::ptrdiff_t>(i * 3));
        }
        if (kept < pixels) {
            image.missing_rgb = frame->rgb(kept);
        }
        return image;
    }
    image.samples.resize(kept);
    if (frame->one_bit()) {
        image.kind = PictureKind::fixed;
        image.range = {0.0, 255.0};
        for (std::size_t i = 0; i < kept; ++i) {
            image.samples[i] = frame->value(i) != 0 ? 255 : 0;
        }
        return image;
    }
    std::string problem;
    const ModalityStage stage = ModalityStage::of(record, problem);
    if (!problem.empty()) {
        image.problems.push_back(problem);
    }
    image.kind = PictureKind::windowed;
    image.modality = stage.linear();
    image.value_type = stage.has_table() ? record.display.modality_lut->type : record.display.rescale_type;
    read_gray(*frame, stage, image);
    image.windows =
        FileWindows::of(record.display, record.pixel_representation == 1 && !stage.has_table(), image.problems);
    return image;
}

} // namespace

std::optional<FrameImage> FrameImage::of(const single_image& record, int index, int frame_number,
                                         FrameRefusal& refusal)
{
    try {
        return read_frame(record, index, frame_number, refusal);
    } catch (const std::bad_alloc&) {
        refusal = FrameRefusal::out_of_memory;
        return std::nullopt;
    }
}

std::optional<double> FrameImage::value_at(int column, int row) const
{
    if (kind == PictureKind::colour || column < 0 || row < 0 || column >= frame_columns || row >= frame_rows) {
        return std::nullopt;
    }
    const std::size_t i = sample_index(column, row);
    return modality(i < samples.size() ? samples[i] : missing_sample);
}

std::size_t FrameImage::sample_index(int column, int row) const
{
    // A frame held at a reduced resolution answers with the sample nearest
    // the pixel.
    const auto nearest = [this](int pixel, int held) {
        return std::clamp(static_cast<int>(std::lround((pixel - sample_origin) / sample_step)), 0, held - 1);
    };
    return static_cast<std::size_t>(nearest(row, rows)) * static_cast<std::size_t>(columns) +
           static_cast<std::size_t>(nearest(column, columns));
}
