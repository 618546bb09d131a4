// Conversions between the window's code page 932 (Shift-JIS) bytes and UTF-8,
// and from the byte encodings behind the DICOM character sets to UTF-8.
#pragma once

#include <string>
#include <string_view>

// Decodes code page 932 bytes to UTF-8. A byte that does not start a valid
// character becomes U+FFFD, so undecodable bytes stay visible.
std::string cp932_to_utf8(std::string_view bytes);

// True when text is well-formed UTF-8: no overlong form, no surrogate,
// nothing past U+10FFFF.
bool is_utf8(std::string_view text);

// Encodes UTF-8 text to code page 932. A character the code page lacks (or
// an invalid UTF-8 byte) becomes '?'.
std::string utf8_to_cp932(std::string_view text);

// Appends bytes in the iconv encoding `from` ("ISO-8859-5", "EUC-KR", ...)
// to out as UTF-8. A byte that starts no valid character becomes U+FFFD; with
// drop_incomplete_tail, a character cut short by the end of bytes is left out.
void append_as_utf8(std::string& out, const char* from, std::string_view bytes, bool drop_incomplete_tail = false);
