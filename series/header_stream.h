// A file opened for reading its header: its first bytes come by one
// positioned read, more by further positioned reads when they are asked
// for, and a stream over it (for the reader) seeks without system calls.
// A folder scan reads thousands of headers through these.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class HeaderFile {
public:
    HeaderFile() = default;
    ~HeaderFile();
    HeaderFile(const HeaderFile&) = delete;
    HeaderFile& operator=(const HeaderFile&) = delete;

    // Opens path and reads its first 8 KiB; false with errno set when it cannot.
    bool open(const std::string& path);
    // The bytes read so far, from the file's first byte.
    const std::string& bytes() const { return bytes_; }
    int64_t size() const { return size_; }
    // Reads on to twice as many bytes (at most the file); false when nothing more came.
    bool read_more();
    // A stream over the whole file that takes the file over (null with errno
    // set when it cannot be made). It has no file descriptor of its own
    // (fileno is -1): the reader is given size() instead.
    std::FILE* stream();

private:
    int fd_ = -1;
    int64_t size_ = 0;
    std::string bytes_;
};
