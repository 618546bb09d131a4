#include "export/data_set.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "reader/dicom_reader.h"
#include "reader/dictionary.h"
#include "reader/dictionary_vrs.h"

namespace {

constexpr uint32_t pixel_data_tag = 0x7FE00010;
constexpr uint32_t item_tag = 0xFFFEE000;
constexpr uint32_t item_end_tag = 0xFFFEE00D;
constexpr uint32_t sequence_end_tag = 0xFFFEE0DD;
constexpr int64_t no_end = -1;
// Deeper nesting than this is read as a flat list of the deepest level's items.
constexpr std::size_t max_depth = 200;

bool is_binary(int32_t vr)
{
    switch (vr) {
    case VR_OB:
    case VR_OD:
    case VR_OF:
    case VR_OL:
    case VR_OV:
    case VR_OW:
    case VR_UN: return true;
    default: return false;
    }
}

// The VR the dictionary gives a tag (VR_XS stays for the caller to resolve),
// or VR_NONE.
int32_t dictionary_vr(uint32_t tag)
{
    int32_t vr = registry_vr(tag);
    if (vr == VR_XS) {
        return vr; // the 719-entry table says US for some of these
    }
    vr = VR_NONE;
    if (const DictEntry* entry = dictionary_find(static_cast<uint16_t>(tag >> 16), static_cast<uint16_t>(tag))) {
        vr = entry->vr;
    }
    if (vr == VR_NONE || vr == VR_DL) {
        vr = registry_vr(tag);
    }
    return vr == VR_OX ? VR_OW : vr;
}

// The VR of an element of a data set encoded without VRs.
int32_t implicit_vr(uint32_t tag)
{
    const int32_t vr = dictionary_vr(tag);
    if (vr != VR_NONE) {
        return vr;
    }
    const auto element = static_cast<uint16_t>(tag & 0xFFFF);
    if (element == 0x0000) {
        return VR_UL;
    }
    if ((tag >> 16) % 2 != 0 && element >= 0x0010 && element <= 0x00FF) {
        return VR_LO; // private creator
    }
    return VR_UN;
}

// One open level of the tree: a data set (the file's or an item), a
// sequence, or encapsulated pixel data.
struct Level {
    enum Kind { data_set, sequence, fragments } kind;
    int64_t end; // the offset its value ends at, or no_end (undefined length)
    DataSet* set = nullptr;
    DataElement* element = nullptr;
};

class TreeReader {
public:
    TreeReader(DicomReader& reader, const ReadOptions& options, DataSet& root) : reader_(reader), options_(options)
    {
        levels_.push_back({Level::data_set, no_end, &root, nullptr});
    }

    // Reads the items of a sequence whose value the file holds as UN bytes,
    // which `reader` reads from memory: every value is loaded (offsets in
    // those bytes name nothing in the file).
    TreeReader(DicomReader& reader, const ReadOptions& options, DataSet& parent, DataElement& sequence,
               std::size_t depth)
        : reader_(reader), options_(options), offsets_in_file_(false), depth_(depth)
    {
        levels_.push_back({Level::data_set, no_end, &parent, nullptr});
        levels_.push_back({Level::sequence, no_end, nullptr, &sequence});
    }

    // Reads every element; false when the reader failed.
    bool read_all()
    {
        while (ELEMENT* e = reader_.element()) {
            if (!take(*e)) {
                return false;
            }
        }
        return reader_.state().failure == 0;
    }

private:
    int64_t value_start() const { return reader_.state().file_size - reader_.bytes_left(); }

    void close_ended(int64_t offset)
    {
        while (levels_.size() > 1 && levels_.back().end != no_end && offset >= levels_.back().end) {
            levels_.pop_back();
        }
    }

    void close_until(Level::Kind kind)
    {
        while (levels_.size() > 1) {
            const Level::Kind popped = levels_.back().kind;
            levels_.pop_back();
            if (popped == kind) {
                return;
            }
        }
    }

    int64_t end_of(const ELEMENT& e) const
    {
        return e.length == UNDEFINED_LENGTH ? no_end : value_start() + int64_t{e.length};
    }

