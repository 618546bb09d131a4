#include "base/file_bytes.h"

#include <sys/stat.h>

int64_t regular_file_size(std::FILE* stream)
{
    struct stat info {};
    if (stream == nullptr || fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    return static_cast<int64_t>(info.st_size);
}

int64_t bytes_left_in_file(std::FILE* stream, int64_t size)
{
    if (size < 0) {
        return INT64_MAX;
    }
    const int64_t position = ftello(stream);
    if (position < 0) {
        return INT64_MAX;
    }
    return size > position ? size - position : 0;
}

int64_t bytes_left_in_file(std::FILE* stream) { return bytes_left_in_file(stream, regular_file_size(stream)); }
