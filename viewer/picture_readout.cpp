#include "viewer/picture_readout.h"

#include <cstddef>
#include <cstdint>

std::optional<Readout> picture_readout(const FrameImage& frame, const ViewAttributes& attributes, FramePoint point,
                                       int frame_number)
{
    if (frame.frame_columns <= 0 || frame.frame_rows <= 0 || frame.columns <= 0 || frame.rows <= 0) {
        return std::nullopt;
    }
    const bool colour = frame.kind == PictureKind::colour;
    StoredFrame stored{frame.frame_columns, frame.frame_rows, colour ? 3 : 1, {}};
    stored.sample = [&frame, colour](std::size_t pixel, int channel) -> std::optional<int64_t> {
        const auto columns = static_cast<std::size_t>(frame.frame_columns);
        const std::size_t i =
            frame.sample_index(static_cast<int>(pixel % columns), static_cast<int>(pixel / columns));
        if (colour) {
            return i * 3 + 2 < frame.rgb.size()
                       ? std::optional<int64_t>(frame.rgb[i * 3 + static_cast<std::size_t>(channel)])
                       : std::nullopt;
        }
        if (i >= frame.samples.size()) {
            return std::nullopt;
        }
        if (frame.kind == PictureKind::fixed) {
            return frame.samples[i] != 0 ? 1 : 0;
        }
        return frame.stored.empty() ? frame.samples[i] : frame.stored[i];
    };
    // The modality value through the display's own stage: the sample at the
    // pixel (a Modality LUT's entry when one applies) through the linear part.
    ModalityLut value;
    if (frame.kind == PictureKind::windowed) {
        value = [&frame, point](int64_t) {
            const auto column = static_cast<int>(point.column);
            const auto row = static_cast<int>(point.row);
            return frame.modality(frame.samples[frame.sample_index(column, row)]);
        };
    }
    std::optional<Readout> readout = read_out(stored, attributes, point, frame_number, value);
    if (readout) {
        readout->unit = readout->value ? modality_unit(attributes, !frame.stored.empty()) : std::string();
        if (frame.kind != PictureKind::windowed) {
            readout->value.reset();
            readout->unit.clear();
        }
    }
    return readout;
}
