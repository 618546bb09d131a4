// The DICOM registry's VR of each public tag, generated into
// dictionary_vrs.cpp by scripts/make_dictionary_names.py: the VR a file without
// explicit VRs takes for a tag the 719-entry table lacks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reader/vr.h"

// "US or SS": US, or SS when the pixel data's samples are signed.
constexpr int32_t VR_XS = vr_code('X', 'S');

struct TagVr {
    uint32_t tag; // group in the high 16 bits
    int32_t vr;   // VR_OX for OB or OW, VR_XS for US or SS, else the first of those given
};

// A repeating group or element: tags with (tag & mask) == value.
struct MaskedTagVr {
    uint32_t value;
    uint32_t mask;
    int32_t vr;
};

extern const TagVr tag_vrs[]; // ascending by tag
extern const std::size_t tag_vrs_size;
extern const MaskedTagVr masked_tag_vrs[]; // fewest wildcards first
extern const std::size_t masked_tag_vrs_size;

// The registry's VR of a tag, or VR_NONE for private tags, odd groups, items
// and delimiters, and tags the registry does not list.
int32_t registry_vr(uint32_t tag);
