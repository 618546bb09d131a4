// Placement: where a frame lies in an output of a given size, and at what
// scale. The 256 x 256 picture keeps the placement it has always had (an
// integer rectangle, see picture_placement); any output, zoomed or panned,
// is described by a view rectangle.
#pragma once

#include "viewer/display_info.h"

// Where the image lies in the 256 x 256 picture: the rest are black bands.
struct Placement {
    int x = 0;
    int y = 0;
    int width = display_size;
    int height = display_size;
};
// With columns c >= rows r the picture is 256 wide and max(2, (256 r + c / 2) / c)
// high, centred vertically; otherwise 256 high and max(2, (256 c + r / 2) / r)
// wide, centred horizontally.
Placement picture_placement(int columns, int rows);
// The same for pixels `row_spacing` high and `column_spacing` wide: the
// picture keeps the physical aspect, columns x column spacing against rows x
// row spacing. Square pixels, or spacings not both positive, place as above.
Placement picture_placement(int columns, int rows, double row_spacing, double column_spacing);

// Which part of the frame goes to the output, at what scale: output pixel
// (x, y) has its centre at frame position (left + (x + 0.5) / scale_x,
// top + (y + 0.5) / scale_y), in frame pixels, frame pixel (c, r) covering
// [c, c + 1) x [r, r + 1). Output pixels whose centre lies outside the
// frame are bands.
struct ViewRect {
    double left = 0;
    double top = 0;
    double scale_x = 1; // output pixels per frame pixel
    double scale_y = 1;

    bool operator==(const ViewRect&) const = default;
};

// The whole frame in a width x height output, as large as it fits, its
// physical aspect kept (columns x column spacing against rows x row
// spacing; square pixels when the spacings are not both positive), centred
// between bands. In the 256 x 256 output it is picture_placement's rectangle.
ViewRect fit_view(int columns, int rows, double row_spacing, double column_spacing, int width, int height);
// One output pixel per frame pixel from the frame's top left corner.
ViewRect full_view();
// The view `factor` times larger, the output point (x, y) staying over the
// same frame position.
ViewRect zoom_view(const ViewRect& view, double factor, double x, double y);
// The view moved by dx, dy output pixels: the frame follows the mouse.
ViewRect pan_view(const ViewRect& view, double dx, double dy);
