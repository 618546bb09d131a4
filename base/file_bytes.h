// How many bytes an open file still holds from its read position: the check
// that refuses a length before anything is read or allocated for it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// Size of the regular file behind stream; -1 when it is not a regular file
// (a pipe, a device) or its size cannot be known.
int64_t regular_file_size(std::FILE* stream);

// Bytes from stream's position to size (a size from regular_file_size): 0 at
// or past the end, INT64_MAX when size is -1 (nothing can be checked).
int64_t bytes_left_in_file(std::FILE* stream, int64_t size);

// The same for a file whose size is not known yet.
int64_t bytes_left_in_file(std::FILE* stream);

// How read_file_bytes ended.
enum class FileRead {
    done,          // every byte asked for, or all the file still held
    read_error,    // the stream failed; `bytes` holds what came before
    out_of_memory, // no room for the bytes; `bytes` is empty
};

// Reads up to `length` bytes from the stream's position into `bytes`, no more
// than the file still holds: a file of known size fills one buffer of that
// many bytes, any other stream (a pipe) one that grows with what arrives. The
// stream is left after the bytes read.
FileRead read_file_bytes(std::FILE* stream, uint64_t length, std::vector<uint8_t>& bytes);
