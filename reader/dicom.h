// The element stream reader: opens one DICOM file, decides its encoding and
// hands out its data elements one at a time in one shared ELEMENT record.
// Module-wide state, status integers, no exceptions: one file at a time.
#pragma once

#include <cstdint>
#include <cstdio>

#include "reader/vr.h"

// Syntax bit set: the encoding in force.
enum : int32_t {
    SYNTAX_LITTLE = 1,
    SYNTAX_BIG = 2,
    SYNTAX_IMPLICIT = 4,
    SYNTAX_EXPLICIT = 8,
};

// Compression kind of the pixel data, set by the transfer syntax.
enum : int32_t {
    COMPRESSION_NONE = 0,
    COMPRESSION_OTHER = 16,
    COMPRESSION_JPEG_LOSSLESS = 32,
    COMPRESSION_JPEG_LOSSY = 64,
    COMPRESSION_RLE = 128,
};

constexpr uint32_t UNDEFINED_LENGTH = 0xFFFFFFFFU;

// The record of the current data element, overwritten by each dicom_element().
struct ELEMENT {
    uint16_t group;
    uint16_t element;
    int32_t vr;
    uint32_t length; // UNDEFINED_LENGTH for an undefined length
    void* value;     // loaded value (see dicom_load), owned by the caller
    uint32_t vm;
    int32_t encapsulated; // 0, or -1 inside encapsulated data
    uint8_t sq_depth;
    uint16_t sq_group;
    uint16_t sq_element;
    int64_t offset; // file position of the element's tag
};

// Module-wide reader state. Read by image extraction and the decoders;
// written only by the reader.
struct DicomReaderState {
    std::FILE* reader_stream;
    char** transfer_syntax; // split string value of (0002,0010), owned by the reader
    int32_t meta_pending;
    int32_t syntax;
    int32_t data_syntax;
    int32_t pixel_syntax;
    int32_t host_order;
    int32_t compression;
    int32_t encaps_state;
    uint8_t sq_level;
    uint32_t sq_remaining[256];
    uint16_t sq_tags[256][2];
    int64_t file_size; // bytes in the open file, for refusing impossible lengths
    // 0, or the status of the failure that closed the reader (-1 read error,
    // -2 end of file inside an element, -3 no memory); reset by dicom_open.
    // The end of the file at an element boundary is no failure.
    int32_t failure;
    // The stream is a deflated file's inflated view (reset by dicom_close).
    bool stream_is_inflated_view;
};

extern DicomReaderState dicom_state;

// 0, or -1 no name, -4 cannot open, -5 the first 132 bytes cannot be read,
// -6 a deflated data set that cannot be inflated (too large, no room).
int dicom_open(const char* name);
ELEMENT* dicom_element();
int dicom_load(int32_t hint);
int dicom_skip();
void dicom_clean();
int dicom_close();
void dicom_vr();
int dicom_vm();
void dicom_endian();
void dicom_load_endian();
void dicom_swap(void* number, int size);
int dicom_check_stream(int quiet);
void dicom_toggle_host_order();

void dicom_transfer();
void dicom_encapsulated(int reset);
void dicom_sequence(int reset);

// Bytes left in the open file from the current position (0 when closed).
int64_t dicom_bytes_left();
