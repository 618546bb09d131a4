// The display stages one by one, through their public operations: lookup
// tables, modality, VOI, the offered windows, presentation, overlay planes,
// placement, the resampling taps and the rendered picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "image/single.h"
#include "viewer/frame_image.h"
#include "viewer/picture_readout.h"
#include "viewer/picture_render.h"
#include "viewer/resample.h"
#include "viewer/window_choices.h"

namespace {

LutItem lut(std::vector<uint16_t> descriptor, std::vector<uint16_t> data, bool signed_descriptor = false)
{
    LutItem item;
    item.descriptor = std::move(descriptor);
    item.data = std::move(data);
    item.descriptor_signed = signed_descriptor;
    return item;
}

FrameImage gray_frame(int columns, int rows, std::vector<int32_t> samples)
{
    FrameImage frame;
    frame.columns = frame.frame_columns = columns;
    frame.rows = frame.frame_rows = rows;
    frame.samples = std::move(samples);
    const auto [low, high] = std::minmax_element(frame.samples.begin(), frame.samples.end());
    frame.range = {static_cast<double>(*low), static_cast<double>(*high)};
    return frame;
}

PictureBitmap render(const FrameImage& frame, const ViewRect& view, int width, int height,
                     const RenderSettings& settings = {})
{
    ViewSamples samples;
    EXPECT_TRUE(view_samples(frame, view, width, height, samples));
    PictureBitmap bitmap;
    EXPECT_TRUE(render_picture(frame, samples, settings, bitmap));
    return bitmap;
}

OverlayItem plane(uint16_t rows, uint16_t columns, std::vector<uint8_t> data)
{
    OverlayItem item;
    item.group = 0x6000;
    item.rows = rows;
    item.columns = columns;
    item.data = std::move(data);
    return item;
}

} // namespace

TEST(LookupTable, DescriptorAndDataAsTheFileGivesThem)
{
    std::string problem;
    // Signed first value mapped (-2), inputs held to the first and last entry.
    std::optional<LookupTable> table = LookupTable::of(lut({3, 0xFFFE, 16}, {100, 200, 300}), true, problem);
    ASSERT_TRUE(table);
    EXPECT_EQ((*table)(int64_t{-5}), 100);
    EXPECT_EQ((*table)(int64_t{-1}), 200);
    EXPECT_EQ((*table)(-0.5), 200) << "inputs are floored";
    EXPECT_EQ((*table)(int64_t{40}), 300);
    EXPECT_EQ(table->output_top(), 65535U);
    // Unsigned pixels and a US descriptor: 0xFFFE is 65534.
    EXPECT_EQ(LookupTable::of(lut({3, 0xFFFE, 16}, {1, 2, 3}), false, problem)->first_mapped(), 65534);
    EXPECT_EQ(LookupTable::of(lut({3, 0xFFFE, 16}, {1, 2, 3}, true), false, problem)->first_mapped(), -2);
    // 0 entries mean 65536; 8-bit entries one a word or two a word.
    EXPECT_EQ(LookupTable::of(lut({0, 0, 16}, std::vector<uint16_t>(65536)), false, problem)->entries(), 65536U);
    table = LookupTable::of(lut({3, 0, 8}, {0x0102, 0x0003}), false, problem);
    ASSERT_TRUE(table);
    EXPECT_EQ((*table)(int64_t{0}), 2);
    EXPECT_EQ((*table)(int64_t{1}), 1);
    EXPECT_EQ((*table)(int64_t{2}), 3);
    EXPECT_EQ(table->output_top(), 255U);
    table = LookupTable::of(lut({2, 0, 8}, {0x0107, 9}), false, problem);
    EXPECT_EQ((*table)(int64_t{0}), 7) << "one a word: the low byte";

    EXPECT_FALSE(LookupTable::of(lut({4, 0, 16}, {1, 2, 3}), false, problem));
    EXPECT_EQ(problem, "its LUT Data holds 3 words for the 4 entries its LUT Descriptor announces");
    EXPECT_FALSE(LookupTable::of(lut({2, 0}, {1, 2}), false, problem));
    EXPECT_EQ(problem, "its LUT Descriptor has 2 values, not 3");
    EXPECT_FALSE(LookupTable::of(lut({2, 0, 20}, {1, 2}), false, problem));
    EXPECT_EQ(problem, "its LUT Descriptor gives 20 bits per entry (8 to 16 are read)");
}

