// Names of the DICOM registry's public tags that the 719-entry table lacks,
// generated into dictionary_names.cpp by scripts/make_dictionary_names.py.
// They give a tag its description only: its VR stays the one the file gives.
#pragma once

#include <cstddef>
#include <cstdint>

struct TagName {
    uint32_t tag; // group in the high 16 bits
    const char* name;
};

// A repeating group or element: tags with (tag & mask) == value.
struct MaskedTagName {
    uint32_t value;
    uint32_t mask;
    const char* name;
};

extern const TagName tag_names[]; // ascending by tag
extern const std::size_t tag_names_size;
extern const MaskedTagName masked_tag_names[];
extern const std::size_t masked_tag_names_size;

// The registry's name for a tag the 719-entry table lacks, or null (private
// tags, odd groups and tags the registry does not list).
const char* registry_name(uint16_t group, uint16_t element);