    bool take(ELEMENT& e)
    {
        close_ended(e.offset);
        const uint32_t tag = (uint32_t{e.group} << 16) | e.element;
        Level& top = levels_.back();
        if (top.kind == Level::fragments) {
            return take_fragment(e, tag);
        }
        if (e.group == 0xFFFE) {
            return take_delimiter(e, tag);
        }
        const int32_t vr = element_vr(e, tag);
        DataSet& set = top.kind == Level::data_set ? *top.set : flat_item(top);
        // The file meta information and group lengths describe the file, not the data set.
        if (e.group == 0x0002 || e.element == 0x0000) {
            return reader_.skip() == 0;
        }
        set.elements.push_back({});
        DataElement& element = set.elements.back();
        element.tag = tag;
        element.vr = vr;
        if (tag == pixel_data_tag && e.length == UNDEFINED_LENGTH) {
            element.vr = VR_OB; // encapsulated pixel data is OB whatever the file says
            element.file_offset = value_start();
            levels_.push_back({Level::fragments, no_end, nullptr, &element});
            return true;
        }
        if (vr == VR_SQ || (e.length == UNDEFINED_LENGTH && vr == VR_UN)) {
            element.vr = VR_SQ;
            element.is_sequence = true;
            if (depth_ + levels_.size() < max_depth) {
                levels_.push_back({Level::sequence, end_of(e), nullptr, &element});
            }
            return reader_.skip() == 0;
        }
        if (e.vr == VR_UN && vr == VR_UN && is_un_sequence(e, tag)) {
            return take_un_sequence(element, set);
        }
        return take_value(e, element, set);
    }

    // A public sequence that an explicit little endian data set marks UN,
    // with a defined length.
    bool is_un_sequence(const ELEMENT& e, uint32_t tag) const
    {
        const int32_t syntax = reader_.state().syntax;
        return (syntax & SYNTAX_EXPLICIT) != 0 && (syntax & SYNTAX_LITTLE) != 0 && e.length != UNDEFINED_LENGTH &&
               dictionary_vr(tag) == VR_SQ;
    }

    // The VR the file gives, or for a data set without VRs the registry's. A
    // public element the file marks UN takes the registry's VR too, when its
    // value has a defined length and is little endian (as UN values are).
    int32_t element_vr(const ELEMENT& e, uint32_t tag) const
    {
        const int32_t syntax = reader_.state().syntax;
        int32_t vr = e.vr;
        if ((syntax & SYNTAX_EXPLICIT) == 0) {
            vr = implicit_vr(tag);
        } else if (vr == VR_UN && e.length != UNDEFINED_LENGTH && (syntax & SYNTAX_LITTLE) != 0) {
            const int32_t known = dictionary_vr(tag);
            if (known != VR_NONE && known != VR_SQ && known != VR_UN) {
                vr = known;
            }
        }
        if (vr == VR_XS) {
            vr = signed_samples_ ? VR_SS : VR_US;
        }
        return vr;
    }

    // The data set an element outside any item goes to (a sequence's content
    // without item headers, or nesting deeper than max_depth): the last item.
    static DataSet& flat_item(Level& level)
    {
        if (level.element->items.empty()) {
            level.element->items.emplace_back();
        }
        return level.element->items.back();
    }

    bool take_delimiter(const ELEMENT& e, uint32_t tag)
    {
        Level& top = levels_.back();
        if (tag == item_tag && top.kind == Level::sequence) {
            DataSet* parent = levels_[levels_.size() - 2].set;
            top.element->items.emplace_back();
            DataSet& item = top.element->items.back();
            item.charset = parent != nullptr ? parent->charset : nullptr;
            levels_.push_back({Level::data_set, end_of(e), &item, nullptr});
        } else if (tag == item_end_tag) {
            if (top.kind == Level::data_set && levels_.size() > 1) {
                levels_.pop_back();
            }
        } else if (tag == sequence_end_tag) {
            close_until(Level::sequence);
        }
        return reader_.skip() == 0;
    }

    bool take_fragment(const ELEMENT& e, uint32_t tag)
    {
        DataElement& element = *levels_.back().element;
        if (tag == sequence_end_tag) {
            element.file_length = static_cast<uint64_t>(e.offset - element.file_offset);
            levels_.pop_back();
            return reader_.skip() == 0;
        }
        if (tag != item_tag || e.length == UNDEFINED_LENGTH) {
            return reader_.skip() == 0;
        }
        const uint64_t total = static_cast<uint64_t>(e.offset - element.file_offset) + 8 + e.length;
        if (!options_.pixel_data || (total > options_.bulk_threshold && values_stay_in_file())) {
            element.in_file = true;
            element.value.clear();
            element.file_length = total;
            return reader_.skip() == 0;
        }
        const char header[8] = {'\xFE',
                                '\xFF',
                                '\x00',
                                '\xE0',
                                static_cast<char>(e.length & 0xFF),
                                static_cast<char>((e.length >> 8) & 0xFF),
                                static_cast<char>((e.length >> 16) & 0xFF),
                                static_cast<char>((e.length >> 24) & 0xFF)};
        element.value.append(std::string_view(header, sizeof header));
        element.file_length = total;
        return load_into(element.value, VR_OB);
    }

    // Bulk data can stay in the file: its offsets name the file's bytes (not
    // those of an inflated view or of a value read from memory).
    bool values_stay_in_file() const { return offsets_in_file_ && !reader_.state().stream_is_inflated_view; }