TEST(ModalityStage, TheLutWinsOverSlopeAndIntercept)
{
    single_image image{};
    image.rescale_slope = 2;
    image.rescale_intercept = -10;
    std::string problem;
    ModalityStage stage = ModalityStage::of(image, problem);
    EXPECT_FALSE(stage.has_table());
    EXPECT_EQ(stage.sample(5000000000), INT32_MAX) << "held to 32 bits";
    EXPECT_DOUBLE_EQ(stage.value(7), 4);

    image.display.modality_lut = lut({2, 10, 16}, {1000, 2000});
    stage = ModalityStage::of(image, problem);
    EXPECT_TRUE(problem.empty());
    EXPECT_EQ(stage.sample(11), 2000);
    EXPECT_DOUBLE_EQ(stage.value(0), 1000) << "no slope after a LUT";

    image.display.modality_lut = lut({3, 10, 16}, {1000, 2000});
    stage = ModalityStage::of(image, problem);
    EXPECT_DOUBLE_EQ(stage.value(7), 4);
    EXPECT_EQ(problem, "The Modality LUT is not applied: its LUT Data holds 2 words for the 3 entries its LUT "
                       "Descriptor announces.");
    EXPECT_DOUBLE_EQ(ModalityStage::rescale(NAN, INFINITY).value(3), 3) << "non-finite: 1 and 0";
}

TEST(VoiMap, EachFunctionAndTheLut)
{
    const VoiMap linear(VoiWindow{50, 1024, VoiFunction::linear});
    EXPECT_EQ(linear(50), 127);
    EXPECT_EQ(linear(NAN), 0);
    const VoiMap exact(VoiWindow{100, 10, VoiFunction::linear_exact});
    EXPECT_EQ(exact(95), 0);
    EXPECT_EQ(exact(95.5), 13);
    EXPECT_EQ(exact(100), 128);
    EXPECT_EQ(exact(105), 255);
    const VoiMap sigmoid(VoiWindow{100, 10, VoiFunction::sigmoid});
    EXPECT_EQ(sigmoid(100), 128);
    EXPECT_EQ(sigmoid(110), 250) << "255 / (1 + e^-4)";
    EXPECT_EQ(sigmoid(-1e9), 0);
    EXPECT_EQ(VoiMap(VoiWindow{100, 0, VoiFunction::sigmoid})(101), 255) << "no width: a threshold";
    std::string problem;
    const std::optional<LookupTable> table = LookupTable::of(lut({2, 0, 12}, {0, 4095}), false, problem);
    EXPECT_EQ(VoiMap(*table)(1), 255) << "scaled from 12 bits";
    EXPECT_EQ(voi_function_of("LINEAR_EXACT"), VoiFunction::linear_exact);
    EXPECT_EQ(voi_function_of("SOMETHING"), VoiFunction::linear);
}

