// The values of an element as the model writers give them: text decoded to
// UTF-8 and split into values, person names into their groups, numbers as
// JSON number text, attribute tags as hex, binary data as Base64.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/data_set.h"

// How an element's value is written.
enum class ValueKind {
    text,        // strings (AE AS CS DA DT LO LT SH ST TM UC UI UR UT)
    number_text, // DS and IS: numbers written as their text
    person_name, // PN
    number,      // US SS UL SL FL FD SV UV
    tag,         // AT
    binary,      // OB OD OF OL OV OW UN
    sequence,    // SQ
};

ValueKind value_kind(int32_t vr);

// The text values: decoded with the data set's character set, split at
// backslashes (LT, ST, UT and UR hold one value), padding removed. An empty
// value is an empty string.
std::vector<std::string> text_values(const DataElement& element, const CharacterSet* charset);

// A person name's component groups, decoded; an absent group is empty.
struct PersonName {
    std::string alphabetic, ideographic, phonetic;
};
std::vector<PersonName> person_names(const DataElement& element, const CharacterSet* charset);

// The JSON number a DS or IS value's text stands for ("+1.50" is 1.50, ".5"
// is 0.5, "007" is 7), or nothing when the text is not a valid DS (or IS)
// number.
std::optional<std::string> number_text(std::string_view text, bool integer);

// The numbers of a binary numeric value (US SS UL SL FL FD SV UV) as JSON
// numbers; a float that is not finite is written as null.
std::vector<std::string> binary_numbers(const DataElement& element);

// The tags of an AT value as 8 upper-case hex digits each.
std::vector<std::string> tag_values(const DataElement& element);

// The tag as 8 upper-case hex digits.
std::string tag_hex(uint32_t tag);

// The two letters of a VR, or "UN" for a code that is not two letters.
std::string vr_text(int32_t vr);

void append_base64(std::string& out, std::string_view bytes);

// The URI of a value left in the file: file:///PATH#offset=N&length=N, the
// path absolute, its bytes outside the unreserved set percent-encoded.
std::string bulk_data_uri(const std::string& absolute_path, const DataElement& element);
