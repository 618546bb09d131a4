#include "view/view_transform.h"

#include <algorithm>
#include <cmath>

namespace {

// The most screen pixels one axis of an image pixel gets against the other:
// a frame with a stranger spacing ratio is shown at this one.
constexpr double max_aspect = 64.0;

bool usable_spacing(double spacing) { return std::isfinite(spacing) && spacing > 0.0; }

FrameGeometry normalised(FrameGeometry frame)
{
    frame.columns = std::max(frame.columns, 1);
    frame.rows = std::max(frame.rows, 1);
    if (!usable_spacing(frame.row_spacing) || !usable_spacing(frame.column_spacing)) {
        frame.row_spacing = 1.0;
        frame.column_spacing = 1.0;
    }
    return frame;
}

PaneSize at_least_one_pixel(PaneSize pane) { return {std::max(pane.width, 1), std::max(pane.height, 1)}; }

} // namespace

ViewTransform::ViewTransform(const FrameGeometry& frame, PaneSize pane)
    : frame_(normalised(frame)), pane_(at_least_one_pixel(pane))
{
    const double finer = std::min(frame_.row_spacing, frame_.column_spacing);
    aspect_x_ = std::min(frame_.column_spacing / finer, max_aspect);
    aspect_y_ = std::min(frame_.row_spacing / finer, max_aspect);
    fit();
}

double ViewTransform::fitting_zoom() const
{
    return std::min(pane_.width / (frame_.columns * aspect_x_), pane_.height / (frame_.rows * aspect_y_));
}

void ViewTransform::fit()
{
    zoom_ = fitting_zoom();
    centre_ = {frame_.columns / 2.0, frame_.rows / 2.0};
    fitted_ = true;
}

void ViewTransform::show_actual_size()
{
    zoom_ = 1.0;
    fitted_ = false;
}

void ViewTransform::zoom_by(double factor, ScreenPoint about)
{
    if (!std::isfinite(factor) || factor <= 0.0) {
        return;
    }
    const FramePoint held = to_frame(about);
    const double fitting = fitting_zoom();
    // A zoom already outside the limits (a pane resized since) is not pulled
    // back against the direction asked for.
    const double lowest = std::min({min_zoom, fitting, zoom_});
    const double highest = std::max({max_zoom, fitting, zoom_});
    zoom_ = std::clamp(zoom_ * factor, lowest, highest);
    centre_.column = held.column - (about.x - pane_.width / 2.0) / pixels_per_column();
    centre_.row = held.row - (about.y - pane_.height / 2.0) / pixels_per_row();
    fitted_ = false;
}

void ViewTransform::pan_by(double dx, double dy)
{
    if (!std::isfinite(dx) || !std::isfinite(dy)) {
        return;
    }
    const auto moved = [](double centre, double by, double extent) {
        return std::clamp(centre - by, std::min(0.0, centre), std::max(extent, centre));
    };
    centre_.column = moved(centre_.column, dx / pixels_per_column(), frame_.columns);
    centre_.row = moved(centre_.row, dy / pixels_per_row(), frame_.rows);
    fitted_ = false;
}

void ViewTransform::set_pane_size(PaneSize pane)
{
    pane_ = at_least_one_pixel(pane);
    if (fitted_) {
        fit();
    }
}

FramePoint ViewTransform::to_frame(ScreenPoint point) const
{
    return {centre_.column + (point.x - pane_.width / 2.0) / pixels_per_column(),
            centre_.row + (point.y - pane_.height / 2.0) / pixels_per_row()};
}

ScreenPoint ViewTransform::to_screen(FramePoint point) const
{
    return {pane_.width / 2.0 + (point.column - centre_.column) * pixels_per_column(),
            pane_.height / 2.0 + (point.row - centre_.row) * pixels_per_row()};
}

ScreenRect ViewTransform::frame_on_screen() const
{
    const ScreenPoint top_left = to_screen({0.0, 0.0});
    return {top_left.x, top_left.y, frame_.columns * pixels_per_column(), frame_.rows * pixels_per_row()};
}
