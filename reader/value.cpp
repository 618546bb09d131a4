// Loading and skipping element values: the value blocks handed to the caller,
// their byte order, value multiplicity, string splitting and trimming.
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/log.h"
#include "reader/dicom_reader.h"
#include "reader/vr_table.h"

namespace {

// Bytes per unit that dicom_endian reverses; 0 for values never converted.
std::size_t endian_unit(int32_t vr)
{
    switch (vr) {
    case VR_AT:
    case VR_OW:
    case VR_SS:
    case VR_US: return 2;
    case VR_FL:
    case VR_OF:
    case VR_OL:
    case VR_SL:
    case VR_UL: return 4;
    case VR_FD:
    case VR_OD:
    case VR_OV:
    case VR_SV:
    case VR_UV: return 8;
    default: return 0;
    }
}

// Items and delimiters of a sequence have no value of their own; nor have
// sequences and undefined lengths, whose contents follow as elements.
bool has_no_value_to_read(const ELEMENT& record)
{
    return record.vr == VR_SQ || record.length == UNDEFINED_LENGTH ||
           (record.group == 0xFFFE && record.encapsulated == 0);
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

} // namespace

// Splits the text at the start of the value block into the pointer-table
// layout: vm slots, then the text with each backslash replaced by NUL.
int DicomReader::split_string_value()
{
    ELEMENT& record = record_;
    const std::size_t length = record.length;
    const std::size_t table_bytes = std::size_t{record.vm} * sizeof(char*);
    void* grown = std::realloc(record.value, table_bytes + length + 1);
    if (grown == nullptr) {
        std::free(record.value);
        record.value = nullptr;
        fail_out_of_memory();
        return -1;
    }
    record.value = grown;
    auto** slots = static_cast<char**>(grown);
    char* text = static_cast<char*>(grown) + table_bytes;
    std::memmove(text, grown, length);
    text[length] = '\0';

    std::size_t slot = 0;
    slots[slot++] = text;
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '\\') {
            text[i] = '\0';
            slots[slot++] = text + i + 1;
        }
    }
    if (length % 2 == 0 && text[length - 1] == ' ') {
        text[length - 1] = '\0';
    }
    return 0;
}

void DicomReader::vr()
{
    dicom_log(LogLevel::debug, "dicom_vr()");
    const uint16_t tag[2] = {record_.group, record_.element};
    const VrTableEntry* entry = dicom_private(vr_lookup_table, tag);
    record_.vr = entry != nullptr ? entry->vr : VR_UN;
}

int DicomReader::load(int32_t hint)
{
    dicom_log(LogLevel::debug, "dicom_load()");
    if (state_.reader_stream == nullptr) {
        dicom_log(LogLevel::warning, "Stream closed - attempt to load");
        return -1;
    }
    ELEMENT& record = record_;
    if (record.vr == VR_UN) {
        record.vr = hint;
    }
    if (has_no_value_to_read(record)) {
        return 0;
    }
    if (record.length == 0) {
        record.value = nullptr;
        return vm();
    }
    // A length the rest of the file cannot hold is refused before allocating.
    if (static_cast<int64_t>(record.length) > bytes_left()) {
        fail_end_of_file();
        return -3;
    }
    void* block = std::calloc(std::size_t{record.length} + 4, 1);
    if (block == nullptr) {
        fail_out_of_memory();
        return -2;
    }
    const std::size_t got = std::fread(block, 1, record.length, state_.reader_stream);
    if (got != record.length || check_stream(0) != 0) {
        std::free(block);
        record.value = nullptr;
        if (state_.reader_stream != nullptr) {
            fail_end_of_file(); // a short read without a stream flag
        }
        return -3;
    }
    record.value = block;
    load_endian();
    return vm();
}

int DicomReader::skip()
{
    dicom_log(LogLevel::debug, "dicom_skip()");
    if (state_.reader_stream == nullptr) {
        dicom_log(LogLevel::warning, "Stream closed - attempt to skip");
        return -1;
    }
    const ELEMENT& record = record_;
    if (has_no_value_to_read(record)) {
        return 0;
    }
    // Seeking past the end sets no end-of-file flag: check the length first.
    if (static_cast<int64_t>(record.length) > bytes_left()) {
        return fail_end_of_file();
    }
    if (fseeko(state_.reader_stream, static_cast<off_t>(record.length), SEEK_CUR) != 0) {
        return fail(-1, "Error while reading file");
    }
    return check_stream(0);
}

void DicomReader::load_endian()
{
    if (record_.group == 0x7FE0 && record_.element == 0x0010) {
        state_.syntax = state_.pixel_syntax;
        endian();
        state_.syntax = state_.data_syntax;
    } else {
        endian();
    }
}

void DicomReader::endian()
{
    dicom_log(LogLevel::debug, "dicom_endian()");
    if ((state_.syntax & state_.host_order) != 0 || record_.value == nullptr ||
        record_.length == UNDEFINED_LENGTH) {
        return;
    }
    const std::size_t unit = endian_unit(record_.vr);
    if (unit == 0) {
        return;
    }
    auto* bytes = static_cast<unsigned char*>(record_.value);
    const std::size_t units = record_.length / unit;
    for (std::size_t u = 0; u < units; ++u) {
        unsigned char* first = bytes + u * unit;
        for (std::size_t low = 0, high = unit - 1; low < high; ++low, --high) {
            std::swap(first[low], first[high]);
        }
    }
}

int DicomReader::vm()
{
    dicom_log(LogLevel::debug, "dicom_vm()");
    ELEMENT& record = record_;
    if (record.length == UNDEFINED_LENGTH) {
        record.vm = 1;
        return 0;
    }
    if (record.length == 0) {
        record.vm = 0;
        return 0;
    }
    if (vr_is_split_string(record.vr)) {
        if (record.value == nullptr) {
            record.vm = 0;
            return 0;
        }
        const auto* text = static_cast<const char*>(record.value);
        uint32_t backslashes = 0;
        for (uint32_t i = 0; i < record.length; ++i) {
            backslashes += text[i] == '\\' ? 1 : 0;
        }
        record.vm = 1 + backslashes;
        return split_string_value();
    }
    switch (record.vr) {
    case VR_AT:
    case VR_FL:
    case VR_SL:
    case VR_UL: record.vm = record.length / 4; break;
    case VR_FD:
    case VR_SV:
    case VR_UV: record.vm = record.length / 8; break;
    case VR_SS:
    case VR_US: record.vm = record.length / 2; break;
    default: record.vm = 1; break;
    }
    return 0;
}

void DicomReader::clean()
{
    dicom_log(LogLevel::debug, "dicom_clean()");
    ELEMENT& record = record_;
    if (!vr_is_split_string(record.vr) || record.value == nullptr) {
        return;
    }
    auto** slots = static_cast<char**>(record.value);
    for (uint32_t i = 0; i < record.vm; ++i) {
        char* component = slots[i];
        if (record.vr == VR_PN) {
            for (char* c = component; *c != '\0'; ++c) {
                if (*c == '^') {
                    *c = ' ';
                }
            }
        }
        while (is_blank(*component)) {
            ++component;
        }
        char* end = component + std::strlen(component);
        while (end > component && is_blank(end[-1])) {
            *--end = '\0';
        }
        slots[i] = component;
    }
}
