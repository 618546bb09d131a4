// The context of each element: the transfer syntax of the data set, the
// encapsulated-data state and the nesting of sequences.
#include <cstring>
#include <string>

#include "base/log.h"
#include "reader/dicom_reader.h"
#include "reader/transfer_syntax.h"

namespace {

bool begins_with(const char* uid, const char* prefix)
{
    return std::strncmp(uid, prefix, std::strlen(prefix)) == 0;
}

int32_t jpeg_compression(const char* uid)
{
    const TransferSyntax* syntax = jpeg_syntax_prefixing(uid);
    return syntax != nullptr ? syntax->compression : COMPRESSION_OTHER;
}

constexpr std::size_t dicom_root_length = 17; // strlen("1.2.840.10008.1.2")

} // namespace

void DicomReader::set_whole_syntax(int32_t syntax)
{
    state_.syntax = syntax;
    state_.data_syntax = syntax;
    state_.pixel_syntax = syntax;
}

void DicomReader::transfer()
{
    dicom_log(LogLevel::debug, "dicom_transfer()");
    if (state_.transfer_syntax == nullptr) {
        dicom_log(LogLevel::warning, "No transfer syntax found");
        return;
    }
    const char* uid = state_.transfer_syntax[0];
    if (begins_with(uid, "1.2.840.113619.5.2")) {
        state_.syntax = SYNTAX_IMPLICIT | SYNTAX_LITTLE;
        state_.data_syntax = SYNTAX_IMPLICIT | SYNTAX_LITTLE;
        state_.pixel_syntax = SYNTAX_IMPLICIT | SYNTAX_BIG;
        return;
    }
    if (!begins_with(uid, "1.2.840.10008.1.2")) {
        dicom_log(LogLevel::warning, "Transfer syntax is not DICOM");
        return;
    }
    state_.compression = COMPRESSION_NONE;
    if (begins_with(uid, "1.2.840.10008.1.2.4")) {
        state_.compression = jpeg_compression(uid);
        return;
    }
    if (begins_with(uid, "1.2.840.10008.1.2.5")) {
        state_.compression = COMPRESSION_RLE;
        return;
    }
    // The UID is at least the 17-character root; a '.' there means a
    // character (possibly the terminating NUL) follows it.
    if (uid[dicom_root_length] != '.') {
        set_whole_syntax(SYNTAX_IMPLICIT | SYNTAX_LITTLE);
    } else if (uid[dicom_root_length + 1] == '1' || begins_with(uid, "1.2.840.10008.1.2.8.")) {
        // explicit VR little endian (deflated frames too): the meta group's
        // encoding goes on
    } else if (uid[dicom_root_length + 1] == '2') {
        set_whole_syntax(SYNTAX_EXPLICIT | SYNTAX_BIG);
    } else {
        dicom_log(LogLevel::warning, "Unknown transfer syntax");
        dicom_log(LogLevel::warning, uid);
    }
}

void DicomReader::encapsulated(int reset)
{
    dicom_log(LogLevel::debug, "dicom_encapsulated()");
    if (reset != 0) {
        state_.encaps_state = 0;
        return;
    }
    ELEMENT& record = record_;
    record.encapsulated = state_.encaps_state;
    if (state_.encaps_state != 0 && record.group == 0xFFFE && record.element == 0xE0DD) {
        state_.encaps_state = 0;
    }
    if (record.length == UNDEFINED_LENGTH && record.vr != VR_SQ && record.group != 0xFFFE) {
        state_.encaps_state = -1;
    }
}

// Counts the element just read against the innermost sequence of defined
// length, closing that level when it is used up or overrun.
void DicomReader::count_against_open_level()
{
    const ELEMENT& record = record_;
    uint8_t& level = state_.sq_level;
    uint32_t& remaining = state_.sq_remaining[level];
    if (remaining == UNDEFINED_LENGTH) {
        return;
    }
    uint32_t consumed = static_cast<uint32_t>(position() - record.offset);
    const bool is_item = record.group == 0xFFFE && record.element == 0xE000;
    if (record.length != UNDEFINED_LENGTH && !is_item) {
        consumed += record.length;
    }
    if (remaining < consumed) {
        dicom_log(LogLevel::warning, "Incorrect sequence length");
        --level;
    } else {
        remaining -= consumed;
    }
    if (level > 0 && state_.sq_remaining[level] == 0) {
        --level;
    }
}

// The premature item: 4 more bytes follow its header and are passed over.
void DicomReader::skip_premature_item()
{
    ELEMENT& record = record_;
    dicom_log(LogLevel::warning, "Skip PHILIPS premature item bug");
    record.length = 0;
    record.vm = 0;
    if (bytes_left() < 4) {
        fail_end_of_file();
        return;
    }
    if (fseeko(state_.reader_stream, 4, SEEK_CUR) != 0) {
        check_stream(0);
    }
}

void DicomReader::sequence(int reset)
{
    dicom_log(LogLevel::debug, "dicom_sequence()");
    if (reset != 0) {
        state_.sq_level = 0;
        return;
    }
    ELEMENT& record = record_;
    uint8_t& level = state_.sq_level;
    record.sq_depth = level;
    if (level > 0) {
        record.sq_group = state_.sq_tags[level][0];
        record.sq_element = state_.sq_tags[level][1];
        if (record.group == 0xFFFE && record.element == 0x0000) {
            skip_premature_item();
            return;
        }
        count_against_open_level();
    }
    if (record.vr == VR_SQ) {
        if (level == 255) {
            dicom_log(LogLevel::warning, "Deep sequence hierarchy");
        } else {
            ++level;
            state_.sq_remaining[level] = record.length;
            state_.sq_tags[level][0] = record.group;
            state_.sq_tags[level][1] = record.element;
        }
    }
    if (record.group == 0xFFFE && record.element == 0xE0DD && record.encapsulated == 0) {
        if (level > 0) {
            --level;
        } else {
            dicom_log(LogLevel::warning, "Incorrect sequence delimiter");
        }
    }
}
