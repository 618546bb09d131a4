#include "viewer/display.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Renders a picture whose every sample is `value` and returns one pixel.
uint8_t shade(int16_t value, int32_t level, int32_t width, int32_t intercept = 0)
{
    auto samples = std::make_unique<DisplaySamples>();
    samples->fill(value);
    auto pixels = std::make_unique<DisplayPixels>();
    render_display_pixels(*samples, level, width, intercept, *pixels);
    return (*pixels)[0];
}

std::vector<int16_t> resample(const std::vector<int16_t>& source, int sw, int sh)
{
    std::vector<int16_t> out(display_size * display_size, 0);
    resample_to_display(source.data(), sw, sh, out.data(), display_size, display_size);
    return out;
}

int16_t at(const std::vector<int16_t>& picture, int row, int column)
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
}

TEST(RenderDisplay, ZeroWidthBecomesTwo)
{
    EXPECT_EQ(shade(49, 50, 0), 0);
    EXPECT_EQ(shade(50, 50, 0), 0);
    EXPECT_EQ(shade(51, 50, 0), 127);
    EXPECT_EQ(shade(52, 50, 0), 255);
    EXPECT_EQ(shade(53, 50, 0), 255);
}

TEST(RenderDisplay, InterceptIsAddedInSixteenBits)
{
    EXPECT_EQ(shade(32767, 50, 1024, 1), 0) << "32767 + 1 wraps to -32768";
    EXPECT_EQ(shade(1074, 50, 1024, -1024), 127);
    EXPECT_EQ(shade(50, 50, 1024, 0x10000), 127) << "only the low 16 bits of the intercept count";
}

TEST(RenderDisplay, RowsAreStoredBottomUp)
{
    auto samples = std::make_unique<DisplaySamples>();
    samples->fill(-1000);
    for (int k = 0; k < display_size; ++k) {
        (*samples)[static_cast<std::size_t>(k)] = 1000; // top row white
    }
    auto pixels = std::make_unique<DisplayPixels>();
    render_display_pixels(*samples, 50, 1024, 0, *pixels);
    EXPECT_EQ((*pixels)[255 * 256], 255);
    EXPECT_EQ((*pixels)[255 * 256 + 255], 255);
    EXPECT_EQ((*pixels)[0], 0);
    EXPECT_EQ((*pixels)[254 * 256], 0);
}

TEST(ResampleToDisplay, SameSizeCopiesWithNegativeRoundingAndClamp)
{
    std::vector<int16_t> source(256 * 256, 7);
    source[0] = -5;
    source[1] = -3000;
    source[2] = 32767;
    source[256 + 3] = 1234;
    source[255 * 256 + 255] = 99;
    const auto picture = resample(source, 256, 256);
    EXPECT_EQ(at(picture, 0, 0), -4) << "negative samples move toward zero";
    EXPECT_EQ(at(picture, 0, 1), -2048);
    EXPECT_EQ(at(picture, 0, 2), 32767);
    EXPECT_EQ(at(picture, 1, 3), 1234);
    EXPECT_EQ(at(picture, 253, 253), 7);
    // The last two rows and columns are never written.
    EXPECT_EQ(at(picture, 254, 10), 0);
    EXPECT_EQ(at(picture, 255, 255), 0);
    EXPECT_EQ(at(picture, 10, 254), 0);
}

TEST(ResampleToDisplay, ShrinkingSpansMoreThanOneColumn)
{
    // A ramp across 512 columns: when shrinking, the right neighbour is the
    // column the next destination column starts at, not the adjacent one.
    std::vector<int16_t> source(512 * 512);
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            source[static_cast<std::size_t>(y) * 512 + static_cast<std::size_t>(x)] = static_cast<int16_t>(x);
        }
    }
    const auto picture = resample(source, 512, 512);
    EXPECT_EQ(at(picture, 0, 0), 0);
    EXPECT_EQ(at(picture, 0, 1), 2);
    EXPECT_EQ(at(picture, 5, 127), 255);
    EXPECT_EQ(at(picture, 200, 253), 508);
}

TEST(ResampleToDisplay, ConstantImagesStayConstantAtAnySize)
{
    for (const int size : {2, 3, 100, 255, 257, 1000}) {
        const std::vector<int16_t> source(static_cast<std::size_t>(size) * size, 300);
        const auto picture = resample(source, size, size);
        EXPECT_EQ(at(picture, 0, 0), 300) << size;
        EXPECT_EQ(at(picture, 128, 77), 300) << size;
        EXPECT_EQ(at(picture, 253, 253), 300) << size;
    }
}

TEST(ResampleToDisplay, SingleRowOrColumnRepeatsTheEdgeSample)
{
    const std::vector<int16_t> row = {10, 20, 30, 40};
    auto picture = resample(row, 4, 1);
    EXPECT_EQ(at(picture, 0, 0), 10);
    EXPECT_EQ(at(picture, 200, 0), 10);
    EXPECT_EQ(at(picture, 100, 253), 40);

    const std::vector<int16_t> single = {-77};
    picture = resample(single, 1, 1);
    EXPECT_EQ(at(picture, 0, 0), -76);
    EXPECT_EQ(at(picture, 253, 253), -76);
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
    EXPECT_EQ(drag_window({0, 10}, 100, 100, 90, 100).width, 0);
    EXPECT_EQ(window_caption({-1024, 2}), "WL=-1024, WW=   2");
}
