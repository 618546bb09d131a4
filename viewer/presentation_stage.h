// The presentation stage: whether the display levels are inverted (level
// 255 - i). MONOCHROME1 inverts, as does Presentation LUT Shape (2050,0020)
// INVERSE, and so does the viewer's Invert; any two of them cancel.
#pragma once

#include <string>

struct PresentationStage {
    bool monochrome1 = false;
    std::string shape; // (2050,0020): IDENTITY, INVERSE or empty

    // Whether the file itself asks for inverted levels.
    bool file_inverts() const { return monochrome1 != (shape == "INVERSE"); }
    bool inverts(bool user_invert) const { return file_inverts() != user_invert; }
};
