#include "view/readout.h"

#include <cmath>

#include "view/number_text.h"

StoredFrame stored_frame(std::span<const int32_t> samples, int columns, int rows, int samples_per_pixel)
{
    StoredFrame frame{columns, rows, samples_per_pixel, {}};
    const std::size_t per_pixel = samples_per_pixel > 0 ? static_cast<std::size_t>(samples_per_pixel) : 1;
    frame.sample = [samples, per_pixel](std::size_t pixel, int channel) -> std::optional<int64_t> {
        const std::size_t at = pixel * per_pixel + static_cast<std::size_t>(channel);
        if (channel < 0 || static_cast<std::size_t>(channel) >= per_pixel || pixel >= samples.size() / per_pixel) {
            return std::nullopt;
        }
        return samples[at];
    };
    return frame;
}

std::string modality_unit(const ViewAttributes& attributes, bool lut_in_use)
{
    if (attributes.modality == "CT") {
        return "HU";
    }
    const std::string& type = lut_in_use ? attributes.modality_lut_type : attributes.rescale_type;
    return type == "US" ? std::string() : type;
}

std::optional<std::array<double, 3>> patient_position(const ViewAttributes& attributes, double column, double row)
{
    if (!attributes.image_position || !attributes.image_orientation || !attributes.pixel_spacing) {
        return std::nullopt;
    }
    const std::array<double, 3>& s = *attributes.image_position;
    const std::array<double, 6>& o = *attributes.image_orientation;
    const double row_spacing = (*attributes.pixel_spacing)[0];
    const double column_spacing = (*attributes.pixel_spacing)[1];
    // Along a row (the column index grows) by the first cosines, down a
    // column (the row index grows) by the second.
    std::array<double, 3> p{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        p[axis] = s[axis] + o[axis] * column_spacing * column + o[axis + 3] * row_spacing * row;
    }
    return p;
}

std::optional<Readout> read_out(const StoredFrame& frame, const ViewAttributes& attributes, FramePoint point,
                                int frame_number, const ModalityLut& lut)
{
    if (!(point.column >= 0.0 && point.column < frame.columns && point.row >= 0.0 && point.row < frame.rows)) {
        return std::nullopt;
    }
    Readout r;
    r.column = static_cast<int>(point.column);
    r.row = static_cast<int>(point.row);
    r.frame = frame_number > 0 ? frame_number : 0;
    const std::size_t pixel = static_cast<std::size_t>(r.row) * static_cast<std::size_t>(frame.columns) +
                              static_cast<std::size_t>(r.column);
    const int channels = frame.samples_per_pixel == 3 ? 3 : 1;
    for (int channel = 0; channel < channels && frame.sample; ++channel) {
        const std::optional<int64_t> sample = frame.sample(pixel, channel);
        if (!sample) {
            r.stored.clear();
            break;
        }
        r.stored.push_back(*sample);
    }
    if (channels == 1 && !r.stored.empty()) {
        const int64_t stored = r.stored.front();
        r.value = lut ? lut(stored)
                      : static_cast<double>(stored) * attributes.rescale_slope + attributes.rescale_intercept;
        r.unit = modality_unit(attributes, static_cast<bool>(lut));
    }
    r.patient = patient_position(attributes, r.column, r.row);
    return r;
}

std::string readout_text(const Readout& readout, const ReadoutWords& words)
{
    std::string text =
        words.x + " " + std::to_string(readout.column) + "  " + words.y + " " + std::to_string(readout.row);
    if (readout.stored.empty()) {
        text += "   " + words.no_value;
    } else {
        text += "   " + words.stored + " ";
        for (std::size_t i = 0; i < readout.stored.size(); ++i) {
            text += (i > 0 ? ", " : "") + std::to_string(readout.stored[i]);
        }
    }
    if (readout.value) {
        text += "   " + (readout.unit.empty() ? words.value + " " + number_text(*readout.value)
                                              : number_text(*readout.value) + " " + readout.unit);
    }
    if (readout.patient) {
        const std::array<double, 3>& p = *readout.patient;
        text += "   (" + fixed_text(p[0], 1) + ", " + fixed_text(p[1], 1) + ", " + fixed_text(p[2], 1) + ") mm";
    }
    if (readout.frame > 0) {
        text += "   " + words.frame + " " + std::to_string(readout.frame);
    }
    return text;
}