TEST(WindowChoices, TheFilesThenPresetsThenAutomatic)
{
    DisplayAttributes attributes;
    attributes.window_centers = {40, -600, 7};
    attributes.window_widths = {400, 1500};
    attributes.window_names = {"SOFT"};
    attributes.voi_lut_function = "SIGMOID";
    attributes.voi_luts = {lut({1, 0, 8}, {}), lut({1, 0, 8}, {255})};
    attributes.voi_luts[1].explanation = "GAMMA";
    std::vector<std::string> problems;
    FrameImage frame = gray_frame(10, 10, std::vector<int32_t>(100));
    std::iota(frame.samples.begin(), frame.samples.end(), -50);
    frame.range = {-50, 49};
    frame.windows = FileWindows::of(attributes, false, problems);
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "VOI LUT 1 is not offered: its LUT Data holds 0 words for the 1 entries its LUT "
                            "Descriptor announces."}));

    std::vector<WindowChoice> choices = window_choices(frame);
    ASSERT_EQ(choices.size(), 5U) << "two windows, one LUT, two automatic";
    EXPECT_EQ(choices[0].name, "SOFT");
    EXPECT_EQ(choices[0].setting.window, (VoiWindow{40, 400, VoiFunction::sigmoid}));
    EXPECT_EQ(choices[1].name, "");
    EXPECT_EQ(choices[2].kind, WindowKind::file_lut);
    EXPECT_EQ(choices[2].name, "GAMMA");
    EXPECT_EQ(frame.windows.map(choices[2].setting)(-1), 255);
    EXPECT_EQ(choices[3].name, "auto (min–max)");
    EXPECT_EQ(choices[3].setting.window, (VoiWindow{-0.5, 99, VoiFunction::linear}));
    EXPECT_EQ(choices[4].setting.window, (VoiWindow{-0.5, 97, VoiFunction::linear})) << "ranks 1 and 98";
    EXPECT_EQ(open_voi(frame, 16, {}, false), choices[0].setting);

    frame.modality_name = "CT";
    choices = window_choices(frame);
    ASSERT_EQ(choices.size(), 13U);
    EXPECT_EQ(choices[10].name, "bone");
    EXPECT_EQ(choices[10].setting.window, (VoiWindow{400, 1800, VoiFunction::linear}));
    frame.kind = PictureKind::colour;
    EXPECT_TRUE(window_choices(frame).empty());

    // Samples too far apart to count: the same ranks.
    FrameImage wide = gray_frame(1, 100, std::vector<int32_t>(100));
    for (int i = 0; i < 100; ++i) {
        wide.samples[static_cast<std::size_t>(i)] = i * 100000;
    }
    wide.range = {0, 9900000};
    EXPECT_EQ(auto_percentile(wide), (VoiWindow{4950000, 9700000, VoiFunction::linear}));
    // Without a window of the file: the one the viewer had, or for 32-bit
    // samples the window spanning the values unless one was given.
    const VoiWindow kept{10, 20, VoiFunction::linear};
    EXPECT_EQ(open_voi(wide, 16, kept, false).window, kept);
    EXPECT_EQ(open_voi(wide, 32, kept, true).window, kept);
    EXPECT_EQ(open_voi(wide, 32, kept, false).window, (VoiWindow{4950000, 9900000, VoiFunction::linear}));
}

TEST(PresentationStage, AnyTwoInversionsCancel)
{
    EXPECT_FALSE((PresentationStage{false, "IDENTITY"}.inverts(false)));
    EXPECT_TRUE((PresentationStage{true, ""}.inverts(false)));
    EXPECT_TRUE((PresentationStage{false, "INVERSE"}.inverts(false)));
    EXPECT_FALSE((PresentationStage{true, "INVERSE"}.inverts(false)));
    EXPECT_TRUE((PresentationStage{true, "INVERSE"}.inverts(true)));
}

TEST(OverlayMask, PlanesPlacedPerFrameAndRefusedWhenShort)
{
    std::vector<std::string> problems;
    // 2 x 3 plane at row 0, column 2 (1-based origin -> 0-based -1, 1): its
    // first row and last column fall outside a 3 x 3 image.
    OverlayItem data = plane(2, 3, {0b111111});
    data.origin_row = 0;
    data.origin_column = 2;
    OverlayMask mask = overlay_mask({data}, 3, 3, 9, 0, nullptr, 8, 8, problems);
    EXPECT_EQ(mask.pixels, (std::vector<uint8_t>{0, 255, 255, 0, 0, 0, 0, 0, 0}));
    mask = overlay_mask({data}, 3, 3, 2, 0, nullptr, 8, 8, problems);
    EXPECT_EQ(mask.pixels, (std::vector<uint8_t>{0, 255})) << "over the pixels a cut frame holds";

    // Two overlay frames from image frame 2 on: frame 1 shows nothing.
    OverlayItem frames = plane(1, 2, {0b0110});
    frames.frames = 2;
    frames.first_frame = 2;
    EXPECT_TRUE(overlay_mask({frames}, 2, 1, 2, 0, nullptr, 8, 8, problems).empty());
    EXPECT_EQ(overlay_mask({frames}, 2, 1, 2, 1, nullptr, 8, 8, problems).pixels, (std::vector<uint8_t>{0, 255}));
    EXPECT_EQ(overlay_mask({frames}, 2, 1, 2, 2, nullptr, 8, 8, problems).pixels, (std::vector<uint8_t>{255, 0}));
    EXPECT_TRUE(overlay_mask({frames}, 2, 1, 2, 3, nullptr, 8, 8, problems).empty());
    EXPECT_TRUE(problems.empty());

    OverlayItem short_data = plane(4, 4, {0xFF});
    short_data.group = 0x6002;
    OverlayItem nothing = plane(4, 4, {});
    nothing.data.reset();
    nothing.bit_position = 3;
    EXPECT_TRUE(overlay_mask({short_data, nothing}, 4, 4, 16, 0, nullptr, 16, 12, problems).empty());
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "Overlay 6002 is not shown: its Overlay Data holds 1 bytes, 4 x 4 x 1 pixels need 2.",
                            "Overlay 6000 is not shown: it has no Overlay Data and its bit 3 is not an unused bit "
                            "of the pixel data."}));

    // A plane in bit 14 of 12-bit samples: left out of the values.
    OverlayItem embedded = nothing;
    embedded.bits_allocated = 16;
    embedded.bit_position = 14;
    EXPECT_EQ(overlay_bits_in_samples({embedded, data}, 16, 12), 0x4000U);
    std::vector<uint16_t> words = {0x4005, 0x0FFF, 0x4000, 0x0001};
    single_image image{};
    image.columns = image.rows = 2;
    image.bits_allocated = 16;
    image.bits_stored = 12;
    image.samples_per_pixel = 1;
    image.frames = 1;
    image.pixels = reinterpret_cast<uint8_t*>(words.data());
    image.pixel_bytes = 8;
    embedded.rows = embedded.columns = 2;
    image.display.overlays = {embedded};
    FrameRefusal refusal = FrameRefusal::none;
    const std::optional<FrameImage> frame = FrameImage::of(image, 0, 0, refusal);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->samples, (std::vector<int32_t>{5, 0x0FFF, 0, 1}));
    EXPECT_EQ(frame->overlays.pixels, (std::vector<uint8_t>{255, 0, 255, 0}));
}

