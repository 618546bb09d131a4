// The element stream reader: opening a file, guessing its encoding, reading
// element headers, and the stream checks that close the reader on failure.
#include "reader/dicom_reader.h"

#include <array>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "base/file_bytes.h"
#include "base/log.h"
#include "reader/inflate_view.h"
#include "reader/written_vr.h"

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

// Logs the preamble as text up to its first NUL, never past its 128 bytes.
void log_preamble(const std::array<char, preamble_and_magic>& buffer)
{
    dicom_log(LogLevel::info, "Dicom preamble");
    const std::string text(buffer.data(), strnlen(buffer.data(), preamble_size));
    dicom_log(LogLevel::info, text.c_str());
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

} // namespace

DicomReader::~DicomReader() { close(); }

bool DicomReader::read_bytes(void* into, std::size_t count)
{
    return std::fread(into, 1, count, state_.reader_stream) == count;
}

bool DicomReader::seek_to(int64_t position)
{
    return fseeko(state_.reader_stream, static_cast<off_t>(position), SEEK_SET) == 0;
}

// A seek that the stream refuses is a read error.
void DicomReader::fail_seek() { fail(-1, "Error while reading file"); }

// A deflated data set is read through its inflated view from here on: the
// reader's stream becomes the view. False when the data set was refused.
bool DicomReader::read_through_inflated_view()
{
    if (state_.stream_is_inflated_view) {
        return true;
    }
    const InflatedView view = open_inflated_view(state_.reader_stream);
    if (view.refused) {
        if (view.stream != nullptr) {
            std::fclose(view.stream);
        }
        close();
        return false;
    }
    if (view.stream != nullptr) {
        std::fclose(state_.reader_stream);
        state_.reader_stream = view.stream;
        state_.file_size = regular_file_size(view.stream);
        state_.stream_is_inflated_view = true;
    }
    return true;
}

int64_t DicomReader::position() const { return static_cast<int64_t>(ftello(state_.reader_stream)); }

int DicomReader::fail(int status, const char* message)
{
    dicom_log(LogLevel::error, message);
    close();
    state_.failure = status;
    return status;
}

int DicomReader::fail_end_of_file() { return fail(-2, "Unexpected end of file"); }

void DicomReader::fail_out_of_memory() { fail(-3, "Out of memory"); }

int64_t DicomReader::bytes_left() const
{
    if (state_.reader_stream == nullptr) {
        return 0;
    }
    return bytes_left_in_file(state_.reader_stream, state_.file_size);
}

int DicomReader::open(const char* name)
{
    dicom_log(LogLevel::debug, "dicom_open()");
    if (name == nullptr) {
        dicom_log(LogLevel::error, "No file given");
        return -1;
    }
    state_.failure = 0;
    if (state_.reader_stream == nullptr) {
        state_.reader_stream = std::fopen(name, "rb");
        if (state_.reader_stream == nullptr) {
            dicom_log(LogLevel::error, "Unable to open file");
            return -4;
        }
        state_.file_size = regular_file_size(state_.reader_stream);
    }
    return start();
}

int DicomReader::open_stream(std::FILE* stream, bool inflated_view)
{
    return open_stream(stream, inflated_view, regular_file_size(stream));
}

int DicomReader::open_stream(std::FILE* stream, bool inflated_view, int64_t file_size)
{
    dicom_log(LogLevel::debug, "dicom_open()");
    close();
    state_ = DicomReaderState{};
    state_.reader_stream = stream;
    state_.file_size = file_size;
    state_.stream_is_inflated_view = inflated_view;
    return restart();
}

int DicomReader::restart()
{
    if (state_.reader_stream == nullptr) {
        return -4;
    }
    std::clearerr(state_.reader_stream);
    if (!seek_to(0)) {
        fail_seek();
        return -5;
    }
    state_.failure = 0;
    state_.compression = COMPRESSION_NONE;
    return start();
}

