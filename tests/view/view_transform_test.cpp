// Zoom, pan, fit and the mappings between pane and frame.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "view/view_transform.h"

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

void expect_near(ScreenPoint a, ScreenPoint b) { EXPECT_LT(std::hypot(a.x - b.x, a.y - b.y), 1e-9); }
void expect_near(FramePoint a, FramePoint b) { EXPECT_LT(std::hypot(a.column - b.column, a.row - b.row), 1e-9); }
void expect_rect(const ScreenRect& r, double x, double y, double width, double height)
{
    EXPECT_LT(std::hypot(r.x - x, r.y - y), 1e-9);
    EXPECT_LT(std::hypot(r.width - width, r.height - height), 1e-9);
}

} // namespace

TEST(ViewTransform, FitAndOneToOneKeepThePhysicalAspect)
{
    ViewTransform wide({512, 256}, {800, 600});
    EXPECT_TRUE(wide.fitted());
    EXPECT_DOUBLE_EQ(wide.zoom(), 800.0 / 512);
    expect_rect(wide.frame_on_screen(), 0, 100, 800, 400);

    // Rows twice as far apart as columns: each pixel twice as high as wide.
    ViewTransform tall({100, 100, 2.0, 1.0}, {300, 300});
    EXPECT_DOUBLE_EQ(tall.pixels_per_row(), 2 * tall.pixels_per_column());
    expect_rect(tall.frame_on_screen(), 75, 0, 150, 300);

    // A fitting zoom beyond the limits is kept: the frame still fills the pane.
    ViewTransform large({4096, 4096}, {256, 256});
    EXPECT_DOUBLE_EQ(large.zoom(), 1.0 / 16);
    ViewTransform tiny({2, 2}, {512, 512});
    EXPECT_DOUBLE_EQ(tiny.zoom(), 256.0);

    // The fitted view fits again when the pane changes.
    wide.set_pane_size({400, 600});
    expect_rect(wide.frame_on_screen(), 0, 200, 400, 200);

    // One to one along the finer axis, about the frame point at the centre.
    const FramePoint centre = tall.centre();
    tall.show_actual_size();
    EXPECT_FALSE(tall.fitted());
    EXPECT_DOUBLE_EQ(tall.pixels_per_column(), 1.0);
    EXPECT_DOUBLE_EQ(tall.pixels_per_row(), 2.0);
    expect_near(tall.to_frame({150, 150}), centre);
}

TEST(ViewTransform, ZoomAboutAPointKeepsThatPointUnderTheCursor)
{
    ViewTransform t({512, 384, 0.7, 0.5}, {640, 480});
    const ScreenPoint cursors[] = {{10, 20}, {600, 470}, {320, 240}, {-50, 900}, {123.25, 77.5}};
    const double factors[] = {1.25, 2.0, 0.5, 10.0, 0.01};
    for (const ScreenPoint cursor : cursors) {
        for (const double factor : factors) {
            const FramePoint under = t.to_frame(cursor);
            t.zoom_by(factor, cursor);
            expect_near(t.to_screen(under), cursor);
            expect_near(t.to_frame(cursor), under);
            EXPECT_GE(t.zoom(), ViewTransform::min_zoom);
            EXPECT_LE(t.zoom(), ViewTransform::max_zoom);
        }
    }
    t.zoom_by(1e6, {5, 5});
    EXPECT_DOUBLE_EQ(t.zoom(), ViewTransform::max_zoom);
    t.zoom_by(1e-6, {5, 5});
    EXPECT_DOUBLE_EQ(t.zoom(), ViewTransform::min_zoom);
    EXPECT_FALSE(t.fitted());

    // Nonsense changes nothing.
    const double before = t.zoom();
    for (const double factor : {0.0, -2.0, not_a_number, infinity}) {
        t.zoom_by(factor, {5, 5});
        EXPECT_DOUBLE_EQ(t.zoom(), before);
    }

    // A zoom below the lower limit (fitted in a small pane) zooms out no further.
    ViewTransform large({4096, 4096}, {256, 256});
    large.zoom_by(0.5, {0, 0});
    EXPECT_DOUBLE_EQ(large.zoom(), 1.0 / 16);
}

TEST(ViewTransform, MappingsRoundTripThroughPanAndZoom)
{
    ViewTransform t({300, 200, 1.5, 1.0}, {500, 400});
    t.zoom_by(3.7, {100, 300});
    t.pan_by(-42.5, 17.25);
    for (const FramePoint f : {FramePoint{0, 0}, FramePoint{300, 200}, FramePoint{12.5, 199.75}}) {
        expect_near(t.to_frame(t.to_screen(f)), f);
    }
    for (const ScreenPoint s : {ScreenPoint{0, 0}, ScreenPoint{499.5, 12}, ScreenPoint{-7, 1000}}) {
        expect_near(t.to_screen(t.to_frame(s)), s);
    }
    const ScreenRect r = t.frame_on_screen();
    expect_near(t.to_screen({300, 200}), {r.x + r.width, r.y + r.height});
}

TEST(ViewTransform, PanFollowsTheDragAndResizeKeepsTheCentre)
{
    ViewTransform t({256, 256}, {512, 512});
    t.zoom_by(4.0, {256, 256});
    const FramePoint f{100, 140};
    const ScreenPoint before = t.to_screen(f);
    t.pan_by(30, -20);
    expect_near(t.to_screen(f), {before.x + 30, before.y - 20});

    // The pane grows and shrinks about the frame point at its centre.
    const FramePoint centre = t.to_frame({256, 256});
    t.set_pane_size({1000, 300});
    EXPECT_FALSE(t.fitted());
    expect_near(t.to_frame({500, 150}), centre);
    EXPECT_DOUBLE_EQ(t.zoom(), 8.0);

    // A drag far past the edge stops with the pane's centre on the frame's edge.
    t.pan_by(1e6, -1e6);
    expect_near(t.centre(), {0, 256});
    t.pan_by(-10, 0); // back towards the frame
    EXPECT_GT(t.centre().column, 0.0);

    // fit() brings the whole frame back.
    t.fit();
    expect_near(t.centre(), {128, 128});
}

TEST(ViewTransform, DegenerateFramesAndPanesStayFinite)
{
    ViewTransform t({0, -5, not_a_number, 3.0}, {0, 0});
    t.zoom_by(2.0, {0, 0});
    t.pan_by(1.0, 1.0);
    t.pan_by(not_a_number, 1.0);
    const ScreenRect r = t.frame_on_screen();
    EXPECT_TRUE(std::isfinite(r.x) && std::isfinite(r.y) && r.width > 0 && r.height > 0);
    EXPECT_EQ(t.frame().columns, 1);
    EXPECT_DOUBLE_EQ(t.pixels_per_row(), t.pixels_per_column());
}