TEST(Placement, FitZoomAndPan)
{
    // 256 x 256: the picture's own placement.
    const ViewRect picture = fit_view(64, 32, 0, 0, 256, 256);
    EXPECT_EQ(picture, (ViewRect{0, -16, 4, 4}));
    // Any other size: the physical aspect kept, centred.
    const ViewRect wide = fit_view(100, 50, 2.0, 1.0, 400, 300);
    EXPECT_DOUBLE_EQ(wide.scale_x, 3);
    EXPECT_DOUBLE_EQ(wide.scale_y, 6);
    EXPECT_DOUBLE_EQ(wide.left, (100 - 400 / 3.0) / 2);
    EXPECT_DOUBLE_EQ(wide.top, 0);
    // A zoom keeps the point under the cursor; a pan moves the frame with it.
    const ViewRect zoomed = zoom_view(wide, 4, 120, 90);
    EXPECT_DOUBLE_EQ(zoomed.left + 120 / zoomed.scale_x, wide.left + 120 / wide.scale_x);
    EXPECT_DOUBLE_EQ(zoomed.top + 90 / zoomed.scale_y, wide.top + 90 / wide.scale_y);
    const ViewRect moved = pan_view(zoomed, 24, -12);
    EXPECT_DOUBLE_EQ(moved.left, zoomed.left - 2);
    EXPECT_DOUBLE_EQ(moved.top, zoomed.top + 0.5);
}

