// The hexadecimal dump of the header bytes shown in the memo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The two lines that head the dump (and the memo before any Open).
const std::vector<std::string>& dump_header_lines();

// One line per 16 bytes ("%08X " offset, "%02X " per byte, then the bytes as
// characters, "." for bytes below 0x20 or above 0x7F), then always a last
// line with the 0 to 15 remaining bytes.
std::vector<std::string> dump_lines(const uint8_t* bytes, std::size_t size);
