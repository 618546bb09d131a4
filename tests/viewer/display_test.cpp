#include "viewer/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

FrameImage gray_frame(int columns, int rows, int32_t value)
{
    FrameImage frame;
    frame.columns = frame.frame_columns = columns;
    frame.rows = frame.frame_rows = rows;
    frame.samples.assign(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), value);
    return frame;
}

// Renders a square gray picture whose every sample is `value` and returns
// the pixel at the top left.
uint8_t shade(int32_t value, int32_t level, int32_t width, Modality modality = {}, bool inverted = false)
{
    FrameImage frame = gray_frame(4, 4, value);
    frame.modality = modality;
    frame.presentation.monochrome1 = inverted;
    auto picture = std::make_unique<DisplayPicture>();
    EXPECT_TRUE(picture->show(std::move(frame)));
    DisplayBitmap bitmap;
    render_display_pixels(*picture, {level, width}, bitmap);
    return bitmap.rows[0];
}

std::vector<int32_t> resample(const std::vector<int32_t>& source, int sw, int sh)
{
    std::vector<int32_t> out(display_pixel_count, -99);
    resample_to_display(source.data(), source.size(), sw, sh, out.data(), display_size, display_size);
    return out;
}

int32_t at(const std::vector<int32_t>& picture, int row, int column)
{
    return picture[static_cast<std::size_t>(row) * display_size + static_cast<std::size_t>(column)];
}

} // namespace

TEST(RenderDisplay, StartWindowMapsLevelToMiddleGray)
{
    // level 50, width 1024: lo -462, hi 562, scale 0.2490234375, offset 115.048828125
    EXPECT_EQ(shade(50, 50, 1024), 127);
    EXPECT_EQ(shade(562, 50, 1024), 255);
    EXPECT_EQ(shade(563, 50, 1024), 255);
    EXPECT_EQ(shade(-462, 50, 1024), 0);
    EXPECT_EQ(shade(-463, 50, 1024), 0);
    EXPECT_EQ(shade(0, 50, 1024), 115);
    // Width 0 is taken as 2.
    EXPECT_EQ(shade(50, 50, 0), 0);
    EXPECT_EQ(shade(51, 50, 0), 127);
    EXPECT_EQ(shade(52, 50, 0), 255);
}

TEST(RenderDisplay, ModalityValuesAreTakenInDoublePrecision)
{
    EXPECT_EQ(shade(32767, 50, 1024, {1.0, 1.0}), 255) << "no 16-bit wrap";
    EXPECT_EQ(shade(1074, 50, 1024, {1.0, -1024.0}), 127);
    EXPECT_EQ(shade(100, 50, 1024, {0.5, 0.0}), 127) << "slope 0.5";
    EXPECT_EQ(shade(40000, 40000, 100), 127) << "unsigned values above 32767";
    EXPECT_EQ(shade(2000000000, 2000000000, 2000000000), 127) << "32-bit window";
    EXPECT_EQ(shade(-2000000000, 0, 2000000000), 0);
    EXPECT_EQ(shade(50, 50, 1024, {}, true), 128) << "MONOCHROME1: 255 - i";
}

TEST(RenderDisplay, BandsAreBlackAndRowsRunBottomUp)
{
    FrameImage frame = gray_frame(64, 32, -1000);
    std::fill_n(frame.samples.begin(), 64, 1000); // the image's top row
    frame.presentation.monochrome1 = true;        // the bands stay black all the same
    auto picture = std::make_unique<DisplayPicture>();
    ASSERT_TRUE(picture->show(frame));
    DisplayBitmap bitmap;
    render_display_pixels(*picture, {50, 1024}, bitmap);
    ASSERT_EQ(bitmap.rows.size(), display_pixel_count);
    EXPECT_EQ(bitmap.rows[64 * 256], 0) << "top image row, white inverted";
    EXPECT_EQ(bitmap.rows[70 * 256 + 17], 255) << "rows below it, black inverted";
    EXPECT_EQ(bitmap.rows[63 * 256], 0) << "band";
    EXPECT_EQ(bitmap.rows[255 * 256], 0) << "band at the bottom";

    frame.kind = PictureKind::colour;
    frame.rgb.assign(64 * 32 * 3, 200);
    ASSERT_TRUE(picture->show(frame));
    render_display_pixels(*picture, {50, 1024}, bitmap);
    EXPECT_EQ(bitmap.bytes_per_pixel, 3);
    EXPECT_EQ(bitmap.rows[(64 * 256 + 3) * 3 + 1], 200);
    EXPECT_EQ(bitmap.rows[(63 * 256 + 3) * 3 + 1], 0) << "band";
}