int DicomReader::start()
{
    std::array<char, preamble_and_magic> buffer{};
    read_bytes(buffer.data(), buffer.size());
    if (check_stream(0) != 0) {
        return -5;
    }

    if (std::memcmp(buffer.data() + preamble_size, "DICM", 4) == 0) {
        log_preamble(buffer);
        if (!read_through_inflated_view()) {
            return -6;
        }
        const int64_t meta_start = position();
        state_.meta_pending = -1;
        state_.syntax = SYNTAX_EXPLICIT | SYNTAX_LITTLE;
        // The meta group is explicit VR little endian whichever element it
        // starts with, (0002,0000) or not. Only a first element without VR
        // letters after its tag (a meta group written implicit) is read implicit.
        std::array<char, 6> peek{};
        read_bytes(peek.data(), peek.size());
        if (!is_vr_letter(peek[4]) || !is_vr_letter(peek[5])) {
            state_.syntax = SYNTAX_IMPLICIT | SYNTAX_LITTLE;
        }
        if (!seek_to(meta_start)) {
            fail_seek();
            return -5;
        }
    } else {
        std::rewind(state_.reader_stream);
        state_.meta_pending = 0;
        state_.syntax = guess_syntax(buffer);
    }
    state_.data_syntax = state_.syntax;
    state_.pixel_syntax = state_.syntax;
    state_.host_order = machine_byte_order();
    encapsulated(1);
    sequence(1);
    return 0;
}

void DicomReader::attach(std::FILE* stream, int64_t file_size, int32_t syntax)
{
    close();
    state_ = DicomReaderState{};
    state_.reader_stream = stream;
    state_.file_size = file_size;
    state_.syntax = syntax;
    state_.data_syntax = syntax;
    state_.pixel_syntax = syntax;
    state_.host_order = machine_byte_order();
}

std::FILE* DicomReader::detach()
{
    std::FILE* stream = state_.reader_stream;
    state_.reader_stream = nullptr;
    state_.file_size = 0;
    return stream;
}

int DicomReader::close()
{
    dicom_log(LogLevel::debug, "dicom_close()");
    if (state_.reader_stream == nullptr) {
        return 0;
    }
    std::free(state_.transfer_syntax);
    state_.transfer_syntax = nullptr;
    state_.stream_is_inflated_view = false;
    const int closed = std::fclose(state_.reader_stream);
    state_.reader_stream = nullptr;
    state_.file_size = 0;
    if (closed != 0) {
        dicom_log(LogLevel::warning, "Unable to close file");
        return -1;
    }
    return 0;
}

int DicomReader::check_stream(int quiet)
{
    std::FILE* stream = state_.reader_stream;
    if (stream == nullptr) {
        return -1;
    }
    if (std::ferror(stream) != 0) {
        return fail(-1, "Error while reading file");
    }
    if (std::feof(stream) != 0) {
        // Quiet: the end of the file at an element boundary is no failure.
        if (quiet == 0) {
            return fail_end_of_file();
        }
        close();
        return -2;
    }
    return 0;
}

void DicomReader::swap(void* number, int size) const
{
    if ((state_.syntax & state_.host_order) != 0 || number == nullptr || size < 2) {
        return;
    }
    auto* bytes = static_cast<unsigned char*>(number);
    for (int low = 0, high = size - 1; low < high; ++low, --high) {
        std::swap(bytes[low], bytes[high]);
    }
}

void DicomReader::toggle_host_order()
{
    state_.host_order = state_.host_order == SYNTAX_LITTLE ? SYNTAX_BIG : SYNTAX_LITTLE;
}

// Reads the VR (when the header carries one) and the length of the element
// whose tag has just been read.
void DicomReader::read_vr_and_length()
{
    ELEMENT& record = record_;
    if ((state_.syntax & SYNTAX_IMPLICIT) != 0 || record.group == 0xFFFE) {
        vr();
        uint32_t length = 0;
        read_bytes(&length, sizeof length);
        swap(&length, sizeof length);
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
        swap(&length, sizeof length);
        record.length = length;
    } else {
        uint16_t length = 0;
        read_bytes(&length, sizeof length);
        swap(&length, sizeof length);
        record.length = length;
    }
}

