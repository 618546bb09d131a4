// The built-in data dictionary: 719 tags with their VR and description.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vr.h"

struct DictEntry {
    uint32_t group;
    uint32_t element;
    int32_t vr;
    const char* description;
};

// The entries in table order, followed by an end mark whose fields are all 0.
extern const DictEntry* const data_dictionary;
extern const std::size_t data_dictionary_size; // entries before the end mark

// The table's entry for (group, element), or null when the table lacks it.
const DictEntry* dictionary_find(uint16_t group, uint16_t element);

// The table's entry for (group, element), or, for a tag the table lacks, an
// entry made of the tag, the VR read from the file (0 when the file gives
// none) and the registry's name for the tag (see dictionary_names.h), or
// "Unknown" when it has none.
DictEntry dictionary_lookup(uint16_t group, uint16_t element, int32_t file_vr);
