// The element stream reader: opening a file, guessing its encoding, reading
// element headers, and the stream checks that close the reader on failure.
#include "reader/dicom.h"

#include <array>
#include <cstring>
#include <string>
#include <utility>

#include "reader/file_bytes.h"
#include "reader/inflate_view.h"
#include "reader/log.h"
#include "reader/reader_internal.h"

DicomReaderState dicom_state{};
ELEMENT dicom_record{};

namespace {

constexpr std::size_t preamble_size = 128;
constexpr std::size_t preamble_and_magic = 132;

int32_t machine_byte_order()
{
    const uint16_t probe = 0x1234;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 0x12 ? SYNTAX_BIG : SYNTAX_LITTLE;
}

bool read_bytes(void* into, std::size_t count)
{
    return std::fread(into, 1, count, dicom_state.reader_stream) == count;
}

bool seek_to(int64_t position)
{
    return fseeko(dicom_state.reader_stream, static_cast<off_t>(position), SEEK_SET) == 0;
}

// A seek that the stream refuses is a read error.
void fail_seek() { reader_fail(-1, "Error while reading file"); }

// Logs the preamble as text up to its first NUL, never past its 128 bytes.
void log_preamble(const std::array<char, preamble_and_magic>& buffer)
{
    dicom_log(LOG_INFO, "Dicom preamble");
    const std::string text(buffer.data(), strnlen(buffer.data(), preamble_size));
    dicom_log(LOG_INFO, text.c_str());
}

// VR letters are capitals.
bool is_vr_letter(char c) { return c >= 'A' && c <= 'Z'; }

// Byte 0 non-zero: a little-endian group number. Bytes 4 and 5 are either the
// VR letters of an explicit header or the low bytes of an implicit 32-bit length.
int32_t guess_syntax(const std::array<char, preamble_and_magic>& buffer)
{
    if (buffer[0] != 0) {
        return buffer[5] != 0 ? SYNTAX_EXPLICIT | SYNTAX_LITTLE : SYNTAX_IMPLICIT | SYNTAX_LITTLE;
    }
    return buffer[4] != 0 ? SYNTAX_EXPLICIT | SYNTAX_BIG : SYNTAX_IMPLICIT | SYNTAX_BIG;
}

// A deflated data set is read through its inflated view from here on: the
// reader's stream becomes the view. False when the data set was refused.
bool read_through_inflated_view()
{
    if (dicom_state.stream_is_inflated_view) {
        return true;
    }
    const InflatedView view = open_inflated_view(dicom_state.reader_stream);
    if (view.refused) {
        if (view.stream != nullptr) {
            std::fclose(view.stream);
        }
        dicom_close();
        return false;
    }
    if (view.stream != nullptr) {
        std::fclose(dicom_state.reader_stream);
        dicom_state.reader_stream = view.stream;
        dicom_state.file_size = regular_file_size(view.stream);
        dicom_state.stream_is_inflated_view = true;
    }
    return true;
}

} // namespace

int64_t reader_position() { return static_cast<int64_t>(ftello(dicom_state.reader_stream)); }

int reader_fail(int status, const char* message)
{
    dicom_log(LOG_ERROR, message);
    dicom_close();
    dicom_state.failure = status;
    return status;
}

int reader_fail_end_of_file() { return reader_fail(-2, "Unexpected end of file"); }

void reader_fail_out_of_memory() { reader_fail(-3, "Out of memory"); }

int64_t dicom_bytes_left()
{
    if (dicom_state.reader_stream == nullptr) {
        return 0;
    }
    return bytes_left_in_file(dicom_state.reader_stream, dicom_state.file_size);
}

int dicom_open(const char* name)
{
    dicom_log(LOG_DEBUG, "dicom_open()");
    if (name == nullptr) {
        dicom_log(LOG_ERROR, "No file given");
        return -1;
    }
    dicom_state.failure = 0;
    if (dicom_state.reader_stream == nullptr) {
        dicom_state.reader_stream = std::fopen(name, "rb");
        if (dicom_state.reader_stream == nullptr) {
            dicom_log(LOG_ERROR, "Unable to open file");
            return -4;
        }
        dicom_state.file_size = regular_file_size(dicom_state.reader_stream);
    }

    std::array<char, preamble_and_magic> buffer{};
    read_bytes(buffer.data(), buffer.size());
    if (dicom_check_stream(0) != 0) {
        return -5;
    }

    if (std::memcmp(buffer.data() + preamble_size, "DICM", 4) == 0) {
        log_preamble(buffer);
        if (!read_through_inflated_view()) {
            return -6;
        }
        const int64_t meta_start = reader_position();
        dicom_state.meta_pending = -1;
        dicom_state.syntax = SYNTAX_EXPLICIT | SYNTAX_LITTLE;
        // The meta group is explicit VR little endian whichever element it
        // starts with, (0002,0000) or not. Only a first element without VR
        // letters after its tag (a meta group written implicit) is read implicit.
        std::array<char, 6> peek{};
        read_bytes(peek.data(), peek.size());
        if (!is_vr_letter(peek[4]) || !is_vr_letter(peek[5])) {
            dicom_state.syntax = SYNTAX_IMPLICIT | SYNTAX_LITTLE;
        }
        if (!seek_to(meta_start)) {
            fail_seek();
            return -5;
        }
    } else {
        std::rewind(dicom_state.reader_stream);
        dicom_state.meta_pending = 0;
        dicom_state.syntax = guess_syntax(buffer);
    }
    dicom_state.data_syntax = dicom_state.syntax;
    dicom_state.pixel_syntax = dicom_state.syntax;
    dicom_state.host_order = machine_byte_order();
    dicom_encapsulated(1);
    dicom_sequence(1);
    return 0;
}

