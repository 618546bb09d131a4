// How many bytes an open file still holds from its read position: the check
// that refuses a length before anything is read or allocated for it.
#pragma once

#include <cstdint>
#include <cstdio>

// Size of the regular file behind stream; -1 when it is not a regular file
// (a pipe, a device) or its size cannot be known.
int64_t regular_file_size(std::FILE* stream);

// Bytes from stream's position to size (a size from regular_file_size): 0 at
// or past the end, INT64_MAX when size is -1 (nothing can be checked).
int64_t bytes_left_in_file(std::FILE* stream, int64_t size);

// The same for a file whose size is not known yet.
int64_t bytes_left_in_file(std::FILE* stream);
