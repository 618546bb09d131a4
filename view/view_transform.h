// Where a frame lies in the picture pane: its zoom, its pan and the two
// mappings between pane and frame. Qt-free; the window feeds it the pane size,
// the mouse and the keys, and draws what it says.
//
// Units. A screen point is in pane pixels: x to the right, y down, (0, 0) the
// pane's top-left corner; the pane pixel (x, y) covers [x, x + 1) x [y, y + 1).
// A frame point is in image pixels: column to the right, row down, (0, 0) the
// frame's top-left corner; the image pixel (c, r) covers [c, c + 1) x
// [r, r + 1), so its centre is (c + 0.5, r + 0.5) and the whole frame spans
// [0, columns] x [0, rows]. Both are doubles: no rounding happens here.
//
// Zoom counts screen pixels per image pixel along the frame's finer axis. A
// frame whose pixels are not square (row spacing and column spacing both
// positive and different) keeps its physical aspect: the coarser axis gets
// proportionally more screen pixels, as the 256 x 256 picture does today.
#pragma once

struct ScreenPoint {
    double x = 0.0;
    double y = 0.0;
};

struct FramePoint {
    double column = 0.0;
    double row = 0.0;
};

// A rectangle in pane pixels.
struct ScreenRect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
};

struct PaneSize {
    int width = 0;
    int height = 0;
};

// The frame's size and the physical size of its pixels (any one unit; only
// their ratio counts). Spacings not both positive and finite mean square
// pixels; columns and rows below 1 count as 1.
struct FrameGeometry {
    int columns = 1;
    int rows = 1;
    double row_spacing = 0.0;    // height of a pixel
    double column_spacing = 0.0; // width of a pixel
};

class ViewTransform {
public:
    static constexpr double min_zoom = 1.0 / 8.0;
    static constexpr double max_zoom = 32.0;

    // The frame fitted into the pane.
    ViewTransform(const FrameGeometry& frame, PaneSize pane);

    // The whole frame in the pane, aspect kept, centred. The fitting zoom may
    // lie outside [min_zoom, max_zoom] (a 4096-pixel frame in a small pane, a
    // tiny frame in a large one): it is used as it is.
    void fit();
    // One image pixel per screen pixel along the finer axis; the frame point
    // at the pane's centre stays there.
    void show_actual_size();
    // Multiplies the zoom by `factor` about `about`: the frame point under it
    // stays under it. The zoom is held to [min_zoom, max_zoom], widened to
    // take in the fitting zoom. A factor that is not positive and finite
    // changes nothing.
    void zoom_by(double factor, ScreenPoint about);
    // Moves the picture by (dx, dy) pane pixels, as a drag of the mouse
    // does. The pan is not allowed to take the frame's point at the pane's
    // centre any further outside the frame than it already was.
    void pan_by(double dx, double dy);
    // A new pane size. A fitted view fits again; otherwise the zoom stays and
    // the frame point at the pane's centre stays there.
    void set_pane_size(PaneSize pane);

    FramePoint to_frame(ScreenPoint point) const;
    ScreenPoint to_screen(FramePoint point) const;
    // The whole frame, [0, columns] x [0, rows], in pane pixels.
    ScreenRect frame_on_screen() const;

    double zoom() const { return zoom_; }
    // True from fit() until the next zoom or pan.
    bool fitted() const { return fitted_; }
    // Screen pixels per image pixel across (a column's width) and down (a row's height).
    double pixels_per_column() const { return zoom_ * aspect_x_; }
    double pixels_per_row() const { return zoom_ * aspect_y_; }
    // The frame point at the pane's centre.
    FramePoint centre() const { return centre_; }
    const FrameGeometry& frame() const { return frame_; }
    PaneSize pane() const { return pane_; }

private:
    double fitting_zoom() const;

    FrameGeometry frame_;
    PaneSize pane_;
    double aspect_x_ = 1.0; // screen pixels per column at zoom 1
    double aspect_y_ = 1.0; // screen pixels per row at zoom 1
    double zoom_ = 1.0;
    FramePoint centre_;
    bool fitted_ = true;
};
