// The character set in force at each point of the header walk: the data set's
// own (0008,0005) and, one level per sequence and item, an item's own one.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "charset.h"

class TextScopes {
public:
    TextScopes() { reset(); }

    // Back to the start of a file: one scope, no character set declared.
    void reset();

    // Follows the nesting for one element header: first closes the sequences
    // and items whose value ended before element_start, then opens a scope
    // for a sequence (vr SQ) or an item, or closes one at a delimiter.
    // value_length is the length as the file gives it (0xFFFFFFFF: undefined).
    void enter(uint16_t group, uint16_t element, int32_t vr, uint32_t value_length, int64_t element_start,
               int64_t value_start);

    // A (0008,0005) value read at the current level; a value we do not know
    // leaves that level's text undecoded.
    void declare(std::string_view value);

    // The character set for values at the current level; null when none is
    // declared (the bytes are shown as they are).
    const CharacterSet* current() const { return scopes_.back().charset.get(); }

private:
    struct Scope {
        bool item = false;    // an item, else a sequence or the data set
        bool bounded = false; // a defined length: ends at `end`
        int64_t end = 0;
        std::shared_ptr<const CharacterSet> charset;
    };
    // Deeper nesting than this is followed no further: its elements use the
    // character set of the deepest scope kept.
    static constexpr std::size_t max_depth = 64;

    void open(bool item, uint32_t value_length, int64_t value_start);
    void close_until(bool item);

    std::vector<Scope> scopes_; // [0] is the data set
};
