// The header attributes the image view needs for the values under the cursor
// and for distances, as plain numbers and strings, and their reading from a
// file's header (up to its pixel data).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One item of the Sequence of Ultrasound Regions (0018,6011), as the file
// gives it; whether it can measure is measurement.h's business.
struct UltrasoundRegion {
    uint32_t min_x = 0; // Region Location Min X0 (0018,6018), a column
    uint32_t min_y = 0; // Region Location Min Y0 (0018,601A), a row
    uint32_t max_x = 0; // Region Location Max X1 (0018,601C)
    uint32_t max_y = 0; // Region Location Max Y1 (0018,601E)
    int units_x = 0;    // Physical Units X Direction (0018,6024): 3 is cm
    int units_y = 0;    // Physical Units Y Direction (0018,6026)
    double delta_x = 0; // Physical Delta X (0018,602C): units per column
    double delta_y = 0; // Physical Delta Y (0018,602E): units per row
};

struct ViewAttributes {
    std::string modality;                                      // (0008,0060)
    std::optional<std::array<double, 2>> pixel_spacing;        // (0028,0030): row spacing, column spacing, mm
    std::optional<std::array<double, 2>> imager_pixel_spacing; // (0018,1164): the same at the detector
    std::string pixel_spacing_calibration_type;                // (0028,0A02)
    std::optional<double> magnification_factor;          // (0018,1114) Estimated Radiographic Magnification Factor
    std::vector<UltrasoundRegion> ultrasound_regions;    // (0018,6011)
    double rescale_slope = 1.0;                          // (0028,1053)
    double rescale_intercept = 0.0;                      // (0028,1052)
    std::string rescale_type;                            // (0028,1054)
    std::string modality_lut_type;                       // (0028,3004) in (0028,3000)
    std::optional<std::array<double, 3>> image_position; // (0020,0032), mm
    std::optional<std::array<double, 6>> image_orientation; // (0020,0037): row then column direction cosines
    std::optional<double> frame_time;                       // (0018,1063), ms
    std::optional<double> cine_rate;                        // (0018,0040), frames a second
    std::optional<double> recommended_frame_rate;           // (0008,2144) Recommended Display Frame Rate
};

struct ViewAttributesRead {
    ViewAttributes attributes; // what the header gave, up to where it could be read
    std::string problem;       // empty, or why the header could not be read (wholly or to its end)
};

// Reads the attributes from the file's header, up to its pixel data. Values
// that cannot be parsed are left as absent (the defaults above).
ViewAttributesRead read_view_attributes(const std::string& path);