    // A sequence the file marks UN: its value is read as the items of a data
    // set without VRs, little endian.
    bool take_un_sequence(DataElement& element, DataSet& set)
    {
        ValueBytes value;
        if (!load_into(value, VR_OB)) {
            return false;
        }
        element.vr = VR_SQ;
        element.is_sequence = true;
        std::string bytes(value.view());
        if (bytes.empty() || depth_ + levels_.size() + 2 >= max_depth) {
            return true;
        }
        std::FILE* stream = fmemopen(bytes.data(), bytes.size(), "rb");
        if (stream == nullptr) {
            return true;
        }
        // Items take the data set's character set; anything after the items
        // lands in `scope` and is dropped.
        DataSet scope;
        scope.charset = set.charset;
        DicomReader inner;
        inner.attach(stream, static_cast<int64_t>(bytes.size()), SYNTAX_IMPLICIT | SYNTAX_LITTLE);
        TreeReader items(inner, options_, scope, element, depth_ + levels_.size());
        items.read_all(); // a fault inside keeps the items read before it
        inner.close();
        return true;
    }

    bool take_value(ELEMENT& e, DataElement& element, DataSet& set)
    {
        element.file_offset = value_start();
        element.file_length = e.length;
        // Bulk data stays in the file, unless the file is read inflated
        // (its offsets name no bytes of the file).
        const bool bulk = is_binary(element.vr) && (e.length > options_.bulk_threshold ||
                                                    (element.tag == pixel_data_tag && !options_.pixel_data));
        if (bulk && values_stay_in_file()) {
            element.in_file = true;
            return reader_.skip() == 0;
        }
        // Text is loaded whole (as OB), not split at backslashes: a
        // multi-byte character may hold a 0x5C byte.
        const int32_t load_vr = vr_is_split_string(element.vr) ? VR_OB : element.vr;
        if (!load_into(element.value, load_vr)) {
            return false;
        }
        if (element.tag == 0x00280103 && levels_.size() == 1 && element.value.size() >= 2) {
            uint16_t representation = 0;
            std::memcpy(&representation, element.value.data(), 2);
            signed_samples_ = representation == 1;
        }
        if (element.tag == 0x00080005) {
            set.charset = nullptr;
            if (auto charset = CharacterSet::from_value(element.value.view())) {
                set.charset = std::make_shared<const CharacterSet>(*charset);
            }
        }
        return true;
    }

    // Loads the current value as `vr` and appends its bytes.
    bool load_into(ValueBytes& into, int32_t vr)
    {
        ELEMENT& record = reader_.record();
        const int32_t file_vr = record.vr;
        const uint32_t length = record.length;
        record.vr = vr;
        // Every block loaded here is taken out of the record, so what it still
        // holds is the reader's own (the Transfer Syntax UID's), which a load
        // of an element without a value would leave there.
        record.value = nullptr;
        const int status = reader_.load(vr);
        record.vr = file_vr;
        if (status != 0 || reader_.state().failure != 0) {
            return false;
        }
        if (record.value != nullptr) {
            if (into.empty()) {
                into.adopt(record.value, length);
            } else {
                into.append(std::string_view(static_cast<const char*>(record.value), length));
                std::free(record.value);
            }
            record.value = nullptr;
        }
        return true;
    }

    DicomReader& reader_;
    const ReadOptions& options_;
    std::vector<Level> levels_;
    bool signed_samples_ = false; // the data set's Pixel Representation is 1
    bool offsets_in_file_ = true; // the reader reads the file itself
    std::size_t depth_ = 0;       // levels open around the bytes this reader reads
};

// Elements in ascending tag order, as the models list them, whatever order
// the file gave them in.
void sort_by_tag(DataSet& set)
{
    const auto by_tag = [](const DataElement& a, const DataElement& b) { return a.tag < b.tag; };
    if (!std::is_sorted(set.elements.begin(), set.elements.end(), by_tag)) {
        std::stable_sort(set.elements.begin(), set.elements.end(), by_tag);
    }
    for (DataElement& element : set.elements) {
        for (DataSet& item : element.items) {
            sort_by_tag(item);
        }
    }
}

} // namespace

ReadResult read_data_set(const char* path, const ReadOptions& options)
{
    ReadResult result;
    DicomReader reader;
    const int opened = reader.open(path);
    if (opened != 0) {
        result.failure = opened;
        return result;
    }
    TreeReader tree(reader, options, result.data_set);
    if (!tree.read_all()) {
        result.failure = reader.state().failure != 0 ? reader.state().failure : -1;
    }
    reader.close();
    sort_by_tag(result.data_set);
    return result;
}

const char* read_failure_text(int failure)
{
    switch (failure) {
    case -1: return "Error while reading file";
    case -2: return "Unexpected end of file";
    case -3: return "Out of memory";
    case -4: return "Cannot open the file";
    case -5: return "Not a DICOM file";
    case -6: return "The deflated data set cannot be inflated";
    default: return nullptr;
    }
}
