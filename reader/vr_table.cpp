// Lookup of a tag in the VR lookup table: ranges of groups and elements with
// an even/odd/both rule for each, searched in order down to the catch-all.
#include "reader/vr_table.h"

#include "base/log.h"

namespace {

bool parity_matches(uint16_t number, int32_t parity)
{
    switch (parity) {
    case 0: return number % 2 == 0;
    case 1: return number % 2 == 1;
    default: return true;
    }
}

bool entry_matches(const VrTableEntry& entry, uint16_t group, uint16_t element)
{
    return entry.group_first <= group && group <= entry.group_last && parity_matches(group, entry.group_parity) &&
           entry.element_first <= element && element <= entry.element_last &&
           parity_matches(element, entry.element_parity);
}

} // namespace

const VrTableEntry* dicom_private(const VrTableEntry* dictionary, const uint16_t* tag)
{
    dicom_log(LogLevel::debug, "dicom_private()");
    if (dictionary == nullptr) {
        dicom_log(LogLevel::error, "No dictionary given");
        return nullptr;
    }
    if (tag == nullptr) {
        dicom_log(LogLevel::error, "No element given");
        return nullptr;
    }
    for (const VrTableEntry* entry = dictionary;; ++entry) {
        if (entry->group_first == 0xFFFF || entry_matches(*entry, tag[0], tag[1])) {
            return entry;
        }
    }
}
