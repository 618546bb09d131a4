// Shared between the reader's source files; not part of the public header.
#pragma once

#include <cstdint>

#include "reader/dicom.h"

// The one element record that dicom_element() fills and returns.
extern ELEMENT dicom_record;

// Current position of the open stream.
int64_t reader_position();

// Logs message as an error, closes the reader and records status as the
// failure that ended the reading; returns status.
int reader_fail(int status, const char* message);

// Records a failure that ends the reading, logs "Unexpected end of file" and
// closes the reader; returns -2. Used when a length runs past the end of the
// file, before anything is read or allocated for it.
int reader_fail_end_of_file();

// Records an allocation failure, logs "Out of memory" and closes the reader.
void reader_fail_out_of_memory();
