// A file opened for reading its header: the first block comes by one
// positioned read when the file is opened, later bytes by positioned reads
// as they are asked for, and seeks cost no system call. A folder scan reads
// thousands of headers through these.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Opens path; null with errno set when it cannot be opened. `size` is the
// file's size. The stream has no file descriptor of its own (fileno is -1).
std::FILE* open_header_stream(const std::string& path, int64_t& size);
