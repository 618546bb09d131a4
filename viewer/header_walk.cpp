#include "viewer/header_walk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>
#include <sys/stat.h>

#include "base/file_bytes.h"
#include "base/log.h"
#include "reader/inflate_view.h"
#include "reader/transfer_syntax.h"
#include "viewer/charset.h"
#include "viewer/hex_dump.h"
#include "viewer/messages.h"

namespace {

uint16_t u16le(const uint8_t* b) { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }

uint32_t u32le(const uint8_t* b)
{
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
}

uint16_t u16be(const uint8_t* b) { return static_cast<uint16_t>((b[0] << 8) | b[1]); }

uint32_t u32be(const uint8_t* b)
{
    return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
           (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
}

// Reverses each unit-byte number of a big-endian value in place, so that the
// bytes stand in little-endian order; a partial unit at the end stays.
void to_little_endian(uint8_t* bytes, std::size_t count, std::size_t unit)
{
    for (std::size_t at = 0; unit > 1 && at + unit <= count; at += unit) {
        std::reverse(bytes + at, bytes + at + unit);
    }
}

int32_t non_negative(int32_t v) { return v < 0 ? 0 : v; }

// A 32-bit value length as a byte count; the undefined length counts 0.
int64_t value_length(uint32_t length) { return length == 0xFFFFFFFFU ? 0 : int64_t{length}; }

bool is_capital(uint8_t b) { return b >= 0x41 && b <= 0x5A; }

// Moves forward by count bytes, but never past the end of the file.
void skip_forward(std::FILE* file, int64_t count)
{
    if (count <= 0) {
        return;
    }
    const int64_t pos = ftello(file);
    if (pos < 0) {
        return;
    }
    const int64_t step = std::min(count, bytes_left_in_file(file));
    fseeko(file, static_cast<off_t>(pos + step), SEEK_SET);
}

bool is_text_vr(int32_t vr)
{
    switch (vr) {
    case VR_AE:
    case VR_AS:
    case VR_CS:
    case VR_DA:
    case VR_DL:
    case VR_DS:
    case VR_DT:
    case VR_IS:
    case VR_LO:
    case VR_LT:
    case VR_PN:
    case VR_SH:
    case VR_ST:
    case VR_TM:
    case VR_UI: return true;
    default: return false;
    }
}

template <typename... Args>
std::string format(const char* fmt, Args... args)
{
    char text[128];
    const int n = std::snprintf(text, sizeof text, fmt, args...);
    if (n < 0) {
        return {};
    }
    if (static_cast<std::size_t>(n) < sizeof text) {
        return std::string(text, static_cast<std::size_t>(n));
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), fmt, args...);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

// Numeric values: one piece per value, each handed over in little-endian
// order (a big-endian value has each of its numbers of unit bytes reversed);
// the first value cut by the end of the file gives its error piece and ends
// the text. Bytes past the last whole value are skipped so the next header
// starts at the element boundary.
template <std::size_t Size, typename Piece, typename ErrorPiece>
std::string format_numbers(std::FILE* file, int64_t length, ByteOrder order, std::size_t unit, Piece piece,
                           ErrorPiece error_piece)
{
    std::string text;
    uint8_t holder[Size] = {};
    const int64_t count = length / static_cast<int64_t>(Size);
    for (int64_t i = 0; i < count; ++i) {
        const bool whole = std::fread(holder, 1, Size, file) == Size;
        if (order == ByteOrder::big) {
            to_little_endian(holder, Size, unit);
        }
        if (!whole) {
            text += error_piece(holder);
            return text;
        }
        text += piece(holder);
    }
    skip_forward(file, length % static_cast<int64_t>(Size));
    return text;
}

std::string format_numeric_value(std::FILE* file, int32_t vr, int64_t length, ByteOrder order)
{
    switch (vr) {
    case VR_AT: {
        auto pair = [](const char* fmt) {
            return [fmt](const uint8_t* b) { return format(fmt, u16le(b), u16le(b + 2)); };
        };
        return format_numbers<4>(file, length, order, 2, pair("[ %04x  %04x ]"),
                                 pair("Error: Tag pair [%04x  %04x]"));
    }
    case VR_US: {
        auto us = [](const char* fmt) { return [fmt](const uint8_t* b) { return format(fmt, int{u16le(b)}); }; };
        return format_numbers<2>(file, length, order, 2, us("%d"), us("Error: Unsigned Short value[%d]"));
    }
    case VR_SS: {
        auto ss = [](const char* fmt) {
            return [fmt](const uint8_t* b) { return format(fmt, int{static_cast<int16_t>(u16le(b))}); };
        };
        return format_numbers<2>(file, length, order, 2, ss("%d"), ss("Error: Short value[%d]"));
    }
    case VR_UL: {
        // Printed with "%d", as the table shows it.
        auto ul = [](const char* fmt) {
            return [fmt](const uint8_t* b) { return format(fmt, static_cast<int32_t>(u32le(b))); };
        };
        return format_numbers<4>(file, length, order, 4, ul("%d"), ul("Error: Unsigned Long value[%d]"));
    }
    case VR_SL: {
        auto sl = [](const char* fmt) {
            return [fmt](const uint8_t* b) { return format(fmt, static_cast<int32_t>(u32le(b))); };
        };
        return format_numbers<4>(file, length, order, 4, sl("%d"), sl("Error: Long value[%d]"));
    }
    case VR_FL: {
        auto fl = [](const char* fmt) {
            return [fmt](const uint8_t* b) {
                float v;
                std::memcpy(&v, b, sizeof v);
                return format(fmt, static_cast<double>(v));
            };
        };
        return format_numbers<4>(file, length, order, 4, fl("%f"), fl("Error: Float value[%f]"));
    }
    case VR_FD: {
        auto fd = [](const char* fmt) {
            return [fmt](const uint8_t* b) {
                double v;
                std::memcpy(&v, b, sizeof v);
                return format(fmt, v);
            };
        };
        return format_numbers<8>(file, length, order, 8, fd("%f"), fd("Error: Double value[%f]"));
    }
    default: return {};
    }
}

// VRs whose value is decoded under a declared character set.
bool is_decoded_text_vr(int32_t vr)
{
    return vr != VR_DL && (is_text_vr(vr) || vr == VR_UC || vr == VR_UR || vr == VR_UT);
}

bool is_numeric_vr(int32_t vr)
{
    switch (vr) {
    case VR_AT:
    case VR_US:
    case VR_SS:
    case VR_UL:
    case VR_SL:
    case VR_FL:
    case VR_FD: return true;
    default: return false;
    }
}

// The size of the numbers a binary value of the VR holds, as their byte order
// applies to them; 1 for values read byte by byte.
std::size_t binary_unit(int32_t vr)
{
    switch (vr) {
    case VR_OW: return 2;
    case VR_OF:
    case VR_OL: return 4;
    case VR_OD:
    case VR_OV:
    case VR_SV:
    case VR_UV: return 8;
    default: return 1;
    }
}

// Whether the value of (0002,0010) names explicit VR big endian; the UID may
// be padded with a NUL or a blank.
bool names_big_endian(std::string_view uid)
{
    while (!uid.empty() && (uid.back() == ' ' || uid.back() == '\0')) {
        uid.remove_suffix(1);
    }
    return uid == "1.2.840.10008.1.2.2";
}

// At the data set's first header: a data set its syntax calls explicit but
// written implicit is read implicit (with a warning); one called implicit but
// written explicit is read as written by the header-by-header VR check, and
// warned about. The position stays.
void follow_written_vr(std::FILE* file, ViewerState& state, ByteOrder order)
{
    const int64_t at = ftello(file);
    uint8_t head[6] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    fseeko(file, static_cast<off_t>(at), SEEK_SET);
    const WrittenVr written = written_vr(head, got, order == ByteOrder::big);
    if (written == WrittenVr::unknown || state.declared_vr == WrittenVr::unknown || written == state.declared_vr) {
        return;
    }
    dicom_log(LogLevel::warning, written_vr_warning(written));
    state.data_set_read_implicit = written == WrittenVr::implicit_vr;
}

// Whether the element header at the file position is of group 0002 (read
// little endian, as the meta group is); the position stays.
bool next_is_meta_element(std::FILE* file)
{
    const int64_t at = ftello(file);
    uint8_t group[2] = {};
    const bool read = std::fread(group, 1, sizeof group, file) == sizeof group;
    fseeko(file, static_cast<off_t>(at), SEEK_SET);
    return read && u16le(group) == 0x0002;
}

std::string vr_letters(int32_t vr)
{
    if (vr == 0) {
        return {};
    }
    return format("%c%c", (vr >> 8) & 0xFF, vr & 0xFF);
}

} // namespace

int read_tag_header(std::FILE* file, tag_header& tag, ViewerState& state, ByteOrder order)
{
    const bool big = order == ByteOrder::big;
    const auto u16 = [big](const uint8_t* b) { return big ? u16be(b) : u16le(b); };
    const auto u32 = [big](const uint8_t* b) { return big ? u32be(b) : u32le(b); };
    uint8_t b[4] = {};
    if (std::fread(b, 1, 2, file) != 2) {
        return -1;
    }
    tag.group = u16(b);

    b[0] = b[1] = 0;
    (void)std::fread(b, 1, 2, file);
    tag.element = u16(b);

    std::memset(b, 0, sizeof b);
    (void)std::fread(b, 1, 4, file);
    tag.raw_length = u32(b);
    tag.length = value_length(u32(b));
    tag.vr = 0;
    if (!state.data_set_read_implicit && is_capital(b[0]) && is_capital(b[1])) {
        tag.vr = (b[0] << 8) | b[1];
        tag.raw_length = u16(b + 2);
        tag.length = non_negative(static_cast<int16_t>(u16(b + 2)));
    }

    if (tag.group == 0x7FE0 && tag.element == 0x0010) {
        state.header_size = ftello(file);
    }

    tag.entry = dictionary_lookup(tag.group, tag.element, tag.vr);

    if (vr_has_long_length(tag.vr)) {
        std::memset(b, 0, sizeof b);
        (void)std::fread(b, 1, 4, file);
        tag.raw_length = u32(b);
        tag.length = value_length(u32(b));
    } else if (tag.vr == 0 && tag.entry.vr == VR_SQ) {
        tag.vr = VR_SQ;
    } else if (tag.vr == 0 && tag.entry.vr == VR_DL) {
        tag.vr = VR_DL;
    }

    // Sequences and items have no value of their own: the walk enters them.
    if (tag.vr == VR_SQ || tag.vr == VR_DL) {
        tag.length = 0;
    }
    return 1;
}

std::size_t read_text_value(std::FILE* file, int64_t length, char* buffer, std::size_t limit)
{
    const int64_t count = std::max<int64_t>(length, 0);
    const std::size_t wanted = static_cast<std::size_t>(std::min(count, static_cast<int64_t>(limit)));
    const std::size_t got = std::fread(buffer, 1, wanted, file);
    buffer[got] = '\0';
    if (count > static_cast<int64_t>(limit)) {
        skip_forward(file, count - static_cast<int64_t>(limit));
    }
    return got;
}

const char* transfer_syntax_names(const char* uid)
{
    // The value as stored, padding included: "1.2.840.10008.1.2.1 " is unknown.
    const TransferSyntax* syntax = find_transfer_syntax(uid);
    if (syntax != nullptr && syntax->walk_label != nullptr && std::strcmp(uid, syntax->uid) == 0) {
        return syntax->walk_label;
    }
    constexpr const char* jpeg_prefix = "1.2.840.10008.1.2.4.";
    constexpr std::size_t process_start = 20; // strlen(jpeg_prefix)
    const std::size_t uid_length = std::strlen(uid);
    if (std::strcmp(uid, jpeg_prefix) > 0 && uid_length > process_start) {
        // Only the two characters after the prefix count: .4.100 reads as 10.
        char process[3] = {};
        std::memcpy(process, uid + process_start, std::min<std::size_t>(uid_length - process_start, 2));
        const int32_t number = parse_leading_int(process);
        if (number >= 50 && number <= 64) {
            return " : JPEG compression, Lossy JPEG";
        }
        if (number >= 65 && number <= 70) {
            return " : JPEG compression, Loss-less JPEG";
        }
    }
    return " : Unknown";
}

int32_t parse_leading_int(const char* text)
{
    const char* p = text;
    while (*p == ' ') {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = std::min<int64_t>(value * 10 + (*p - '0'), int64_t{INT32_MAX} + 1);
        ++p;
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void format_element_row(ElementGrid& grid, std::FILE* file, const tag_header& tag, ViewerState& state,
                        ByteOrder order)
{
    const int row = state.next_row;
    const int32_t vr = tag.entry.vr;
    ElementGrid::Row cells = {format("%04X", tag.group),
                              format("%04X", tag.element),
                              vr_letters(vr),
                              format("%lld", static_cast<long long>(tag.length)),
                              tag.entry.description,
                              ""};

    char value_buffer[value_buffer_size] = {};
    std::string value_text;
    const CharacterSet* charset = state.text.current();
    bool decoded = false;
    if (charset != nullptr && is_decoded_text_vr(vr)) {
        const std::size_t got = read_text_value(file, tag.length, value_buffer, text_value_limit);
        const bool cut = got != static_cast<std::size_t>(tag.length);
        value_text = charset->decode(std::string_view(value_buffer, got), text_shape(vr), cut);
        if (cut) {
            value_text += "...";
        }
        decoded = true;
    } else if (is_text_vr(vr) || vr == VR_OB || vr == VR_OW || vr == VR_SQ) {
        const std::size_t got = read_text_value(file, tag.length, value_buffer, text_value_limit);
        if (order == ByteOrder::big) {
            to_little_endian(reinterpret_cast<uint8_t*>(value_buffer), got, binary_unit(vr));
        }
        value_text = value_buffer;
        if (static_cast<int64_t>(got) != tag.length) {
            value_text += "...";
        }
    } else if (is_numeric_vr(vr)) {
        value_text = format_numeric_value(file, vr, tag.length, order);
    } else if (vr == VR_OX) {
        // Pixel, curve and audio data: show where the value lies, skip it.
        const int64_t position = ftello(file);
        if (tag.length != 0) {
            value_text =
                format("[ %lld %lld ]", static_cast<long long>(position), static_cast<long long>(tag.length));
        }
        skip_forward(file, tag.length);
    } else {
        const std::size_t got = read_text_value(file, tag.length, value_buffer, text_value_limit);
        if (order == ByteOrder::big) {
            to_little_endian(reinterpret_cast<uint8_t*>(value_buffer), got, binary_unit(vr));
        }
        for (std::size_t i = 0; i < got; ++i) {
            const auto b = static_cast<unsigned char>(value_buffer[i]);
            value_text += (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
        }
        if (static_cast<int64_t>(got) != tag.length) {
            value_text += "...";
        }
    }

    if (tag.group == 0x0028 && (tag.element == 0x1050 || tag.element == 0x1051)) {
        state.file_sets_window = true;
    }
    if (is_text_vr(vr)) {
        if (tag.group == 0x0002 && tag.element == 0x0010) {
            value_text += transfer_syntax_names(value_buffer);
            state.big_endian_data_set = names_big_endian(value_buffer);
            state.declared_vr = declared_vr(value_buffer);
        }
        if (tag.group == 0x0028 && tag.element == 0x1050) {
            state.window_level = parse_leading_int(value_buffer);
        } else if (tag.group == 0x0028 && tag.element == 0x1051) {
            state.window_width = parse_leading_int(value_buffer);
        } else if (tag.group == 0x0028 && tag.element == 0x1052) {
            state.rescale_intercept = parse_leading_int(value_buffer);
        } else if (tag.group == 0x0008 && tag.element == 0x0005) {
            // A value cut at the buffer's limit names no set we know.
            state.text.declare(tag.length <= static_cast<int32_t>(text_value_limit) ? value_buffer : "");
        }
    }

    cells[5] = std::move(value_text);
    grid.set_row(row, cells, decoded ? uint8_t{1U << 5} : uint8_t{0});
    state.next_row = row + 1;
}

std::string folder_text(const char* path) { return std::string(path) + " is a folder"; }

std::string cannot_open_text(int error) { return std::string(msg::cannot_open) + "\n" + std::strerror(error); }

std::FILE* check_dicom_file(const char* path, FileCheck& check)
{
    int error = 0;
    return check_dicom_file(path, check, error);
}

std::FILE* check_dicom_file(const char* path, FileCheck& check, int& error)
{
    bool inflated_view = false;
    return check_dicom_file(path, check, error, inflated_view);
}

std::FILE* check_dicom_file(const char* path, FileCheck& check, int& error, bool& inflated_view)
{
    error = 0;
    inflated_view = false;
    struct stat status {};
    if (::stat(path, &status) == 0 && S_ISDIR(status.st_mode)) {
        check = FileCheck::folder;
        return nullptr;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        error = errno;
        check = FileCheck::cannot_open;
        return nullptr;
    }
    char magic[4] = {};
    if (std::fseek(file, 128, SEEK_SET) != 0 || std::fread(magic, 1, 4, file) != 4) {
        check = FileCheck::too_short;
        std::fclose(file);
        return nullptr;
    }
    if (std::memcmp(magic, "DICM", 4) == 0) {
        check = FileCheck::part10;
        // A deflated data set is walked and dumped through its inflated view.
        const InflatedView view = open_inflated_view(file);
        if (view.stream != nullptr) {
            std::fclose(file);
            inflated_view = true;
            return view.stream;
        }
        return file;
    }
    check = FileCheck::not_part10;
    // Read from byte 0 again, through the file already open.
    std::clearerr(file);
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

void walk_header(std::FILE* file, HeaderListing& listing, ViewerState& state)
{
    state.header_size = 0;
    listing.header_size_text.clear();
    listing.dump = HeaderDump();
    listing.grid.clear_element_rows();
    listing.rows.clear();
    ElementRowBuilder rows(listing.rows);
    state.next_row = 1;
    state.rescale_intercept = 0;
    state.text.reset();
    state.big_endian_data_set = false;
    state.declared_vr = WrittenVr::unknown;
    state.data_set_read_implicit = false;
    state.file_sets_window = false;

    ByteOrder order = ByteOrder::little;
    bool in_meta_group = true;
    tag_header tag;
    int64_t element_start = ftello(file);
    for (;;) {
        if (in_meta_group && !next_is_meta_element(file)) {
            in_meta_group = false;
            order = state.big_endian_data_set ? ByteOrder::big : ByteOrder::little;
            follow_written_vr(file, state, order);
        }
        if (read_tag_header(file, tag, state, order) != 1) {
            break;
        }
        const int64_t value_start = ftello(file);
        state.text.enter(tag.group, tag.element, tag.vr, tag.raw_length, element_start, value_start);
        rows.add(tag.group, tag.element, static_cast<uint16_t>(tag.vr), tag.raw_length, tag.length, element_start,
                 value_start);
        format_element_row(listing.grid, file, tag, state, order);
        element_start = ftello(file);
        if (tag.group == 0x7FE0 && tag.element == 0x0010) {
            listing.header_size_text = format("%lld", static_cast<long long>(state.header_size));
            break;
        }
    }
    rows.finish(element_start);

    // The header is the bytes before Pixel Data, a position the walk reached;
    // a file without Pixel Data is header through and through.
    int64_t size = state.header_size;
    if (listing.header_size_text.empty()) {
        size = fseeko(file, 0, SEEK_END) == 0 ? static_cast<int64_t>(ftello(file)) : 0;
    }
    listing.dump = HeaderDump(file, size);
}
