// The hexadecimal dump of the header bytes shown in the memo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The two lines that head the dump (and the memo before any Open).
const std::vector<std::string>& dump_header_lines();

// One line per 16 bytes ("%08X " offset, "%02X " per byte, then the bytes as
// characters, "." for bytes below 0x20 or above 0x7F), then always a last
// line with the 0 to 15 remaining bytes.
std::vector<std::string> dump_lines(const uint8_t* bytes, std::size_t size);

// Where a byte lies in the dump: byte `offset` is on line
// dump_line_of(offset), its two hexadecimal digits at columns
// [dump_hex_column(offset), + 2) and its character at dump_char_column(offset).
std::size_t dump_line_of(int64_t offset);
int dump_hex_column(int64_t offset);
int dump_char_column(int64_t offset);
// The byte whose digits or character are at `column` of line `line`; -1 for
// the heading lines, the address and the blanks.
int64_t dump_byte_at(std::size_t line, int column);

// Receives one dump line; the callee may take the string.
using DumpLineSink = std::function<void(std::string& line)>;

// The dump of a file's first bytes: the two heading lines, then the lines of
// dump_lines over those bytes, each formatted when asked for from the file
// itself, so that a dump of any length costs no memory. Without a file it is
// the two heading lines alone. Copies share the file.
class HeaderDump {
public:
    HeaderDump() = default;
    // The first `size` bytes of the file open as `file`, which the dump reads
    // through a descriptor of its own: the caller may close `file`, and its
    // position is left alone. A size below 0 counts 0; without a descriptor
    // the dump is the heading lines alone.
    HeaderDump(std::FILE* file, int64_t size);

    std::size_t line_count() const;
    int64_t byte_count() const { return size_; }
    // Line `index`, "" past the end. A byte the file no longer holds (it
    // shrank since) ends its line early.
    std::string line(std::size_t index) const;
    // Lines [first, first + count) that exist, in order, read in blocks.
    void lines(std::size_t first, std::size_t count, const DumpLineSink& put) const;
    std::vector<std::string> all_lines() const;

private:
    struct Descriptor;
    std::shared_ptr<const Descriptor> file_;
    int64_t size_ = 0;
};
