// The values under the cursor, on real files and on frames made here. The
// expected figures of the real files were taken from pydicom once (its
// pixel_array and the attributes it reads, the patient coordinate computed
// from them with numpy) and are kept here as constants.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "image/single.h"
#include "view/readout.h"

namespace {

const std::string files = VELMOR_PYDICOM_FILES;

// The stored values of a one-frame 16-bit signed gray file.
std::vector<int32_t> signed_16_bit_samples(const std::string& path)
{
    ImageSource source;
    EXPECT_FALSE(source.open(path));
    const single_image* image = source.image();
    if (image == nullptr) {
        ADD_FAILURE() << path;
        return {};
    }
    EXPECT_EQ(image->bits_allocated, 16);
    EXPECT_EQ(image->pixel_representation, 1);
    std::vector<int32_t> samples(image->pixel_bytes / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        int16_t value;
        std::memcpy(&value, image->pixels + 2 * i, 2);
        samples[i] = value;
    }
    return samples;
}

void expect_position(const std::optional<std::array<double, 3>>& p, double x, double y, double z)
{
    ASSERT_TRUE(p.has_value());
    EXPECT_NEAR((*p)[0], x, 1e-6);
    EXPECT_NEAR((*p)[1], y, 1e-6);
    EXPECT_NEAR((*p)[2], z, 1e-6);
}

} // namespace

TEST(Readout, CtSmallGivesTheStoredValueItsHounsfieldValueAndItsPlace)
{
    const std::string path = files + "/CT_small.dcm";
    const ViewAttributesRead read = read_view_attributes(path);
    ASSERT_EQ(read.problem, "");
    const ViewAttributes& a = read.attributes;
    EXPECT_EQ(a.modality, "CT");
    EXPECT_DOUBLE_EQ(a.rescale_slope, 1.0);
    EXPECT_DOUBLE_EQ(a.rescale_intercept, -1024.0);

    const std::vector<int32_t> samples = signed_16_bit_samples(path);
    ASSERT_EQ(samples.size(), 128U * 128U);
    const StoredFrame frame = stored_frame(samples, 128, 128);
    // Anywhere inside pixel (120, 88): pydicom's pixel_array[88, 120] is 998.
    for (const FramePoint p : {FramePoint{120.0, 88.0}, FramePoint{120.99, 88.5}}) {
        const std::optional<Readout> r = read_out(frame, a, p, 1);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->column, 120);
        EXPECT_EQ(r->row, 88);
        EXPECT_EQ(r->stored, std::vector<int64_t>{998});
        EXPECT_EQ(r->value, 998.0 * 1 - 1024);
        EXPECT_EQ(r->unit, "HU");
        expect_position(r->patient, -78.759643, -120.826613, -75.699997);
        EXPECT_EQ(readout_text(*r), "x 120  y 88   stored 998   -26 HU   (-78.8, -120.8, -75.7) mm   frame 1");
    }
    for (const FramePoint outside : {FramePoint{-0.01, 5}, FramePoint{128, 5}, FramePoint{5, 128},
                                     FramePoint{std::numeric_limits<double>::quiet_NaN(), 1}}) {
        EXPECT_FALSE(read_out(frame, a, outside, 1).has_value());
    }
}

TEST(Readout, PatientCoordinateOfAnObliqueSliceAndOfNonSquarePixels)
{
    // A slice tilted about x (orientation 1\0\0\0\0.9272\-0.3746).
    const ViewAttributesRead read = read_view_attributes(files + "/J2K_pixelrep_mismatch.dcm");
    ASSERT_EQ(read.problem, "");
    expect_position(patient_position(read.attributes, 37, 201), -94.2683, -17.8655368, 39.6926274);

    // Row spacing first: rows 2 mm apart, columns 0.5 mm.
    ViewAttributes a;
    a.image_position = {{10, 20, 30}};
    a.image_orientation = {{0, 1, 0, 0, 0, -1}}; // a sagittal slice
    a.pixel_spacing = {{2.0, 0.5}};
    expect_position(patient_position(a, 10, 4), 10, 25, 22);
    a.pixel_spacing.reset();
    EXPECT_FALSE(patient_position(a, 10, 4).has_value());
}

TEST(Readout, ModalityValueUnitsColourAndMissingPixels)
{
    const std::vector<int32_t> gray = {-5, 7, 1000, 4};
    const StoredFrame frame = stored_frame(gray, 2, 2);
    ViewAttributes a;
    a.modality = "PT";
    a.rescale_slope = 0.5;
    a.rescale_intercept = 0.25;
    a.rescale_type = "BQML";
    std::optional<Readout> r = read_out(frame, a, {1.5, 0.5}, 3);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(readout_text(*r), "x 1  y 0   stored 7   3.75 BQML   frame 3");

    a.rescale_type = "US"; // unspecified: no unit
    r = read_out(frame, a, {0, 0}, 0);
    EXPECT_EQ(readout_text(*r), "x 0  y 0   stored -5   value -2.25");

    // A Modality LUT is used in place of the rescale, with its own type.
    a.modality_lut_type = "OD";
    r = read_out(frame, a, {0, 1}, 0, [](int64_t stored) { return static_cast<double>(stored) / 100; });
    EXPECT_EQ(readout_text(*r), "x 0  y 1   stored 1000   10 OD");
    a.modality = "CT";
    EXPECT_EQ(read_out(frame, a, {0, 1}, 0, [](int64_t) { return 40.0; })->unit, "HU");

    // Colour: three stored values, no modality value.
    const std::vector<int32_t> rgb = {1, 2, 3, 250, 251, 252};
    r = read_out(stored_frame(rgb, 2, 1, 3), a, {1, 0}, 2);
    EXPECT_EQ(r->stored, (std::vector<int64_t>{250, 251, 252}));
    EXPECT_FALSE(r->value.has_value());
    EXPECT_EQ(readout_text(*r), "x 1  y 0   stored 250, 251, 252   frame 2");

    // A frame cut short holds no value past its end.
    const std::vector<int32_t> short_frame = {1, 2, 3};
    r = read_out(stored_frame(short_frame, 2, 2), a, {1, 1}, 1);
    EXPECT_TRUE(r->stored.empty());
    EXPECT_FALSE(r->value.has_value());
    EXPECT_EQ(readout_text(*r), "x 1  y 1   no value   frame 1");
}
