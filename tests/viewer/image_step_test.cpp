#include "viewer/image_step.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/single.h"
#include "viewer/frame_image.h"
#include "viewer/frame_samples.h"
#include "viewer/header_walk.h"

namespace {

single_image record(uint16_t columns, uint16_t rows, uint16_t bits, std::vector<uint8_t>& bytes,
                    int32_t photometric = PHOTOMETRIC_MONOCHROME2, uint16_t samples = 1)
{
    single_image image{};
    image.photometric = photometric;
    image.columns = columns;
    image.rows = rows;
    image.bits_allocated = bits;
    image.bits_stored = bits;
    image.samples_per_pixel = samples;
    image.frames = 1;
    image.rescale_slope = 1.0;
    image.pixels = bytes.data();
    image.pixel_bytes = bytes.size();
    return image;
}

template <typename T>
std::vector<uint8_t> bytes_of(const std::vector<T>& values)
{
    std::vector<uint8_t> bytes(values.size() * sizeof(T));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

FrameSamples frame_of(const single_image& image, int index = 0)
{
    FrameRefusal refusal = FrameRefusal::none;
    std::optional<FrameSamples> frame = FrameSamples::of(image, index, refusal);
    EXPECT_TRUE(frame.has_value());
    return *frame;
}

std::vector<int64_t> values(const single_image& image, int index = 0)
{
    const FrameSamples frame = frame_of(image, index);
    std::vector<int64_t> out;
    for (std::size_t i = 0; i < static_cast<std::size_t>(frame.columns() * frame.rows()); ++i) {
        out.push_back(frame.value(i));
    }
    return out;
}

// The lowest and highest modality value of the frame's picture.
std::array<double, 2> range_of(const single_image& image)
{
    FrameRefusal refusal = FrameRefusal::none;
    const std::optional<FrameImage> frame = FrameImage::of(image, 0, 0, refusal);
    return frame ? std::array<double, 2>{frame->range.lowest, frame->range.highest} : std::array<double, 2>{};
}

const std::string samples_dir = VELMOR_PYDICOM_FILES;

} // namespace

TEST(FrameSamples, GraySamplesAreReadAsDeclared)
{
    std::vector<uint8_t> wide = bytes_of(std::vector<uint16_t>{1, 40000, 0x0FFF, 0x8000});
    single_image image = record(2, 2, 16, wide);
    EXPECT_EQ(values(image), (std::vector<int64_t>{1, 40000, 0x0FFF, 0x8000})) << "unsigned";
    image.pixel_representation = 1;
    image.bits_stored = 12;
    EXPECT_EQ(values(image), (std::vector<int64_t>{1, -960, -1, 0})) << "sign-extended from Bits Stored";
    EXPECT_EQ(range_of(image), (std::array<double, 2>{-960, 1}));

    std::vector<uint8_t> narrow = {0, 127, 128, 255};
    image = record(2, 2, 8, narrow);
    EXPECT_EQ(values(image), (std::vector<int64_t>{0, 127, 128, 255}));
    image.pixel_representation = 1;
    EXPECT_EQ(values(image), (std::vector<int64_t>{0, 127, -128, -1}));

    std::vector<uint8_t> dose = bytes_of(std::vector<uint32_t>{3000000000U, 7, 0xFFFFFFFFU, 0});
    image = record(2, 2, 32, dose);
    EXPECT_EQ(values(image), (std::vector<int64_t>{3000000000LL, 7, 4294967295LL, 0}));
    image.pixel_representation = 1;
    EXPECT_EQ(values(image)[2], -1);
    EXPECT_EQ(range_of(image), (std::array<double, 2>{-1294967296, 7}));

    // 1-bit: eight pixels a byte, the first in the lowest bit; frame 2 of
    // 3 x 2 pixels starts inside the first byte.
    std::vector<uint8_t> bits = {0b10000101, 0b00000110};
    image = record(3, 2, 1, bits);
    image.frames = 2;
    EXPECT_EQ(values(image, 0), (std::vector<int64_t>{1, 0, 1, 0, 0, 0}));
    EXPECT_EQ(values(image, 1), (std::vector<int64_t>{0, 1, 0, 1, 1, 0}));
    EXPECT_TRUE(frame_of(image).one_bit());
}

TEST(FrameSamples, FramesAndShortBuffers)
{
    std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    single_image image = record(2, 2, 8, bytes);
    image.frames = 4; // the buffer holds two and a half
    EXPECT_EQ(FrameSamples::frames_held(image), 3);
    EXPECT_EQ(values(image, 1), (std::vector<int64_t>{5, 6, 7, 8}));
    EXPECT_EQ(values(image, 2), (std::vector<int64_t>{9, 10, 0, 0})) << "what the buffer lacks reads as 0";
    EXPECT_EQ(frame_of(image, 2).held(), 2U);
    FrameRefusal refusal = FrameRefusal::none;
    EXPECT_FALSE(FrameSamples::of(image, 3, refusal));
    EXPECT_EQ(refusal, FrameRefusal::past_end);
    EXPECT_FALSE(FrameSamples::of(image, -1, refusal));

    // An odd tail of a 16-bit sample is never read.
    std::vector<uint8_t> odd = {5, 0, 6};
    image = record(2, 1, 16, odd);
    EXPECT_EQ(values(image), (std::vector<int64_t>{5, 0}));

    for (const int32_t photometric : {PHOTOMETRIC_HSV, PHOTOMETRIC_ARGB, PHOTOMETRIC_CMYK, PHOTOMETRIC_UNKNOWN}) {
        image = record(2, 1, 8, bytes, photometric);
        EXPECT_FALSE(FrameSamples::of(image, 0, refusal));
        EXPECT_EQ(refusal, FrameRefusal::not_displayable);
    }
    for (const uint16_t bits : {uint16_t{12}, uint16_t{24}, uint16_t{0}}) {
        image = record(2, 1, bits, bytes);
        EXPECT_FALSE(FrameSamples::of(image, 0, refusal)) << bits;
        EXPECT_EQ(refusal, FrameRefusal::no_samples);
    }
    image = record(2, 1, 8, bytes, PHOTOMETRIC_RGB, 1);
    EXPECT_FALSE(FrameSamples::of(image, 0, refusal)) << "RGB needs three samples";
}

TEST(FrameSamples, ColourBecomesRgb)
{
    // Two pixels, interleaved and planar, 8 and 16 bits.
    std::vector<uint8_t> interleaved = {10, 20, 30, 40, 50, 60};
    single_image image = record(2, 1, 8, interleaved, PHOTOMETRIC_RGB, 3);
    EXPECT_EQ(frame_of(image).rgb(1), (Rgb{40, 50, 60}));
    std::vector<uint8_t> planar = {10, 40, 20, 50, 30, 60};
    image = record(2, 1, 8, planar, PHOTOMETRIC_RGB, 3);
    image.planar_configuration = 1;
    EXPECT_EQ(frame_of(image).rgb(1), (Rgb{40, 50, 60}));
    std::vector<uint8_t> deep = bytes_of(std::vector<uint16_t>{0x0FFF, 0x0800, 0x0010});
    image = record(1, 1, 16, deep, PHOTOMETRIC_RGB, 3);
    image.bits_stored = 12;
    EXPECT_EQ(frame_of(image).rgb(0), (Rgb{255, 128, 1})) << "shifted right by Bits Stored - 8";

    // YBR_FULL: full-range formulas, rounded and held to 0 to 255.
    std::vector<uint8_t> ybr = {128, 128, 128, 76, 85, 255, 255, 0, 255};
    image = record(3, 1, 8, ybr, PHOTOMETRIC_YBR_FULL, 3);
    EXPECT_EQ(frame_of(image).rgb(0), (Rgb{128, 128, 128}));
    EXPECT_EQ(frame_of(image).rgb(1), (Rgb{254, 0, 0}));
    EXPECT_EQ(frame_of(image).rgb(2), (Rgb{255, 208, 28}));

    // YBR_FULL_422: Y1 Y2 Cb Cr for each pair of pixels.
    std::vector<uint8_t> pairs = {100, 200, 128, 128, 76, 76, 85, 255};
    image = record(4, 1, 8, pairs, PHOTOMETRIC_YBR_FULL_422, 3);
    EXPECT_EQ(frame_of(image).rgb(0), (Rgb{100, 100, 100}));
    EXPECT_EQ(frame_of(image).rgb(1), (Rgb{200, 200, 200}));
    EXPECT_EQ(frame_of(image).rgb(3), (Rgb{254, 0, 0}));
}

TEST(FrameSamples, PaletteColourLooksIndicesUp)
{
    std::vector<uint8_t> indices = {0, 5, 6, 9};
    single_image image = record(4, 1, 8, indices, PHOTOMETRIC_PALETTE_COLOR);
    // Red: 16-bit entries from index 5; green: 8-bit entries one a word;
    // blue: 8-bit entries two a word.
    std::vector<uint16_t> red = {0x1000, 0x2000, 0xFF00};
    std::vector<uint16_t> green = {11, 22 << 8, 33}; // one writer puts it in the high byte
    std::vector<uint16_t> blue = {0x1601, 0x0021};
    image.palette[0] = {3, 16, 5, red.data(), 6};
    image.palette[1] = {3, 8, 5, green.data(), 6};
    image.palette[2] = {3, 8, 5, blue.data(), 4};
    const FrameSamples frame = frame_of(image);
    EXPECT_EQ(frame.rgb(0), (Rgb{0x10, 11, 0x01})) << "below the first mapped: the first entry";
    EXPECT_EQ(frame.rgb(1), (Rgb{0x10, 11, 0x01}));
    EXPECT_EQ(frame.rgb(2), (Rgb{0x20, 22, 0x16}));
    EXPECT_EQ(frame.rgb(3), (Rgb{0xFF, 33, 0x21})) << "past the table: the last entry";

    // Descriptor 0 means 65536 entries; a table shorter than it reads 0.
    image.palette[0] = {0, 16, 0, red.data(), 6};
    EXPECT_EQ(frame_of(image).rgb(3).at(0), 0);
    image.palette[0].data = nullptr;
    EXPECT_EQ(frame_of(image).rgb(2).at(0), 0);
}

TEST(LoadDisplayImage, NamesEachFailure)
{
    auto picture = std::make_unique<DisplayPicture>();
    struct Case {
        std::string path;
        int frame;
        ImageStepResult result;
        const char* reason;
    };
    const Case cases[] = {
        {"/nonexistent/file.dcm", 0, ImageStepResult::OpenFailed,
         "The file cannot be read: No such file or directory."},
        {samples_dir, 0, ImageStepResult::OpenFailed, "The file cannot be read: Is a directory."},
        {samples_dir + "/rtplan.dcm", 0, ImageStepResult::NoPixelData, "The file holds no pixel data."},
        {samples_dir + "/rtstruct.dcm", 0, ImageStepResult::NoPixelData, "The file holds no pixel data."},
        {samples_dir + "/waveform_ecg.dcm", 0, ImageStepResult::NoPixelData, "The file holds no pixel data."},
        {samples_dir + "/rtdose.dcm", 15, ImageStepResult::FramePastEnd,
         "Frame 16 requested: the file holds 15 frames."},
        {samples_dir + "/MR_small_jpeg_ls_lossless.dcm", 1, ImageStepResult::FramePastEnd,
         "Frame 2 requested: the file holds 1 frame."},
    };
    for (const Case& c : cases) {
        FrameInfo info;
        image_failure failure;
        EXPECT_EQ(load_display_image(c.path.c_str(), c.frame, *picture, info, failure), c.result) << c.path;
        EXPECT_EQ(failure.message, c.reason) << c.path;
        if (c.result != ImageStepResult::NoPixelData) {
            EXPECT_EQ(image_step_box_text(c.result, failure),
                      std::string("DICOM Image Load Failed.!\n") + c.reason);
        }
    }
    EXPECT_STREQ(image_step_message(ImageStepResult::NoPixelData), "No image in this file");
    FrameInfo info;
    image_failure failure;
    EXPECT_EQ(load_display_image((samples_dir + "/rtdose.dcm").c_str(), 14, *picture, info, failure),
              ImageStepResult::Shown);
    EXPECT_FALSE(failure);
    EXPECT_EQ(info.count, 15);
    EXPECT_EQ(image_step_box_text(ImageStepResult::Shown, failure), "");
    // The system's reason for a file the user may not read (not reproducible
    // by a test run as root).
    EXPECT_EQ(image_failures::unreadable(EACCES).message, "The file cannot be read: Permission denied.");
    EXPECT_EQ(cannot_open_text(EACCES), "ファイルを開くことができません。\nPermission denied");
}