int dicom_close()
{
    dicom_log(LOG_DEBUG, "dicom_close()");
    if (dicom_state.reader_stream == nullptr) {
        return 0;
    }
    std::free(dicom_state.transfer_syntax);
    dicom_state.transfer_syntax = nullptr;
    dicom_state.stream_is_inflated_view = false;
    const int closed = std::fclose(dicom_state.reader_stream);
    dicom_state.reader_stream = nullptr;
    dicom_state.file_size = 0;
    if (closed != 0) {
        dicom_log(LOG_WARNING, "Unable to close file");
        return -1;
    }
    return 0;
}

int dicom_check_stream(int quiet)
{
    std::FILE* stream = dicom_state.reader_stream;
    if (stream == nullptr) {
        return -1;
    }
    if (std::ferror(stream) != 0) {
        return reader_fail(-1, "Error while reading file");
    }
    if (std::feof(stream) != 0) {
        // Quiet: the end of the file at an element boundary is no failure.
        if (quiet == 0) {
            return reader_fail_end_of_file();
        }
        dicom_close();
        return -2;
    }
    return 0;
}

void dicom_swap(void* number, int size)
{
    if ((dicom_state.syntax & dicom_state.host_order) != 0 || number == nullptr || size < 2) {
        return;
    }
    auto* bytes = static_cast<unsigned char*>(number);
    for (int low = 0, high = size - 1; low < high; ++low, --high) {
        std::swap(bytes[low], bytes[high]);
    }
}

void dicom_toggle_host_order()
{
    dicom_state.host_order = dicom_state.host_order == SYNTAX_LITTLE ? SYNTAX_BIG : SYNTAX_LITTLE;
}

namespace {

// Reads the VR (when the header carries one) and the length of the element
// whose tag has just been read.
void read_vr_and_length(ELEMENT& record)
{
    if ((dicom_state.syntax & SYNTAX_IMPLICIT) != 0 || record.group == 0xFFFE) {
        dicom_vr();
        uint32_t length = 0;
        read_bytes(&length, sizeof length);
        dicom_swap(&length, sizeof length);
        record.length = length;
        return;
    }
    std::array<unsigned char, 2> letters{};
    read_bytes(letters.data(), letters.size());
    record.vr = vr_code(static_cast<char>(letters[0]), static_cast<char>(letters[1]));
    if (vr_has_long_length(record.vr)) {
        std::array<unsigned char, 2> reserved{};
        read_bytes(reserved.data(), reserved.size());
        uint32_t length = 0;
        read_bytes(&length, sizeof length);
        dicom_swap(&length, sizeof length);
        record.length = length;
    } else {
        uint16_t length = 0;
        read_bytes(&length, sizeof length);
        dicom_swap(&length, sizeof length);
        record.length = length;
    }
}

void check_length_parity(ELEMENT& record)
{
    if (record.length == 13) {
        dicom_log(LOG_WARNING, "Fix naughty GE tag length");
        record.length = 10;
    } else if (record.length % 2 != 0 && record.length != UNDEFINED_LENGTH) {
        dicom_log(LOG_WARNING, "Tag with uneven length");
    }
}

// Loads the Transfer Syntax UID for the reader itself, leaving the stream at
// the value's first byte so that the caller can still load or skip it.
bool take_transfer_syntax(ELEMENT& record)
{
    const int64_t value_start = reader_position();
    record.value = nullptr;
    if (dicom_load(VR_UI) != 0) {
        return false;
    }
    if (!seek_to(value_start)) {
        fail_seek();
        return false;
    }
    std::free(dicom_state.transfer_syntax);
    dicom_state.transfer_syntax = nullptr;
    if (vr_is_split_string(record.vr)) {
        dicom_state.transfer_syntax = static_cast<char**>(record.value);
    } else {
        // A value stated with a non-string VR has no component table to read.
        std::free(record.value);
        record.value = nullptr;
    }
    return true;
}

} // namespace

ELEMENT* dicom_element()
{
    dicom_log(LOG_DEBUG, "dicom_element()");
    if (dicom_state.reader_stream == nullptr) {
        return nullptr;
    }
    ELEMENT& record = dicom_record;
    record.offset = reader_position();

    uint16_t tag[2] = {0, 0};
    read_bytes(tag, sizeof tag);
    if (dicom_check_stream(1) != 0) {
        return nullptr;
    }
    dicom_swap(&tag[0], 2);
    dicom_swap(&tag[1], 2);
    record.group = tag[0];
    record.element = tag[1];

    // The file meta group is group 0x0002 alone: the data set starts at the
    // first other group (0x0004 in a media directory, a private group 0x0003...).
    if (dicom_state.meta_pending != 0 && record.group != 0x0002) {
        dicom_state.meta_pending = 0;
        dicom_transfer();
        if (!seek_to(record.offset)) {
            fail_seek();
            return nullptr;
        }
        return dicom_element();
    }

    read_vr_and_length(record);
    if (dicom_check_stream(0) != 0) {
        return nullptr;
    }
    check_length_parity(record);

    dicom_encapsulated(0);
    dicom_sequence(0);
    if (dicom_state.reader_stream == nullptr) {
        return nullptr;
    }

    if (record.group == 0x0002 && record.element == 0x0010 && !take_transfer_syntax(record)) {
        return nullptr;
    }
    return &record;
}
