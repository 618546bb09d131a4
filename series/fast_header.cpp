#include "series/fast_header.h"

#include <cstring>
#include <string>

#include "reader/dicom.h"
#include "reader/vr.h"
#include "reader/vr_table.h"

namespace {

constexpr uint32_t item_tag = 0xFFFEE000;
constexpr uint32_t item_end_tag = 0xFFFEE00D;
constexpr uint32_t sequence_end_tag = 0xFFFEE0DD;
constexpr uint32_t pixel_data_tag = 0x7FE00010;
// Deeper nesting is left to the reader.
constexpr int most_depth = 16;

bool known_vr(int32_t vr)
{
    switch (vr) {
    case VR_AE:
    case VR_AS:
    case VR_AT:
    case VR_CS:
    case VR_DA:
    case VR_DS:
    case VR_DT:
    case VR_FD:
    case VR_FL:
    case VR_IS:
    case VR_LO:
    case VR_LT:
    case VR_OB:
    case VR_OD:
    case VR_OF:
    case VR_OL:
    case VR_OV:
    case VR_OW:
    case VR_PN:
    case VR_SH:
    case VR_SL:
    case VR_SQ:
    case VR_SS:
    case VR_ST:
    case VR_SV:
    case VR_TM:
    case VR_UC:
    case VR_UI:
    case VR_UL:
    case VR_UN:
    case VR_UR:
    case VR_US:
    case VR_UT:
    case VR_UV: return true;
    default: return false;
    }
}

class Walker {
public:
    Walker(std::string_view bytes, int64_t file_size) : bytes_(bytes), file_size_(file_size) {}

    FastHeader run(const std::function<bool(uint32_t)>& wanted,
                   const std::function<void(uint32_t, int32_t, std::string_view)>& take)
    {
        if (file_size_ < 132 || bytes_.size() < 132) {
            return {};
        }
        if (std::memcmp(bytes_.data() + 128, "DICM", 4) != 0) {
            return {};
        }
        at_ = 132;
        // The meta group: explicit VR little endian, up to the first element of another group.
        std::string syntax;
        bool any = false;
        for (;;) {
            if (!has(8)) {
                return more();
            }
            if (u16(at_) != 0x0002) {
                break;
            }
            Element e;
            if (!header(e, true)) {
                return status_;
            }
            if (e.length == UNDEFINED_LENGTH || !has(e.length)) {
                return e.length == UNDEFINED_LENGTH ? FastHeader{} : more();
            }
            if (e.tag == 0x00020010) {
                syntax.assign(bytes_.data() + at_, e.length);
            }
            at_ += e.length;
            any = true;
        }
        while (!syntax.empty() && (syntax.back() == '\0' || syntax.back() == ' ')) {
            syntax.pop_back();
        }
        if (!any) {
            return {};
        }
        if (syntax == "1.2.840.10008.1.2") {
            explicit_ = false;
        } else if (!(syntax == "1.2.840.10008.1.2.1" || syntax.rfind("1.2.840.10008.1.2.4.", 0) == 0 ||
                     syntax == "1.2.840.10008.1.2.5")) {
            return {}; // big endian, deflated, or a syntax the reader judges
        }
        for (;;) {
            if (!has(8)) {
                return more();
            }
            Element e;
            if (!header(e, explicit_)) {
                return status_;
            }
            if (e.tag == pixel_data_tag) {
                return {FastHeaderStatus::read, static_cast<int64_t>(at_), e.length};
            }
            if ((e.tag >> 16) == 0xFFFE) {
                return {}; // a delimiter at the top: the reader's to judge
            }
            if (e.length == UNDEFINED_LENGTH) {
                if (!(e.vr == VR_SQ || (!explicit_ && e.vr != VR_OB && e.vr != VR_OW)) || !skip_items(1, -1)) {
                    return status_;
                }
                continue;
            }
            if (static_cast<int64_t>(at_) + e.length > file_size_) {
                return {}; // past the end of the file: the reader says so
            }
            if (e.vr == VR_SQ) {
                // Its items are walked: a sequence must hold whole items, or the reader judges it.
                if (!skip_items(1, static_cast<int64_t>(at_) + e.length)) {
                    return status_;
                }
                continue;
            }
            if (wanted(e.tag) && e.length <= 4096) {
                if (!has(e.length)) {
                    return more();
                }
                take(e.tag, e.vr, bytes_.substr(at_, e.length));
            }
            at_ += e.length;
        }
    }

private:
    struct Element {
        uint32_t tag = 0;
        int32_t vr = VR_NONE;
        uint32_t length = 0;
    };

