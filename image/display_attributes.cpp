#include "image/display_attributes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint16_t item_group = 0xFFFE;
constexpr uint16_t item_element = 0xE000;

bool is_overlay_group(uint16_t group) { return group >= 0x6000 && group <= 0x601E && group % 2 == 0; }

// The components of a split-string value, blanks trimmed.
std::vector<std::string> texts_of(const ELEMENT& element, const void* value)
{
    std::vector<std::string> texts;
    if (!vr_is_split_string(element.vr)) {
        return texts;
    }
    const auto* components = static_cast<const char* const*>(value);
    for (uint32_t i = 0; i < element.vm; ++i) {
        std::string text = components[i];
        const std::size_t first = text.find_first_not_of(" \t");
        const std::size_t last = text.find_last_not_of(" \t");
        texts.push_back(first == std::string::npos ? std::string() : text.substr(first, last - first + 1));
    }
    return texts;
}

std::string first_text(const ELEMENT& element, const void* value)
{
    const std::vector<std::string> texts = texts_of(element, value);
    return texts.empty() ? std::string() : texts.front();
}

std::vector<double> numbers_of(const ELEMENT& element, const void* value)
{
    std::vector<double> numbers;
    for (const std::string& text : texts_of(element, value)) {
        numbers.push_back(std::strtod(text.c_str(), nullptr));
    }
    return numbers;
}

// 16-bit words of a binary value: as loaded for US, SS and OW (host order),
// little-endian pairs of bytes for anything else.
std::vector<uint16_t> words_of(const ELEMENT& element, const void* value)
{
    const std::size_t count = element.length / 2;
    std::vector<uint16_t> words(count);
    const auto* bytes = static_cast<const uint8_t*>(value);
    if (element.vr == VR_US || element.vr == VR_SS || element.vr == VR_OW) {
        std::memcpy(words.data(), bytes, count * 2);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            words[i] = static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        }
    }
    return words;
}

uint16_t first_word(const ELEMENT& element, const void* value)
{
    const std::vector<uint16_t> words = words_of(element, value);
    return words.empty() ? uint16_t{0} : words.front();
}

} // namespace

DisplayAttributeCollector::Sequence DisplayAttributeCollector::sequence_of(const ELEMENT& element) const
{
    if (element.sq_depth != 1 || element.sq_group != 0x0028) {
        return Sequence::none;
    }
    switch (element.sq_element) {
    case 0x3000: return Sequence::modality_lut;
    case 0x3010: return Sequence::voi_lut;
    default: return Sequence::none;
    }
}

LutItem* DisplayAttributeCollector::current_item(Sequence sequence)
{
    if (sequence == Sequence::modality_lut) {
        // The first item alone: later ones are not collected.
        return modality_items_ == 1 ? &*into_.modality_lut : nullptr;
    }
    return into_.voi_luts.empty() ? nullptr : &into_.voi_luts.back();
}

OverlayItem& DisplayAttributeCollector::overlay(uint16_t group)
{
    auto found = std::find_if(into_.overlays.begin(), into_.overlays.end(),
                              [&](const OverlayItem& item) { return item.group == group; });
    if (found != into_.overlays.end()) {
        return *found;
    }
    OverlayItem item;
    item.group = group;
    const auto place = std::find_if(into_.overlays.begin(), into_.overlays.end(),
                                    [&](const OverlayItem& other) { return other.group > group; });
    return *into_.overlays.insert(place, item);
}

std::optional<int32_t> DisplayAttributeCollector::wanted(const ELEMENT& element)
{
    const Sequence sequence = sequence_of(element);
    if (sequence != Sequence::none) {
        if (element.group == item_group && element.element == item_element) {
            if (sequence == Sequence::modality_lut) {
                if (++modality_items_ == 1) {
                    into_.modality_lut.emplace();
                }
            } else {
                into_.voi_luts.emplace_back();
            }
            return std::nullopt;
        }
        if (element.group != 0x0028 || current_item(sequence) == nullptr) {
            return std::nullopt;
        }
        switch (element.element) {
        case 0x3002: return VR_US;
        case 0x3003:
        case 0x3004: return VR_LO;
        case 0x3006: return VR_US;
        default: return std::nullopt;
        }
    }
    if (element.sq_depth != 0) {
        return std::nullopt;
    }
    if (is_overlay_group(element.group)) {
        switch (element.element) {
        case 0x0010:
        case 0x0011:
        case 0x0051:
        case 0x0100:
        case 0x0102: return VR_US;
        case 0x0015: return VR_IS;
        case 0x0022: return VR_LO;
        case 0x0040: return VR_CS;
        case 0x0050: return VR_SS;
        case 0x3000: return VR_OW;
        default: return std::nullopt;
        }
    }
    const uint32_t tag = uint32_t{element.group} << 16 | element.element;
    switch (tag) {
    case 0x00080060:
    case 0x00281056:
    case 0x20500020: return VR_CS;
    case 0x00281050:
    case 0x00281051: return VR_DS;
    case 0x00281054:
    case 0x00281055: return VR_LO;
    default: return std::nullopt;
    }
}

void DisplayAttributeCollector::store(const ELEMENT& element, void* value)
{
    if (value == nullptr) {
        return;
    }
    const Sequence sequence = sequence_of(element);
    if (sequence != Sequence::none) {
        if (LutItem* item = current_item(sequence)) {
            switch (element.element) {
            case 0x3002:
                item->descriptor = words_of(element, value);
                item->descriptor_signed = element.vr == VR_SS;
                break;
            case 0x3003: item->explanation = first_text(element, value); break;
            case 0x3004: item->type = first_text(element, value); break;
            case 0x3006: item->data = words_of(element, value); break;
            default: break;
            }
        }
    } else if (is_overlay_group(element.group)) {
        OverlayItem& item = overlay(element.group);
        switch (element.element) {
        case 0x0010: item.rows = first_word(element, value); break;
        case 0x0011: item.columns = first_word(element, value); break;
        case 0x0015:
            item.frames = static_cast<int32_t>(
                std::clamp(std::strtol(first_text(element, value).c_str(), nullptr, 10), -1L, 1L << 30));
            break;
        case 0x0022: item.description = first_text(element, value); break;
        case 0x0040: item.type = first_text(element, value); break;
        case 0x0050: {
            const std::vector<uint16_t> words = words_of(element, value);
            if (words.size() >= 2) {
                item.origin_row = static_cast<int16_t>(words[0]);
                item.origin_column = static_cast<int16_t>(words[1]);
            }
            break;
        }
        case 0x0051: item.first_frame = first_word(element, value); break;
        case 0x0100: item.bits_allocated = first_word(element, value); break;
        case 0x0102: item.bit_position = first_word(element, value); break;
        case 0x3000: {
            const auto* bytes = static_cast<const uint8_t*>(value);
            item.data.emplace(bytes, bytes + element.length);
            break;
        }
        default: break;
        }
    } else {
        switch (uint32_t{element.group} << 16 | element.element) {
        case 0x00080060: into_.modality = first_text(element, value); break;
        case 0x00281050: into_.window_centers = numbers_of(element, value); break;
        case 0x00281051: into_.window_widths = numbers_of(element, value); break;
        case 0x00281054: into_.rescale_type = first_text(element, value); break;
        case 0x00281055: into_.window_names = texts_of(element, value); break;
        case 0x00281056: into_.voi_lut_function = first_text(element, value); break;
        case 0x20500020: into_.presentation_lut_shape = first_text(element, value); break;
        default: break;
        }
    }
    std::free(value);
}
