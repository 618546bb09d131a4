// The viewer's own walk over a file's header: one element header at a time,
// each formatted into a row of the element grid, up to Pixel Data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "reader/dictionary.h"
#include "viewer/element_grid.h"
#include "viewer/element_rows.h"
#include "viewer/hex_dump.h"
#include "viewer/viewer_state.h"

// One element header as the walk read it.
struct tag_header {
    uint16_t group = 0;
    uint16_t element = 0;
    int32_t vr = 0;          // VR from the file, 0 when it gives none
    int64_t length = 0;      // value length in bytes; 0 for an undefined length
    uint32_t raw_length = 0; // the length as the file gives it
    DictEntry entry{};       // the dictionary's entry for the tag
};

// The byte order of element headers and binary values: the file meta group
// and every other data set are little endian; a data set in explicit VR big
// endian (1.2.840.10008.1.2.2) is big endian after its meta group.
enum class ByteOrder { little, big };

constexpr std::size_t text_value_limit = 80;
constexpr std::size_t value_buffer_size = 84;

// Reads the element header at the file position in the given byte order.
// Returns 1 when a header was read, -1 at the end of the file. Sets
// state.header_size at (7FE0,0010).
int read_tag_header(std::FILE* file, tag_header& tag, ViewerState& state, ByteOrder order = ByteOrder::little);

// Reads min(length, limit) bytes into buffer (which must hold limit + 1),
// ends them with a zero byte and skips the rest of the value. Returns the
// number of bytes read.
std::size_t read_text_value(std::FILE* file, int64_t length, char* buffer, std::size_t limit);

// Writes grid row state.next_row for the element, consumes its value (binary
// values in the given byte order), sets the display parameters from
// (0028,1050/1051/1052) and state.big_endian_data_set from (0002,0010), adds
// 1 to next_row.
void format_element_row(ElementGrid& grid, std::FILE* file, const tag_header& tag, ViewerState& state,
                        ByteOrder order = ByteOrder::little);

// The text appended to the value of (0002,0010), such as
// " : Raw data, Explicit VR, Little Endian"; " : Unknown" when nothing matches.
const char* transfer_syntax_names(const char* uid);

// The decimal integer at the start of text: leading blanks skipped, optional
// sign, digits up to the first other character; 0 without digits. Saturates
// at the 32-bit range.
int32_t parse_leading_int(const char* text);

// Outcome of the file-type check.
enum class FileCheck {
    part10,      // "DICM" found; the file is positioned at byte 132
    not_part10,  // no "DICM"; the file is positioned at byte 0
    cannot_open, // the file cannot be opened
    too_short,   // fewer than 132 bytes
    folder,      // the path names a folder
};

// Opens path and checks for "DICM" at byte 128. Returns the file positioned
// for the walk, or null (cannot_open, too_short, folder, or a failed seek).
// A file whose data set is deflated is returned as its inflated view.
// `error` is the system's error number of a file that cannot be opened.
std::FILE* check_dicom_file(const char* path, FileCheck& check, int& error);
std::FILE* check_dicom_file(const char* path, FileCheck& check);
// The same, saying whether the file returned is the inflated view.
std::FILE* check_dicom_file(const char* path, FileCheck& check, int& error, bool& inflated_view);

// "PATH is a folder".
std::string folder_text(const char* path);
// The box text of a file that cannot be opened: the viewer's message and the
// system's reason for `error` on a second line.
std::string cannot_open_text(int error);

// What the Open command shows once the walk is done.
struct HeaderListing {
    ElementGrid grid;
    std::vector<ElementRow> rows; // rows[i] tells of grid row i + 1
    HeaderDump dump;              // the dump lines, read from the file when asked for
    std::string header_size_text; // empty unless Pixel Data was reached
};

// Lists a checked file's header: resets the header size, the memo, the grid,
// next_row and the intercept; fills one grid row per element up to and
// including Pixel Data (whose position becomes the header size), and
// beside each its ElementRow; then sets
// the dump to the bytes before that position, or to the whole file when it
// holds no Pixel Data. The meta group (group 0002 from the start) is read
// little endian; when its (0002,0010) names explicit VR big endian, the
// elements from the first one of another group on are read big endian. The
// dump keeps a descriptor of its own: the caller closes the file.
void walk_header(std::FILE* file, HeaderListing& listing, ViewerState& state);
