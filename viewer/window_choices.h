// The windows the viewer offers for a frame, as plain data for a menu: the
// file's own windows and VOI LUTs (FileWindows), the fixed CT windows when
// the modality is CT, and two windows computed on the frame's modality
// values for any windowed picture; and the window an Open applies.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "viewer/file_windows.h"
#include "viewer/frame_image.h"

struct CtPreset {
    const char* name;
    double center;
    double width;
};

// brain 40/80, subdural 75/215, stroke 40/40, lung -600/1500, mediastinum
// 50/350, abdomen 60/400, liver 30/150, bone 400/1800.
extern const std::array<CtPreset, 8> ct_presets;

// The window spanning the lowest and highest modality value of the frame.
VoiWindow auto_min_max(const FrameImage& frame);
// The window from the `low` to the `high` percentile of the frame's modality
// values (the values at ranks round(p / 100 x (n - 1)) of the n pixels,
// lowest first).
VoiWindow auto_percentile(const FrameImage& frame, double low = 1, double high = 99);

// Every choice for the frame, in menu order: the file's windows and VOI
// LUTs, the CT presets when the modality is CT, then "auto (min–max)" and
// "auto (1–99 %)"; none for colour and 1-bit pictures.
std::vector<WindowChoice> window_choices(const FrameImage& frame);

// The VOI an Open applies: the file's first window or VOI LUT; otherwise,
// for 32-bit samples when no window was given from outside, the window
// spanning the frame's values; otherwise `kept`, the window the viewer had.
VoiSetting open_voi(const FrameImage& frame, int bits_allocated, const VoiWindow& kept, bool kept_given);
