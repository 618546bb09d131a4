// One frame as the display keeps it while it is shown: read once from the
// image record (the samples stage), its gray samples through the table part
// of the modality stage, the file's VOI choices and presentation, and its
// overlay planes combined into one mask. Rendering at any size, view or
// window reads it and never decodes again. A frame decoded at a reduced
// resolution enters here too: its samples are fewer than the frame's pixels
// (columns() against frame_columns()), and every view still speaks of the
// frame's pixels.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "viewer/file_windows.h"
#include "viewer/frame_samples.h"
#include "viewer/modality_stage.h"
#include "viewer/overlay_planes.h"
#include "viewer/presentation_stage.h"

struct single_image;

enum class PictureKind {
    windowed, // gray samples through the VOI stage
    fixed,    // gray samples that are display levels already (1-bit: 0 or 255)
    colour,   // RGB, shown as it is
};

// The lowest and highest modality value of a frame.
struct ValueRange {
    double lowest = 0.0;
    double highest = 0.0;
};

struct FrameImage {
    // Frame `index` of the record (0 for a record that holds one frame),
    // which is frame `frame_number` (0-based) of the file. Nothing when the
    // frame cannot be shown; `refusal` says why.
    static std::optional<FrameImage> of(const single_image& image, int index, int frame_number,
                                        FrameRefusal& refusal);

    PictureKind kind = PictureKind::windowed;
    int columns = 0; // of the samples held
    int rows = 0;
    int frame_columns = 0; // of the frame in the file
    int frame_rows = 0;
    // Whether the samples are fewer than the frame's pixels. Along each axis
    // sample k then stands for the frame around pixel sample_step x k +
    // sample_origin (pixel centres at whole numbers).
    bool reduced() const { return columns != frame_columns || rows != frame_rows; }
    int sample_step = 1;
    double sample_origin = 0;
    // The physical size of a pixel (both 0 when the file gives none).
    double row_spacing = 0;
    double column_spacing = 0;
    // Windowed and fixed pictures: one sample a pixel, row by row (see
    // ModalityStage::sample); colour pictures: R, G, B a pixel. A frame the
    // file cuts short holds fewer than columns x rows: every pixel after
    // them takes the missing sample or colour (that of a stored 0).
    std::vector<int32_t> samples;
    std::vector<uint8_t> rgb;
    // The stored values, kept only when a Modality LUT maps them to the
    // samples (otherwise the samples are the stored values held to 32 bits).
    std::vector<int32_t> stored;
    int32_t missing_sample = 0;
    std::array<uint8_t, 3> missing_rgb{};
    bool wide = false;   // samples reach beyond 2^24 in magnitude
    Modality modality;   // the linear part of the modality stage
    ValueRange range;    // of the modality values of the pixels held
    FileWindows windows; // the file's VOI choices
    PresentationStage presentation;
    std::string modality_name; // (0008,0060), such as "CT"
    // What the modality values are: the Modality LUT Type when the LUT
    // applies, else the Rescale Type (0028,1054); empty when the file says
    // nothing.
    std::string value_type;
    OverlayMask overlays;
    // What was left out and why (a Modality LUT, a VOI LUT, an overlay plane).
    std::vector<std::string> problems;

    // The modality value of the frame's pixel (column, row), 0-based (that
    // of the sample covering it when the frame is held at a reduced
    // resolution); nothing outside the frame and for colour pictures.
    std::optional<double> value_at(int column, int row) const;
    // The index of the held sample for the frame's pixel (column, row), which
    // must lie inside the frame: the pixel's own, or the nearest one held.
    std::size_t sample_index(int column, int row) const;
};
