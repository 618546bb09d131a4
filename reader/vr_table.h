// The reader's VR lookup table: which tags are sequences (SQ); every other
// tag is answered UN by the catch-all entry.
#pragma once

#include <cstdint>

#include "reader/vr.h"

struct VrTableEntry {
    uint16_t group_first;
    uint16_t group_last;
    int32_t group_parity; // 0 even only, 1 odd only, anything else both
    uint16_t element_first;
    uint16_t element_last;
    int32_t element_parity;
    int32_t vr;
    const char* name;
};

// 303 sequence entries followed by the catch-all (group_first 0xFFFF, VR UN).
extern const VrTableEntry* const vr_lookup_table;

// The first entry matching tag[0] (group) and tag[1] (element), the catch-all
// when none matches, or null (with an error logged) when an argument is missing.
const VrTableEntry* dicom_private(const VrTableEntry* dictionary, const uint16_t* tag);
