// What the header walk knows of each element row beside its text: the tag,
// where the row sits in the nesting of sequences and items, and where the
// element's bytes lie in the walked file.
#pragma once

#include <cstdint>
#include <vector>

enum class RowKind : uint8_t {
    element,      // an element with a value of its own
    sequence,     // an element of VR SQ, or of undefined length: its items follow as its children
    item,         // (FFFE,E000)
    item_end,     // (FFFE,E00D)
    sequence_end, // (FFFE,E0DD)
};

struct ElementRow {
    uint32_t tag = 0;        // group in the high 16 bits
    int32_t depth = 0;       // 0 for the data set's own elements
    int32_t parent = -1;     // the row of the enclosing sequence or item, -1 at depth 0
    int32_t item_index = -1; // an item's place among its sequence's items, from 0; -1 for other rows
    RowKind kind = RowKind::element;
    uint16_t vr = 0;           // the VR the header gives ('O' << 8 | 'W'), 0 when it gives none
    int64_t header_offset = 0; // where the element's header starts
    int64_t value_offset = 0;  // where its value starts (the end of the header)
    // The value's bytes: what the walk read or skipped for an element; for a
    // sequence or an item, its contents up to and including its delimiter,
    // or up to where the walk ended inside it.
    int64_t value_length = 0;

    uint16_t group() const { return static_cast<uint16_t>(tag >> 16); }
    uint16_t element() const { return static_cast<uint16_t>(tag & 0xFFFF); }
    bool folds() const { return kind == RowKind::sequence || kind == RowKind::item; }
    int64_t end_offset() const { return value_offset + value_length; }
};

// Follows the walk's nesting one element header at a time and appends a row
// for each. Sequences and items with a defined length end where their length
// says; an undefined length ends at its delimiter. A delimiter belongs to
// the item or sequence it closes; one that closes nothing stays where it is.
class ElementRowBuilder {
public:
    explicit ElementRowBuilder(std::vector<ElementRow>& rows);

    // vr is the VR the walk took for the header (SQ for a sequence);
    // value_length the length as the file gives it (0xFFFFFFFF: undefined);
    // walk_length what the walk reads or skips as the value.
    void add(uint16_t group, uint16_t element, uint16_t vr, uint32_t value_length, int64_t walk_length,
             int64_t header_offset, int64_t value_offset);
    // The walk stopped at `offset`: what is still open ends there.
    void finish(int64_t offset);

private:
    struct Open {
        int32_t row = -1;
        bool item = false;
        bool bounded = false; // a defined length, ending at `end`
        int64_t end = 0;
        int32_t items = 0; // items met so far, for a sequence
    };
    void close_ended(int64_t offset);
    void close(int64_t offset);
    int32_t parent() const { return open_.empty() ? -1 : open_.back().row; }
    // Closes the innermost open item (item true) or sequence and what it
    // holds, at `offset`; nothing when none is open.
    void close_until(bool item, int64_t offset);

    std::vector<ElementRow>& rows_;
    std::vector<Open> open_;
    int32_t top_items_ = 0; // items met outside any sequence
};
