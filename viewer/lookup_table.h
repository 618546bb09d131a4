// A Modality or VOI lookup table from its LUT Descriptor and LUT Data:
// entries (0 meaning 65536), the first value mapped (signed for signed
// pixels or an SS descriptor), bits per entry; data one entry a 16-bit word,
// or 8-bit entries two a word (the first in the low byte) when the data
// holds too few words for one a word. Values below the first mapped take
// the first entry, values past the last the last entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct LutItem;

class LookupTable {
public:
    // The table of `item`, or nothing with `problem` saying why (a
    // descriptor without three values, bits per entry outside 8 to 16, data
    // shorter than the entries announced).
    static std::optional<LookupTable> of(const LutItem& item, bool signed_pixels, std::string& problem);

    // The entry for `value` (already the table's input: a stored or a
    // modality value), the input floored to an integer.
    uint16_t operator()(double value) const;
    uint16_t operator()(int64_t value) const;

    int bits() const { return bits_; }
    // 2^bits - 1: the top of the output range.
    uint32_t output_top() const { return (uint32_t{1} << bits_) - 1; }
    int64_t first_mapped() const { return first_; }
    std::size_t entries() const { return entries_.size(); }
    // The lowest and highest entry.
    uint16_t lowest() const;
    uint16_t highest() const;

private:
    std::vector<uint16_t> entries_;
    int64_t first_ = 0;
    int bits_ = 16;
};