TEST(AxisTaps, AreaBilinearOrNearestByScale)
{
    // Shrinking 4 -> 2 pixels: two each, even weights.
    AxisTaps taps = axis_taps(0, 0.5, 2, 4);
    EXPECT_EQ(taps.source, (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(taps.weight, (std::vector<float>{0.5F, 0.5F, 0.5F, 0.5F}));
    // 3 -> 2 pixels: 1.5 source pixels each.
    taps = axis_taps(0, 2.0 / 3, 2, 3);
    EXPECT_EQ(taps.first, (std::vector<uint32_t>{0, 2, 4}));
    EXPECT_FLOAT_EQ(taps.weight[1], 1.0F / 3);
    // Enlarging 2 x: between centres, edges held.
    taps = axis_taps(0, 2, 4, 2);
    EXPECT_EQ(taps.source, (std::vector<int32_t>{0, 0, 1, 0, 1, 1}));
    EXPECT_EQ(taps.weight, (std::vector<float>{1, 0.75F, 0.25F, 0.25F, 0.75F, 1}));
    // Above 4 x: the nearest pixel. Output pixels off the frame: bands.
    taps = axis_taps(-1, 5, 20, 2);
    EXPECT_EQ(taps.begin, 5);
    EXPECT_EQ(taps.end, 15);
    EXPECT_EQ(taps.source, (std::vector<int32_t>{0, 0, 0, 0, 0, 1, 1, 1, 1, 1}));
    EXPECT_EQ(axis_taps(5, 1, 3, 2).begin, axis_taps(5, 1, 3, 2).end) << "nothing of the frame in view";
}

TEST(RenderPicture, AnySizeWindowedInvertedWithOverlays)
{
    // 2 x 2 frame, one output pixel per frame pixel: the samples as they are.
    FrameImage frame = gray_frame(2, 2, {0, 100, 200, 300});
    frame.modality = {1, -100};
    RenderSettings settings;
    settings.voi.window = {100, 200, VoiFunction::linear_exact};
    PictureBitmap bitmap = render(frame, full_view(), 2, 2, settings);
    EXPECT_EQ(bitmap.channels, 1);
    EXPECT_EQ(bitmap.pixels, (std::vector<uint8_t>{0, 0, 128, 255}));
    settings.invert = true;
    EXPECT_EQ(render(frame, full_view(), 2, 2, settings).pixels, (std::vector<uint8_t>{255, 255, 127, 0}));
    settings.invert = false;

    // Shrunk to one pixel: the area average; bands black beside it.
    bitmap = render(frame, fit_view(2, 2, 0, 0, 3, 1), 3, 1, settings);
    EXPECT_EQ(bitmap.pixels, (std::vector<uint8_t>{0, 64, 0})) << "the mean sample 150 is 50";

    // Overlays: colour everywhere, the overlay colour over the plane.
    frame.overlays.columns = frame.overlays.rows = 2;
    frame.overlays.pixels = {0, 0, 0, 255};
    settings.overlays = true;
    bitmap = render(frame, full_view(), 2, 2, settings);
    EXPECT_EQ(bitmap.channels, 3);
    EXPECT_EQ(bitmap.pixels, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 128, 128, 128, 255, 255, 0}));

    // Samples too far apart for a table are windowed one by one, alike.
    FrameImage wide = gray_frame(3, 1, {-2000000000, 5, 2000000000});
    settings = {};
    settings.voi.window = {0, 100, VoiFunction::linear};
    EXPECT_EQ(render(wide, full_view(), 3, 1, settings).pixels, (std::vector<uint8_t>{0, 140, 255}));

    // A frame cut short: the pixels it lacks take the missing sample.
    FrameImage cut = gray_frame(2, 2, {300, 300});
    cut.missing_sample = 0;
    cut.modality = {1, -100};
    settings.voi.window = {100, 200, VoiFunction::linear_exact};
    EXPECT_EQ(render(cut, full_view(), 2, 2, settings).pixels, (std::vector<uint8_t>{255, 255, 0, 0}));
    EXPECT_EQ(render(cut, zoom_view(full_view(), 8, 0, 0), 16, 16, settings).pixels[15 * 16], 0)
        << "the lower row, enlarged past 4 x";
    EXPECT_EQ(cut.value_at(1, 0), 200);
    EXPECT_EQ(cut.value_at(1, 1), -100) << "a pixel the frame lacks";
    EXPECT_FALSE(cut.value_at(2, 0));
}

TEST(PictureReadout, GivesTheStoredValueAndTheLutsValueAtTheFramesPixel)
{
    // A frame held at half resolution: 2 samples for 4 columns, the samples
    // a Modality LUT's entries for stored 1 and 2.
    FrameImage frame = gray_frame(2, 1, {100, 200});
    frame.frame_columns = 4;
    frame.sample_step = 2;
    frame.stored = {1, 2};
    frame.modality = {0.5, -10.0};
    ViewAttributes attributes;
    attributes.modality = "MR";
    attributes.modality_lut_type = "OD";
    attributes.rescale_type = "ignored while the LUT applies";
    const std::optional<Readout> r = picture_readout(frame, attributes, {3.5, 0.5}, 2);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(readout_text(*r), "x 3  y 0   stored 2   90 OD   frame 2");
    EXPECT_FALSE(picture_readout(frame, attributes, {4.0, 0.5}, 2).has_value());

    // Without the LUT the samples are the stored values, and the unit the Rescale Type's.
    frame.stored.clear();
    attributes.rescale_type = "BQML";
    EXPECT_EQ(readout_text(*picture_readout(frame, attributes, {0.5, 0.5}, 0)), "x 0  y 0   stored 100   40 BQML");
    // A pixel the frame does not hold.
    frame.samples.resize(1);
    EXPECT_EQ(readout_text(*picture_readout(frame, attributes, {2.5, 0.5}, 0)), "x 2  y 0   no value");
}