TEST(PicturePlacement, KeepsTheAspectRatio)
{
    const Placement wide = picture_placement(64, 32);
    EXPECT_EQ(wide.x, 0);
    EXPECT_EQ(wide.width, 256);
    EXPECT_EQ(wide.height, 128);
    EXPECT_EQ(wide.y, 64);
    const Placement tall = picture_placement(32, 64);
    EXPECT_EQ(tall.y, 0);
    EXPECT_EQ(tall.height, 256);
    EXPECT_EQ(tall.width, 128);
    EXPECT_EQ(tall.x, 64);
    EXPECT_EQ(picture_placement(80, 60).height, 192);
    EXPECT_EQ(picture_placement(5000, 1).height, 2);
    EXPECT_EQ(picture_placement(3, 3).width, 256);
}

TEST(PicturePlacement, KeepsThePhysicalAspectOfPixelsThatAreNotSquare)
{
    const auto same = [](const Placement& a, const Placement& b) {
        return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    };
    // Rows 2 high, columns 1 wide: a square image stands twice as tall.
    EXPECT_TRUE(same(picture_placement(128, 128, 2.0, 1.0), picture_placement(64, 128)));
    EXPECT_TRUE(same(picture_placement(128, 128, 0.5, 1.0), picture_placement(128, 64)));
    // 64 x 32 pixels twice as tall as wide: square.
    EXPECT_TRUE(same(picture_placement(64, 32, 2.0, 1.0), picture_placement(1, 1)));
    // Square pixels and spacings that are not both positive: as without them.
    EXPECT_TRUE(same(picture_placement(80, 60, 0.7, 0.7), picture_placement(80, 60)));
    EXPECT_TRUE(same(picture_placement(80, 60, 0.0, 1.0), picture_placement(80, 60)));
    EXPECT_TRUE(same(picture_placement(80, 60, -1.0, 1.0), picture_placement(80, 60)));
    // Never thinner than 2.
    EXPECT_EQ(picture_placement(1, 1, 1.0, 1000.0).height, 2);
}

TEST(ResampleToDisplay, SameSizeCopiesAndWritesEveryRowAndColumn)
{
    std::vector<int32_t> source(256 * 256, 7);
    source[0] = -5;
    source[1] = -3000;
    source[2] = 40000;
    source[256 + 3] = 1234;
    source[255 * 256 + 255] = 99;
    const auto picture = resample(source, 256, 256);
    EXPECT_EQ(at(picture, 0, 0), -4) << "negative samples move toward zero";
    EXPECT_EQ(at(picture, 0, 1), -2999) << "no hold at -2048";
    EXPECT_EQ(at(picture, 0, 2), 40000) << "no hold at 32000";
    EXPECT_EQ(at(picture, 1, 3), 1234);
    EXPECT_EQ(at(picture, 254, 10), 7);
    EXPECT_EQ(at(picture, 10, 255), 7);
    EXPECT_EQ(at(picture, 255, 255), 99);
}

