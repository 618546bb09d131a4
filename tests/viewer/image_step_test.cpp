#include "viewer/image_step.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "image/single.h"

namespace {

single_image record(uint16_t columns, uint16_t rows, uint16_t bits, std::vector<uint8_t>& bytes)
{
    single_image image{};
    image.columns = columns;
    image.rows = rows;
    image.bits_allocated = bits;
    image.samples_per_pixel = 1;
    image.frames = 1;
    image.pixels = bytes.data();
    image.pixel_bytes = bytes.size();
    return image;
}

const std::string samples_dir = VELMOR_PYDICOM_FILES;

} // namespace

TEST(DisplaySourceSamples, SixteenBitSamplesAreReadAsSigned)
{
    std::vector<uint8_t> bytes = {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0x34, 0x12};
    const single_image image = record(2, 2, 16, bytes);
    EXPECT_EQ(display_source_samples(image), (std::vector<int16_t>{1, -1, -32768, 0x1234}));
}

TEST(DisplaySourceSamples, EightBitSamplesAreWidenedNotPaired)
{
    std::vector<uint8_t> bytes = {0, 127, 128, 255};
    single_image image = record(2, 2, 8, bytes);
    EXPECT_EQ(display_source_samples(image), (std::vector<int16_t>{0, 127, 128, 255}));
    image.pixel_representation = 1;
    EXPECT_EQ(display_source_samples(image), (std::vector<int16_t>{0, 127, -128, -1}));
}

TEST(DisplaySourceSamples, MissingSamplesCountAsZero)
{
    // One and a half 16-bit samples of four: only the whole one is taken, and
    // the resampling reads the rest as 0.
    std::vector<uint8_t> bytes = {5, 0, 6};
    const single_image image = record(2, 2, 16, bytes);
    const std::vector<int16_t> held = display_source_samples(image);
    EXPECT_EQ(held, (std::vector<int16_t>{5}));
    std::vector<int16_t> picture(display_size * display_size, 99);
    resample_to_display(held.data(), held.size(), 2, 2, picture.data(), display_size, display_size);
    EXPECT_EQ(picture[0], 5);
    EXPECT_EQ(picture[253], 0) << "the missing right-hand sample";
    EXPECT_EQ(picture[253 * display_size], 0) << "the missing lower row";
}

TEST(DisplaySourceSamples, OtherWidthsAndNoPixelsGiveNothing)
{
    std::vector<uint8_t> bytes(16, 1);
    EXPECT_TRUE(display_source_samples(record(2, 2, 32, bytes)).empty());
    EXPECT_TRUE(display_source_samples(record(2, 2, 12, bytes)).empty());
    single_image none = record(2, 2, 16, bytes);
    none.pixels = nullptr;
    EXPECT_TRUE(display_source_samples(none).empty());
}

TEST(LoadDisplayImage, NamesEachFailure)
{
    auto samples = std::make_unique<DisplaySamples>();
    EXPECT_EQ(load_display_image("/nonexistent/file.dcm", *samples), ImageStepResult::OpenFailed);
    EXPECT_STREQ(image_step_message(ImageStepResult::OpenFailed), "dicom_open() Failed.");
    EXPECT_EQ(load_display_image((samples_dir + "/SC_rgb_small_odd.dcm").c_str(), *samples),
              ImageStepResult::NotMonochrome2);
    EXPECT_STREQ(image_step_message(ImageStepResult::NotMonochrome2), "Invarid image type. Not MONOCHROME2.!");
    EXPECT_EQ(load_display_image((samples_dir + "/rtplan.dcm").c_str(), *samples), ImageStepResult::LoadFailed);
    EXPECT_STREQ(image_step_message(ImageStepResult::LoadFailed), "DICOM Image Load Failed.!");
    EXPECT_STREQ(image_step_message(ImageStepResult::OutOfMemory), "メモリ確保に失敗しました");
}

TEST(LoadDisplayImage, ResamplesTheFirstFrame)
{
    // A 64 x 64 image grows to the display: its first sample lands at (0, 0)
    // (negative samples move one toward zero), and the last two rows stay 0.
    auto samples = std::make_unique<DisplaySamples>();
    samples->fill(0);
    ASSERT_EQ(load_display_image((samples_dir + "/MR_small.dcm").c_str(), *samples), ImageStepResult::Shown);
    int nonzero = 0;
    for (int i = 0; i < 254 * 256; ++i) {
        nonzero += (*samples)[static_cast<std::size_t>(i)] != 0 ? 1 : 0;
    }
    EXPECT_GT(nonzero, 20000);
    for (int k = 0; k < 256; ++k) {
        EXPECT_EQ((*samples)[static_cast<std::size_t>(254 * 256 + k)], 0);
        EXPECT_EQ((*samples)[static_cast<std::size_t>(255 * 256 + k)], 0);
    }
    // A dose grid of 32-bit samples has no 16-bit reading.
    EXPECT_EQ(load_display_image((samples_dir + "/rtdose_rle.dcm").c_str(), *samples),
              ImageStepResult::LoadFailed);
}
