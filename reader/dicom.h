// The element stream reader's record and its operations on the calling
// thread's reader (DicomReader in reader/dicom_reader.h): open one DICOM file,
// decide its encoding and hand out its data elements one at a time in the
// reader's ELEMENT record. Status integers, no exceptions.
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

// 0, or -1 no name, -4 cannot open, -5 the first 132 bytes cannot be read,
// -6 a deflated data set that cannot be inflated (too large, no room).
int dicom_open(const char* name);
ELEMENT* dicom_element();
int dicom_load(int32_t hint);
int dicom_skip();
void dicom_clean();
int dicom_close();

// Bytes left in the open file from the current position (0 when closed).
int64_t dicom_bytes_left();
