#include "view/view_attributes.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "reader/dicom_reader.h"
#include "view/number_text.h"

namespace {

constexpr uint32_t tag_of(uint16_t group, uint16_t element) { return (uint32_t{group} << 16) | element; }

constexpr uint32_t modality_lut_sequence = tag_of(0x0028, 0x3000);
constexpr uint32_t ultrasound_regions_sequence = tag_of(0x0018, 0x6011);
constexpr uint32_t item_tag = tag_of(0xFFFE, 0xE000);
// Longer values are none of ours: they are passed over unread.
constexpr uint32_t longest_value = 1024;

// The loaded value as the file holds it, a split string's values joined by
// backslashes again, blanks and NULs trimmed at both ends.
std::string value_text(const ELEMENT& e)
{
    std::string text;
    if (vr_is_split_string(e.vr)) {
        const auto* const* slots = static_cast<const char* const*>(e.value);
        for (uint32_t i = 0; i < e.vm; ++i) {
            if (i > 0) {
                text.push_back('\\');
            }
            text += slots[i];
        }
    } else {
        text.assign(static_cast<const char*>(e.value), e.length);
    }
    const std::size_t first = text.find_first_not_of(std::string_view(" \0", 2));
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(std::string_view(" \0", 2));
    return text.substr(first, last - first + 1);
}

// The first value of a binary or decimal-string element.
std::optional<double> first_number(const ELEMENT& e)
{
    const auto read = [&e]<typename T>(T) -> std::optional<double> {
        if (e.length < sizeof(T)) {
            return std::nullopt;
        }
        T value;
        std::memcpy(&value, e.value, sizeof(T));
        return static_cast<double>(value);
    };
    switch (e.vr) {
    case VR_US: return read(uint16_t{});
    case VR_SS: return read(int16_t{});
    case VR_UL: return read(uint32_t{});
    case VR_SL: return read(int32_t{});
    case VR_FL: return read(float{});
    case VR_FD: return read(double{});
    case VR_DS:
    case VR_IS: {
        const auto values = decimal_values(value_text(e));
        if (values && !values->empty()) {
            return values->front();
        }
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

template <std::size_t N>
std::optional<std::array<double, N>> decimal_array(const ELEMENT& e)
{
    const auto values = decimal_values(value_text(e));
    if (!values || values->size() != N) {
        return std::nullopt;
    }
    std::array<double, N> out{};
    std::copy(values->begin(), values->end(), out.begin());
    return out;
}

std::optional<uint32_t> region_bound(const ELEMENT& e)
{
    const std::optional<double> n = first_number(e);
    if (!n || !(*n >= 0.0) || *n > std::numeric_limits<uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(*n);
}

void take_top_level(ViewAttributes& a, const ELEMENT& e)
{
    switch (tag_of(e.group, e.element)) {
    case tag_of(0x0008, 0x0060): a.modality = value_text(e); break;
    case tag_of(0x0028, 0x0030): a.pixel_spacing = decimal_array<2>(e); break;
    case tag_of(0x0018, 0x1164): a.imager_pixel_spacing = decimal_array<2>(e); break;
    case tag_of(0x0028, 0x0A02): a.pixel_spacing_calibration_type = value_text(e); break;
    case tag_of(0x0018, 0x1114): a.magnification_factor = first_number(e); break;
    case tag_of(0x0028, 0x1053): a.rescale_slope = first_number(e).value_or(1.0); break;
    case tag_of(0x0028, 0x1052): a.rescale_intercept = first_number(e).value_or(0.0); break;
    case tag_of(0x0028, 0x1054): a.rescale_type = value_text(e); break;
    case tag_of(0x0020, 0x0032): a.image_position = decimal_array<3>(e); break;
    case tag_of(0x0020, 0x0037): a.image_orientation = decimal_array<6>(e); break;
    case tag_of(0x0018, 0x1063): a.frame_time = first_number(e); break;
    case tag_of(0x0018, 0x0040): a.cine_rate = first_number(e); break;
    case tag_of(0x0008, 0x2144): a.recommended_frame_rate = first_number(e); break;
    default: break;
    }
}

void take_region_field(UltrasoundRegion& r, const ELEMENT& e)
{
    const auto bound = [&e](uint32_t& field) {
        if (const auto n = region_bound(e)) {
            field = *n;
        }
    };
    const auto units = [&e](int& field) {
        if (const auto n = first_number(e); n && *n >= 0.0 && *n <= 0xFFFF) {
            field = static_cast<int>(*n);
        }
    };
    const auto delta = [&e](double& field) {
        if (const auto n = first_number(e); n && std::isfinite(*n)) {
            field = *n;
        }
    };
    switch (tag_of(e.group, e.element)) {
    case tag_of(0x0018, 0x6018): bound(r.min_x); break;
    case tag_of(0x0018, 0x601A): bound(r.min_y); break;
    case tag_of(0x0018, 0x601C): bound(r.max_x); break;
    case tag_of(0x0018, 0x601E): bound(r.max_y); break;
    case tag_of(0x0018, 0x6024): units(r.units_x); break;
    case tag_of(0x0018, 0x6026): units(r.units_y); break;
    case tag_of(0x0018, 0x602C): delta(r.delta_x); break;
    case tag_of(0x0018, 0x602E): delta(r.delta_y); break;
    default: break;
    }
}

// The VR to read a value in when the file gives none.
int32_t expected_vr(uint32_t tag)
{
    switch (tag) {
    case tag_of(0x0008, 0x0060):
    case tag_of(0x0028, 0x0A02):
    case tag_of(0x0028, 0x3004): return VR_CS;
    case tag_of(0x0028, 0x1054): return VR_LO;
    case tag_of(0x0018, 0x6018):
    case tag_of(0x0018, 0x601A):
    case tag_of(0x0018, 0x601C):
    case tag_of(0x0018, 0x601E): return VR_UL;
    case tag_of(0x0018, 0x6024):
    case tag_of(0x0018, 0x6026): return VR_US;
    case tag_of(0x0018, 0x602C):
    case tag_of(0x0018, 0x602E): return VR_FD;
    default: return VR_DS;
    }
}

// Where an element stands: the sequences around it, outermost first.
class SequencePath {
public:
    // Follows the reader to the element `e` and returns the innermost
    // sequence around it (0 at the top level).
    uint32_t enter(const ELEMENT& e)
    {
        const std::size_t depth = e.sq_depth;
        if (open_.size() > depth) {
            open_.resize(depth);
        }
        while (open_.size() < depth) {
            open_.push_back(0); // a level the walk did not see open: unknown
        }
        if (depth > 0) {
            open_.back() = tag_of(e.sq_group, e.sq_element);
        }
        return depth == 0 ? 0 : open_.back();
    }
    // The element is a sequence the reader opened a level for.
    void opened(const ELEMENT& e) { open_.push_back(tag_of(e.group, e.element)); }
    std::size_t depth() const { return open_.size(); }

private:
    std::vector<uint32_t> open_;
};

// The elements worth loading: at the top level, in a Modality LUT item and
// in an ultrasound region item.
bool wanted(uint32_t tag, std::size_t depth, uint32_t sequence)
{
    if (depth == 0) {
        switch (tag) {
        case tag_of(0x0008, 0x0060):
        case tag_of(0x0028, 0x0030):
        case tag_of(0x0018, 0x1164):
        case tag_of(0x0028, 0x0A02):
        case tag_of(0x0018, 0x1114):
        case tag_of(0x0028, 0x1053):
        case tag_of(0x0028, 0x1052):
        case tag_of(0x0028, 0x1054):
        case tag_of(0x0020, 0x0032):
        case tag_of(0x0020, 0x0037):
        case tag_of(0x0018, 0x1063):
        case tag_of(0x0018, 0x0040):
        case tag_of(0x0008, 0x2144): return true;
        default: return false;
        }
    }
    if (depth != 1) {
        return false;
    }
    if (sequence == modality_lut_sequence) {
        return tag == tag_of(0x0028, 0x3004);
    }
    return sequence == ultrasound_regions_sequence && (tag >> 16) == 0x0018 && (tag & 0xFFFF) >= 0x6018 &&
           (tag & 0xFFFF) <= 0x602E;
}

} // namespace

ViewAttributesRead read_view_attributes(const std::string& path)
{
    ViewAttributesRead result;
    DicomReader reader;
    const int opened = reader.open(path.c_str());
    if (opened != 0) {
        result.problem = opened == -4   ? std::string("cannot open: ") + std::strerror(errno)
                         : opened == -5 ? "not DICOM"
                                        : "cannot be inflated";
        return result;
    }
    ViewAttributes& a = result.attributes;
    SequencePath where;
    while (const ELEMENT* e = reader.element()) {
        const uint32_t tag = tag_of(e->group, e->element);
        const uint32_t sequence = where.enter(*e);
        const std::size_t depth = where.depth();
        if (tag == tag_of(0x7FE0, 0x0010) && depth == 0) {
            break;
        }
        if (e->vr == VR_SQ && e->sq_depth < 255) {
            where.opened(*e);
        }
        if (tag == item_tag && depth == 1 && sequence == ultrasound_regions_sequence) {
            a.ultrasound_regions.emplace_back();
        }
        const bool load = wanted(tag, depth, sequence) && e->length != UNDEFINED_LENGTH &&
                          e->length <= longest_value && e->vr != VR_SQ;
        if (!load) {
            if (reader.skip() != 0) {
                break;
            }
            continue;
        }
        ELEMENT& record = reader.record();
        record.value = nullptr;
        if (reader.load(expected_vr(tag)) != 0) {
            std::free(record.value);
            record.value = nullptr;
            break;
        }
        if (record.value != nullptr) {
            if (depth == 0) {
                take_top_level(a, record);
            } else if (sequence == modality_lut_sequence) {
                a.modality_lut_type = value_text(record);
            } else if (!a.ultrasound_regions.empty()) {
                take_region_field(a.ultrasound_regions.back(), record);
            }
            std::free(record.value);
            record.value = nullptr;
        }
    }
    switch (reader.state().failure) {
    case 0: break;
    case -3: result.problem = "broken: no memory"; break;
    default: result.problem = "broken: the header ends inside an element"; break;
    }
    return result;
}
