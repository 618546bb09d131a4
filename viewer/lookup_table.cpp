#include "viewer/lookup_table.h"

#include <algorithm>
#include <cmath>

#include "image/display_attributes.h"

std::optional<LookupTable> LookupTable::of(const LutItem& item, bool signed_pixels, std::string& problem)
{
    if (item.descriptor.size() < 3) {
        problem = "its LUT Descriptor has " + std::to_string(item.descriptor.size()) + " values, not 3";
        return std::nullopt;
    }
    const std::size_t count = item.descriptor[0] == 0 ? 65536 : item.descriptor[0];
    const int bits = item.descriptor[2];
    if (bits < 8 || bits > 16) {
        problem = "its LUT Descriptor gives " + std::to_string(bits) + " bits per entry (8 to 16 are read)";
        return std::nullopt;
    }
    LookupTable table;
    table.bits_ = bits;
    const uint16_t first = item.descriptor[1];
    table.first_ = signed_pixels || item.descriptor_signed ? int64_t{static_cast<int16_t>(first)} : first;
    table.entries_.resize(count);
    const std::vector<uint16_t>& data = item.data;
    if (data.size() >= count) {
        const uint16_t mask = bits == 8 ? uint16_t{0xFF} : uint16_t{0xFFFF};
        for (std::size_t i = 0; i < count; ++i) {
            table.entries_[i] = static_cast<uint16_t>(data[i] & mask);
        }
    } else if (bits == 8 && data.size() * 2 >= count) {
        for (std::size_t i = 0; i < count; ++i) {
            table.entries_[i] = static_cast<uint16_t>(i % 2 == 0 ? data[i / 2] & 0xFF : data[i / 2] >> 8);
        }
    } else {
        problem = "its LUT Data holds " + std::to_string(data.size()) + " words for the " + std::to_string(count) +
                  " entries its LUT Descriptor announces";
        return std::nullopt;
    }
    return table;
}

uint16_t LookupTable::operator()(int64_t value) const
{
    const int64_t last = static_cast<int64_t>(entries_.size()) - 1;
    const int64_t index = std::clamp<int64_t>(value - first_, 0, last);
    return entries_[static_cast<std::size_t>(index)];
}

uint16_t LookupTable::operator()(double value) const
{
    if (std::isnan(value)) {
        return (*this)(int64_t{0});
    }
    const double floored = std::floor(std::clamp(value, -4e18, 4e18));
    return (*this)(static_cast<int64_t>(floored));
}

uint16_t LookupTable::lowest() const { return *std::min_element(entries_.begin(), entries_.end()); }

uint16_t LookupTable::highest() const { return *std::max_element(entries_.begin(), entries_.end()); }