TEST(ResampleToDisplay, ShrinkingSpansMoreThanOneColumn)
{
    // A ramp across 512 columns: when shrinking, the right neighbour is the
    // column the next destination column starts at, not the adjacent one.
    std::vector<int32_t> source(512 * 512);
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            source[static_cast<std::size_t>(y) * 512 + static_cast<std::size_t>(x)] = x;
        }
    }
    const auto picture = resample(source, 512, 512);
    EXPECT_EQ(at(picture, 0, 0), 0);
    EXPECT_EQ(at(picture, 0, 1), 2);
    EXPECT_EQ(at(picture, 5, 127), 255);
    EXPECT_EQ(at(picture, 200, 253), 508);
    EXPECT_EQ(at(picture, 200, 255), 511) << "the last column reaches the source's last";
}

TEST(ResampleToDisplay, ConstantImagesStayConstantAtAnySize)
{
    for (const int size : {2, 3, 100, 255, 257, 1000}) {
        const std::vector<int32_t> source(static_cast<std::size_t>(size) * size, 300);
        const auto picture = resample(source, size, size);
        EXPECT_EQ(at(picture, 0, 0), 300) << size;
        EXPECT_EQ(at(picture, 128, 77), 300) << size;
        EXPECT_EQ(at(picture, 255, 255), 300) << size;
    }
}

TEST(ResampleToDisplay, EdgesAndMissingSamples)
{
    const std::vector<int32_t> row = {10, 20, 30, 40};
    auto picture = resample(row, 4, 1);
    EXPECT_EQ(at(picture, 0, 0), 10);
    EXPECT_EQ(at(picture, 200, 0), 10);
    EXPECT_EQ(at(picture, 100, 255), 40);

    picture = resample({-77}, 1, 1);
    EXPECT_EQ(at(picture, 255, 255), -76);

    // Two samples of a 2 x 2 image: the lower row counts as 0.
    picture = resample({5, 5}, 2, 2);
    EXPECT_EQ(at(picture, 0, 0), 5);
    EXPECT_EQ(at(picture, 255, 0), 0);
}

TEST(WindowDrag, FollowsTheMouseAndClamps)
{
    const WindowSetting start{50, 1024};
    const WindowSetting moved = drag_window(start, 100, 100, 150, 80);
    EXPECT_EQ(moved.level, 70);
    EXPECT_EQ(moved.width, 1074);
    EXPECT_EQ(window_caption(moved), "WL=  70, WW=1074");

    EXPECT_EQ(drag_window(start, 100, 100, -5000, 100).width, 2);
    EXPECT_EQ(drag_window(start, 100, 100, 5000, 100).width, 4096);
    EXPECT_EQ(drag_window(start, 100, 100, 100, 5000).level, -1024);
    EXPECT_EQ(drag_window(start, 100, 100, 100, -5000).level, 3064);
    EXPECT_EQ(drag_window({0, 10}, 100, 100, 91, 100).width, 1) << "0 and 1 stay as they are";
    EXPECT_EQ(window_caption({-1024, 2}), "WL=-1024, WW=   2");

    // A CT range keeps the figures; a wide range is reached at a coarser step.
    const DragLimits ct = drag_limits({-1024, 3000});
    EXPECT_EQ(drag_window(start, 100, 100, 100, -5000, ct).level, 3064);
    EXPECT_EQ(ct.step, 1);
    const DragLimits wide = drag_limits({0, 65535});
    EXPECT_EQ(wide.step, 16);
    EXPECT_EQ(drag_window(start, 100, 100, 101, 99, wide).level, 66);
    EXPECT_EQ(drag_window(start, 100, 100, 100, -5000, wide).level, 65535);
    EXPECT_EQ(drag_window(start, 100, 100, 9000, 100, wide).width, 65535);
    EXPECT_EQ(drag_window(start, 100, 100, 100, 9000, drag_limits({-5000, 10})).level, -5000);
    const DragLimits huge = drag_limits({-4e9, 4e9});
    EXPECT_EQ(drag_window(start, 0, 0, 100000, -100000, huge).width, INT32_MAX) << "held to the 32-bit range";

    const WindowSetting spanning = window_spanning({-10, 30});
    EXPECT_EQ(spanning.level, 10);
    EXPECT_EQ(spanning.width, 40);
}
