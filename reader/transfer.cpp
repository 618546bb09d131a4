// The context of each element: the transfer syntax of the data set, the
// encapsulated-data state and the nesting of sequences.
#include <cstring>
#include <string>

#include "reader/dicom.h"
#include "reader/log.h"
#include "reader/reader_internal.h"

namespace {

bool begins_with(const char* uid, const char* prefix)
{
    return std::strncmp(uid, prefix, std::strlen(prefix)) == 0;
}

bool matches_any(const char* uid, std::initializer_list<const char*> prefixes)
{
    for (const char* prefix : prefixes) {
        if (begins_with(uid, prefix)) {
            return true;
        }
    }
    return false;
}

int32_t jpeg_compression(const char* uid)
{
    if (matches_any(uid, {"1.2.840.10008.1.2.4.50", "1.2.840.10008.1.2.4.51", "1.2.840.10008.1.2.4.52",
                          "1.2.840.10008.1.2.4.53", "1.2.840.10008.1.2.4.54", "1.2.840.10008.1.2.4.55",
                          "1.2.840.10008.1.2.4.56", "1.2.840.10008.1.2.4.59", "1.2.840.10008.1.2.4.60",
                          "1.2.840.10008.1.2.4.61", "1.2.840.10008.1.2.4.62", "1.2.840.10008.1.2.4.63",
                          "1.2.840.10008.1.2.4.64"})) {
        return COMPRESSION_JPEG_LOSSY;
    }
    if (matches_any(uid, {"1.2.840.10008.1.2.4.57", "1.2.840.10008.1.2.4.58", "1.2.840.10008.1.2.4.65",
                          "1.2.840.10008.1.2.4.66", "1.2.840.10008.1.2.4.70"})) {
        return COMPRESSION_JPEG_LOSSLESS;
    }
    return COMPRESSION_OTHER;
}

void set_whole_syntax(int32_t syntax)
{
    dicom_state.syntax = syntax;
    dicom_state.data_syntax = syntax;
    dicom_state.pixel_syntax = syntax;
}

constexpr std::size_t dicom_root_length = 17; // strlen("1.2.840.10008.1.2")

} // namespace

void dicom_transfer()
{
    dicom_log(LOG_DEBUG, "dicom_transfer()");
    if (dicom_state.transfer_syntax == nullptr) {
        dicom_log(LOG_WARNING, "No transfer syntax found");
        return;
    }
    const char* uid = dicom_state.transfer_syntax[0];
    if (begins_with(uid, "1.2.840.113619.5.2")) {
        dicom_state.syntax = SYNTAX_IMPLICIT | SYNTAX_LITTLE;
        dicom_state.data_syntax = SYNTAX_IMPLICIT | SYNTAX_LITTLE;
        dicom_state.pixel_syntax = SYNTAX_IMPLICIT | SYNTAX_BIG;
        return;
    }
    if (!begins_with(uid, "1.2.840.10008.1.2")) {
        dicom_log(LOG_WARNING, "Transfer syntax is not DICOM");
        return;
    }
    dicom_state.compression = COMPRESSION_NONE;
    if (begins_with(uid, "1.2.840.10008.1.2.4")) {
        dicom_state.compression = jpeg_compression(uid);
        return;
    }
    if (begins_with(uid, "1.2.840.10008.1.2.5")) {
        dicom_state.compression = COMPRESSION_RLE;
        return;
    }
    // The UID is at least the 17-character root; a '.' there means a
    // character (possibly the terminating NUL) follows it.
    if (uid[dicom_root_length] != '.') {
        set_whole_syntax(SYNTAX_IMPLICIT | SYNTAX_LITTLE);
    } else if (uid[dicom_root_length + 1] == '1') {
        // explicit VR little endian: the meta group's encoding goes on
    } else if (uid[dicom_root_length + 1] == '2') {
        set_whole_syntax(SYNTAX_EXPLICIT | SYNTAX_BIG);
    } else {
        dicom_log(LOG_WARNING, "Unknown transfer syntax");
        dicom_log(LOG_WARNING, uid);
    }
}

void dicom_encapsulated(int reset)
{
    dicom_log(LOG_DEBUG, "dicom_encapsulated()");
    if (reset != 0) {
        dicom_state.encaps_state = 0;
        return;
    }
    ELEMENT& record = dicom_record;
    record.encapsulated = dicom_state.encaps_state;
    if (dicom_state.encaps_state != 0 && record.group == 0xFFFE && record.element == 0xE0DD) {
        dicom_state.encaps_state = 0;
    }
    if (record.length == UNDEFINED_LENGTH && record.vr != VR_SQ && record.group != 0xFFFE) {
        dicom_state.encaps_state = -1;
    }
}

namespace {

// Counts the element just read against the innermost sequence of defined
// length, closing that level when it is used up or overrun.
void count_against_open_level(const ELEMENT& record)
{
    uint8_t& level = dicom_state.sq_level;
    uint32_t& remaining = dicom_state.sq_remaining[level];
    if (remaining == UNDEFINED_LENGTH) {
        return;
    }
    uint32_t consumed = static_cast<uint32_t>(reader_position() - record.offset);
    const bool is_item = record.group == 0xFFFE && record.element == 0xE000;
    if (record.length != UNDEFINED_LENGTH && !is_item) {
        consumed += record.length;
    }
    if (remaining < consumed) {
        dicom_log(LOG_WARNING, "Incorrect sequence length");
        --level;
    } else {
        remaining -= consumed;
    }
    if (level > 0 && dicom_state.sq_remaining[level] == 0) {
        --level;
    }
}

// The premature item: 4 more bytes follow its header and are passed over.
void skip_premature_item(ELEMENT& record)
{
    dicom_log(LOG_WARNING, "Skip PHILIPS premature item bug");
    record.length = 0;
    record.vm = 0;
    if (dicom_bytes_left() < 4) {
        reader_fail_end_of_file();
        return;
    }
    if (fseeko(dicom_state.reader_stream, 4, SEEK_CUR) != 0) {
        dicom_check_stream(0);
    }
}

} // namespace

void dicom_sequence(int reset)
{
    dicom_log(LOG_DEBUG, "dicom_sequence()");
    if (reset != 0) {
        dicom_state.sq_level = 0;
        return;
    }
    ELEMENT& record = dicom_record;
    uint8_t& level = dicom_state.sq_level;
    record.sq_depth = level;
    if (level > 0) {
        record.sq_group = dicom_state.sq_tags[level][0];
        record.sq_element = dicom_state.sq_tags[level][1];
        if (record.group == 0xFFFE && record.element == 0x0000) {
            skip_premature_item(record);
            return;
        }
        count_against_open_level(record);
    }
    if (record.vr == VR_SQ) {
        if (level == 255) {
            dicom_log(LOG_WARNING, "Deep sequence hierarchy");
        } else {
            ++level;
            dicom_state.sq_remaining[level] = record.length;
            dicom_state.sq_tags[level][0] = record.group;
            dicom_state.sq_tags[level][1] = record.element;
        }
    }
    if (record.group == 0xFFFE && record.element == 0xE0DD && record.encapsulated == 0) {
        if (level > 0) {
            --level;
        } else {
            dicom_log(LOG_WARNING, "Incorrect sequence delimiter");
        }
    }
}
