// Text values decoded to UTF-8 under the character set that a Specific
// Character Set (0008,0005) value names: single-byte sets, UTF-8, GB18030,
// GBK, and ISO 2022 code extensions switched by escape sequences.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How a value's bytes divide into values and where code extensions fall
// back to the first character set.
enum class TextShape {
    multi_valued,  // values split at "\" (AE AS CS DA DS DT IS LO SH TM UC UI)
    single_valued, // one value (LT ST UT UR)
    person_name,   // values split at "\", components at "=", groups at "^"
};

// The shape of a text VR's value.
TextShape text_shape(int32_t vr);

class CharacterSet {
public:
    // One character set a (0008,0005) term names.
    enum class Codec : uint8_t;

    // The character set named by a (0008,0005) value as stored (terms split
    // at "\", blanks around them ignored; an empty first term is the default
    // repertoire). Empty when the value is empty or names a set we do not know.
    static std::optional<CharacterSet> from_value(std::string_view value);

    // Decodes a value's bytes (up to the first zero byte) to UTF-8. A byte
    // that starts no character of the active set becomes U+FFFD. With `cut`
    // the bytes end inside the value: an incomplete character or escape
    // sequence at their end is left out rather than marked.
    std::string decode(std::string_view bytes, TextShape shape, bool cut = false) const;

private:
    CharacterSet() = default;
    // Decodes bytes between two resets, starting in the first set.
    void decode_run(std::string& out, std::string_view bytes, bool person_name, bool cut) const;
    // The set an escape sequence at the start of bytes switches to, and its
    // length; 0 when it is not one of ours.
    std::size_t match_escape(std::string_view bytes, Codec& codec) const;

    std::vector<Codec> codecs_;        // [0] is active at every reset
    std::vector<std::string> escapes_; // the escape sequence of each term
    bool code_extensions_ = false;     // escape sequences switch sets
};