namespace {

void check_length_parity(ELEMENT& record)
{
    if (record.length == 13) {
        dicom_log(LogLevel::warning, "Fix naughty GE tag length");
        record.length = 10;
    } else if (record.length % 2 != 0 && record.length != UNDEFINED_LENGTH) {
        dicom_log(LogLevel::warning, "Tag with uneven length");
    }
}

} // namespace

// Loads the Transfer Syntax UID for the reader itself, leaving the stream at
// the value's first byte so that the caller can still load or skip it.
bool DicomReader::take_transfer_syntax()
{
    ELEMENT& record = record_;
    const int64_t value_start = position();
    record.value = nullptr;
    if (load(VR_UI) != 0) {
        return false;
    }
    if (!seek_to(value_start)) {
        fail_seek();
        return false;
    }
    std::free(state_.transfer_syntax);
    state_.transfer_syntax = nullptr;
    if (vr_is_split_string(record.vr)) {
        state_.transfer_syntax = static_cast<char**>(record.value);
    } else {
        // A value stated with a non-string VR has no component table to read.
        std::free(record.value);
        record.value = nullptr;
    }
    return true;
}

void DicomReader::follow_written_vr()
{
    if (state_.transfer_syntax == nullptr || state_.transfer_syntax[0] == nullptr ||
        declared_vr(state_.transfer_syntax[0]) == WrittenVr::unknown) {
        return; // no syntax that says how the data set is written
    }
    std::array<uint8_t, 6> head{};
    const std::size_t got = std::fread(head.data(), 1, head.size(), state_.reader_stream);
    const WrittenVr written = written_vr(head.data(), got, (state_.syntax & SYNTAX_BIG) != 0);
    const bool read_implicit = (state_.syntax & SYNTAX_IMPLICIT) != 0;
    if (written == WrittenVr::unknown || (written == WrittenVr::implicit_vr) == read_implicit) {
        return;
    }
    dicom_log(LogLevel::warning, written_vr_warning(written));
    const int32_t encoding = written == WrittenVr::implicit_vr ? SYNTAX_IMPLICIT : SYNTAX_EXPLICIT;
    for (int32_t* syntax : {&state_.syntax, &state_.data_syntax, &state_.pixel_syntax}) {
        *syntax = (*syntax & ~(SYNTAX_IMPLICIT | SYNTAX_EXPLICIT)) | encoding;
    }
}

ELEMENT* DicomReader::element()
{
    dicom_log(LogLevel::debug, "dicom_element()");
    if (state_.reader_stream == nullptr) {
        return nullptr;
    }
    ELEMENT& record = record_;
    record.offset = position();

    uint16_t tag[2] = {0, 0};
    read_bytes(tag, sizeof tag);
    if (check_stream(1) != 0) {
        return nullptr;
    }
    swap(&tag[0], 2);
    swap(&tag[1], 2);
    record.group = tag[0];
    record.element = tag[1];

    // The file meta group is group 0x0002 alone: the data set starts at the
    // first other group (0x0004 in a media directory, a private group 0x0003...).
    if (state_.meta_pending != 0 && record.group != 0x0002) {
        state_.meta_pending = 0;
        transfer();
        if (!seek_to(record.offset)) {
            fail_seek();
            return nullptr;
        }
        follow_written_vr();
        if (!seek_to(record.offset)) {
            fail_seek();
            return nullptr;
        }
        return element();
    }

    read_vr_and_length();
    if (check_stream(0) != 0) {
        return nullptr;
    }
    check_length_parity(record);

    encapsulated(0);
    sequence(0);
    if (state_.reader_stream == nullptr) {
        return nullptr;
    }

    if (record.group == 0x0002 && record.element == 0x0010 && !take_transfer_syntax()) {
        return nullptr;
    }
    return &record;
}
