#include "viewer/placement.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

Placement picture_placement(int columns, int rows)
{
    Placement p;
    if (columns <= 0 || rows <= 0 || columns == rows) {
        return p;
    }
    if (columns > rows) {
        p.height = static_cast<int>(std::max<int64_t>(2, (int64_t{display_size} * rows + columns / 2) / columns));
        p.y = (display_size - p.height) / 2;
    } else {
        p.width = static_cast<int>(std::max<int64_t>(2, (int64_t{display_size} * columns + rows / 2) / rows));
        p.x = (display_size - p.width) / 2;
    }
    return p;
}

Placement picture_placement(int columns, int rows, double row_spacing, double column_spacing)
{
    if (!(row_spacing > 0 && column_spacing > 0) || row_spacing == column_spacing || columns <= 0 || rows <= 0) {
        return picture_placement(columns, rows);
    }
    const double width = columns * column_spacing;
    const double height = rows * row_spacing;
    const auto side = [](double fraction) {
        return static_cast<int>(std::clamp<double>(std::round(display_size * fraction), 2, display_size));
    };
    Placement p;
    if (width >= height) {
        p.height = side(height / width);
        p.y = (display_size - p.height) / 2;
    } else {
        p.width = side(width / height);
        p.x = (display_size - p.width) / 2;
    }
    return p;
}

ViewRect fit_view(int columns, int rows, double row_spacing, double column_spacing, int width, int height)
{
    ViewRect view;
    if (columns <= 0 || rows <= 0 || width <= 0 || height <= 0) {
        return view;
    }
    if (width == display_size && height == display_size) {
        const Placement p = picture_placement(columns, rows, row_spacing, column_spacing);
        view.scale_x = static_cast<double>(p.width) / columns;
        view.scale_y = static_cast<double>(p.height) / rows;
        view.left = -p.x / view.scale_x;
        view.top = -p.y / view.scale_y;
        return view;
    }
    // Output rows per output column that one frame pixel takes.
    const double aspect = row_spacing > 0 && column_spacing > 0 ? row_spacing / column_spacing : 1.0;
    const double scale = std::min(static_cast<double>(width) / columns, height / (rows * aspect));
    view.scale_x = scale;
    view.scale_y = scale * aspect;
    view.left = (columns - width / view.scale_x) / 2;
    view.top = (rows - height / view.scale_y) / 2;
    return view;
}

ViewRect full_view() { return {}; }

ViewRect zoom_view(const ViewRect& view, double factor, double x, double y)
{
    ViewRect zoomed = view;
    zoomed.scale_x = view.scale_x * factor;
    zoomed.scale_y = view.scale_y * factor;
    zoomed.left = view.left + x / view.scale_x - x / zoomed.scale_x;
    zoomed.top = view.top + y / view.scale_y - y / zoomed.scale_y;
    return zoomed;
}

ViewRect pan_view(const ViewRect& view, double dx, double dy)
{
    ViewRect moved = view;
    moved.left = view.left - dx / view.scale_x;
    moved.top = view.top - dy / view.scale_y;
    return moved;
}
