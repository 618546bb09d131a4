// Distances and their units, from attributes set here and from headers read
// back from files.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/common/dicom_bytes.h"
#include "tests/common/test_temp_dir.h"
#include "view/measurement.h"

using test_dicom::DicomBytes;

namespace {

// A ruler 100 image pixels long, across or down.
constexpr FramePoint ruler_start{20.5, 30.5};
constexpr FramePoint across_end{120.5, 30.5};
constexpr FramePoint down_end{20.5, 130.5};

std::string across(const ViewAttributes& a) { return distance_text(measure_distance(a, ruler_start, across_end)); }

ViewAttributes with_modality(const char* modality)
{
    ViewAttributes a;
    a.modality = modality;
    return a;
}

} // namespace

TEST(Measurement, PixelSpacingGivesMillimetresRowSpacingFirst)
{
    ViewAttributes a = with_modality("CT");
    a.pixel_spacing = {{0.5, 0.5}};
    EXPECT_EQ(across(a), "50.0 mm");

    a.pixel_spacing = {{0.5, 0.25}}; // rows 0.5 mm apart, columns 0.25 mm
    EXPECT_EQ(across(a), "25.0 mm");
    EXPECT_EQ(distance_text(measure_distance(a, ruler_start, down_end)), "50.0 mm");
    const Distance diagonal = measure_distance(a, {0, 0}, {3, 4});
    EXPECT_DOUBLE_EQ(diagonal.length, std::hypot(3 * 0.25, 4 * 0.5));

    // Nothing usable: image pixels.
    EXPECT_EQ(across(with_modality("OT")), "100.0 px");
    a.pixel_spacing = {{0.0, 0.5}};
    EXPECT_EQ(across(a), "100.0 px");
    EXPECT_EQ(distance_text(measure_distance(a, {0, 0}, {3, 4})), "5.0 px");
}

TEST(Measurement, DetectorSpacingAndMagnification)
{
    // Only Imager Pixel Spacing: at the detector, or corrected by the factor.
    ViewAttributes a = with_modality("DX");
    a.imager_pixel_spacing = {{0.5, 0.5}};
    EXPECT_EQ(across(a), "50.0 mm (at detector)");
    a.magnification_factor = 1.25;
    EXPECT_EQ(across(a), "40.0 mm (magnification corrected)");
    a.magnification_factor = 0.0; // not a factor
    EXPECT_EQ(across(a), "50.0 mm (at detector)");

    // Projection radiography whose Pixel Spacing is the detector's.
    for (const char* modality : {"CR", "DX", "MG", "IO", "XA", "RF"}) {
        ViewAttributes p = with_modality(modality);
        p.pixel_spacing = {{0.1, 0.1}};
        p.imager_pixel_spacing = {{0.1, 0.1}};
        EXPECT_EQ(across(p), "10.0 mm (at detector)") << modality;
        p.pixel_spacing_calibration_type = "GEOMETRY";
        EXPECT_EQ(across(p), "10.0 mm") << modality;
    }
    // Calibrated by differing from the detector's, or not projection radiography.
    ViewAttributes calibrated = with_modality("CR");
    calibrated.pixel_spacing = {{0.08, 0.08}};
    calibrated.imager_pixel_spacing = {{0.1, 0.1}};
    EXPECT_EQ(across(calibrated), "8.0 mm");
    ViewAttributes ct = with_modality("CT");
    ct.pixel_spacing = ct.imager_pixel_spacing = {{0.1, 0.1}};
    EXPECT_EQ(across(ct), "10.0 mm");
}

TEST(Measurement, UltrasoundRegionInCentimetres)
{
    ViewAttributes a = with_modality("US");
    a.ultrasound_regions.push_back({0, 0, 9, 9, 3, 3, 0.5, 0.5});         // a small region first
    a.ultrasound_regions.push_back({10, 20, 300, 200, 3, 3, 0.02, 0.01}); // cm per column, per row
    a.ultrasound_regions.push_back({0, 0, 400, 400, 4, 4, 0.1, 0.1});     // seconds: not a distance
    EXPECT_EQ(across(a), "20.0 mm");
    EXPECT_EQ(distance_text(measure_distance(a, ruler_start, down_end)), "10.0 mm");
    // One end outside the region: no unit it justifies.
    EXPECT_EQ(distance_text(measure_distance(a, {5, 30}, {105, 30})), "100.0 px");
    a.pixel_spacing = {{0.3, 0.3}};
    EXPECT_EQ(distance_text(measure_distance(a, {5, 30}, {105, 30})), "30.0 mm");
}

// Headers pydicom wrote (the fuzz target's seeds): ultrasound regions in
// both byte orders, a mammogram in implicit VR.
TEST(Measurement, HeadersAreReadUpToThePixelData)
{
    const std::string seeds = VELMOR_REGRESSIONS "/view_attributes/";
    for (const char* name : {"ultrasound-regions-explicit-le", "ultrasound-regions-big-endian"}) {
        SCOPED_TRACE(name);
        const ViewAttributesRead read = read_view_attributes(seeds + name);
        ASSERT_EQ(read.problem, "");
        ASSERT_EQ(read.attributes.ultrasound_regions.size(), 2U);
        const UltrasoundRegion& region = read.attributes.ultrasound_regions[1];
        EXPECT_EQ(region.max_x, 300U);
        EXPECT_EQ(region.min_y, 20U);
        EXPECT_DOUBLE_EQ(region.delta_y, 0.01);
        EXPECT_EQ(across(read.attributes), "20.0 mm");
    }
    const ViewAttributesRead mammogram = read_view_attributes(seeds + "mammogram-detector-spacing-implicit");
    EXPECT_EQ(mammogram.attributes.modality_lut_type, "OD");
    EXPECT_DOUBLE_EQ(mammogram.attributes.rescale_intercept, -1024.0);
    EXPECT_EQ(across(mammogram.attributes), "4.0 mm (magnification corrected)");

    // Values with blanks and signs; nothing after the pixel data is read.
    DicomBytes cr = DicomBytes::file("1.2.840.10008.1.2.1");
    cr.text(0x0008, 0x0060, "CS", "CR").text(0x0018, 0x1164, "DS", " 0.5\\+0.5 ");
    cr.header(0x7FE0, 0x0010, "OW", 4).raw("\x01\x02\x03\x04");
    cr.text(0x0028, 0x0030, "DS", "0.1\\0.1");
    EXPECT_EQ(across(read_view_attributes(write_temp("cr.dcm", cr.bytes())).attributes), "50.0 mm (at detector)");

    // A file that is missing or breaks off says so, keeping what came before.
    const ViewAttributesRead missing = read_view_attributes(test_temp_path("none.dcm"));
    EXPECT_EQ(missing.problem.rfind("cannot open", 0), 0U) << missing.problem;
    DicomBytes cut = DicomBytes::file("1.2.840.10008.1.2.1");
    cut.text(0x0008, 0x0060, "CS", "CR").header(0x0028, 0x0030, "DS", 200).raw("0.5\\0.5");
    const ViewAttributesRead broken = read_view_attributes(write_temp("cut.dcm", cut.bytes()));
    EXPECT_EQ(broken.attributes.modality, "CR");
    EXPECT_FALSE(broken.attributes.pixel_spacing.has_value());
    EXPECT_EQ(broken.problem, "broken: the header ends inside an element");
}