    bool has(uint64_t count) const { return at_ + count <= bytes_.size(); }
    uint16_t u16(std::size_t at) const
    {
        return static_cast<uint16_t>(static_cast<uint8_t>(bytes_[at]) | static_cast<uint8_t>(bytes_[at + 1]) << 8);
    }
    uint32_t u32(std::size_t at) const { return u16(at) | static_cast<uint32_t>(u16(at + 2)) << 16; }

    FastHeader more()
    {
        status_ = {FastHeaderStatus::needs_more, 0, 0};
        return status_;
    }
    bool refuse()
    {
        status_ = {};
        return false;
    }
    bool need_more()
    {
        more();
        return false;
    }

    // Reads an element header at at_ (8 bytes are there); false with status_ set when it cannot.
    bool header(Element& e, bool explicit_vr)
    {
        const uint16_t group = u16(at_);
        const uint16_t element = u16(at_ + 2);
        e.tag = static_cast<uint32_t>(group) << 16 | element;
        if (group == 0xFFFE) {
            e.vr = VR_NONE;
            e.length = u32(at_ + 4);
            at_ += 8;
            return true;
        }
        if (!explicit_vr) {
            const uint16_t tag[2] = {group, element};
            const VrTableEntry* entry = dicom_private(vr_lookup_table, tag);
            e.vr = entry != nullptr ? entry->vr : VR_UN;
            e.length = u32(at_ + 4);
            at_ += 8;
            return true;
        }
        e.vr = vr_code(bytes_[at_ + 4], bytes_[at_ + 5]);
        if (!known_vr(e.vr)) {
            return refuse();
        }
        if (vr_has_long_length(e.vr)) {
            if (!has(12)) {
                return need_more();
            }
            e.length = u32(at_ + 8);
            at_ += 12;
        } else {
            e.length = u16(at_ + 6);
            at_ += 8;
        }
        return true;
    }

    // Skips the items of a sequence up to its end (`end`; -1: its delimiter,
    // which is skipped too). Every item must be whole, and every element in
    // it within the item.
    bool skip_items(int depth, int64_t end)
    {
        if (depth > most_depth) {
            return refuse();
        }
        for (;;) {
            if (end >= 0 && static_cast<int64_t>(at_) == end) {
                return true;
            }
            if (!has(8)) {
                return need_more();
            }
            Element e;
            header(e, explicit_);
            if (end < 0 && e.tag == sequence_end_tag) {
                return true;
            }
            if (e.tag != item_tag) {
                return refuse();
            }
            const int64_t item_end = e.length == UNDEFINED_LENGTH ? -1 : static_cast<int64_t>(at_) + e.length;
            if (item_end > file_size_ || (end >= 0 && (item_end < 0 || item_end > end))) {
                return refuse();
            }
            if (!skip_item_elements(depth, item_end)) {
                return false;
            }
        }
    }

    // Skips the elements of an item up to its end (`end`; -1: its
    // delimiter, which is skipped too).
    bool skip_item_elements(int depth, int64_t end)
    {
        for (;;) {
            if (end >= 0 && static_cast<int64_t>(at_) == end) {
                return true;
            }
            if (!has(8)) {
                return need_more();
            }
            Element e;
            if (!header(e, explicit_)) {
                return false;
            }
            if (end < 0 && e.tag == item_end_tag) {
                return true;
            }
            if ((e.tag >> 16) == 0xFFFE) {
                return refuse();
            }
            if (e.length == UNDEFINED_LENGTH) {
                if (end >= 0 || !(e.vr == VR_SQ || (!explicit_ && e.vr != VR_OB && e.vr != VR_OW))) {
                    return refuse();
                }
                if (!skip_items(depth + 1, -1)) {
                    return false;
                }
                continue;
            }
            const int64_t element_end = static_cast<int64_t>(at_) + e.length;
            if (element_end > file_size_ || (end >= 0 && element_end > end)) {
                return refuse();
            }
            if (e.vr == VR_SQ) {
                if (!skip_items(depth + 1, element_end)) {
                    return false;
                }
                continue;
            }
            at_ = static_cast<std::size_t>(element_end);
        }
    }

    std::string_view bytes_;
    int64_t file_size_;
    std::size_t at_ = 0;
    bool explicit_ = true;
    FastHeader status_{};
};

} // namespace

FastHeader fast_header(std::string_view bytes, int64_t file_size, const std::function<bool(uint32_t tag)>& wanted,
                       const std::function<void(uint32_t tag, int32_t vr, std::string_view value)>& take)
{
    Walker walker(bytes, file_size);
    return walker.run(wanted, take);
}
