#include "base/file_bytes.h"

#include <sys/stat.h>

#include <algorithm>
#include <new>

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

FileRead read_file_bytes(std::FILE* stream, uint64_t length, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    if (stream == nullptr) {
        return FileRead::read_error;
    }
    const int64_t left = bytes_left_in_file(stream);
    const bool size_known = left != INT64_MAX;
    const uint64_t wanted = std::min({length, static_cast<uint64_t>(left), uint64_t{SIZE_MAX}});
    // A stream of unknown size grows its buffer by what it has already read,
    // from a first piece of this many bytes.
    constexpr std::size_t first_piece = std::size_t{1} << 16;
    try {
        while (bytes.size() < wanted) {
            const std::size_t missing = static_cast<std::size_t>(wanted - bytes.size());
            const std::size_t step = size_known ? missing : std::min(missing, std::max(first_piece, bytes.size()));
            const std::size_t at = bytes.size();
            bytes.resize(at + step);
            const std::size_t got = std::fread(bytes.data() + at, 1, step, stream);
            bytes.resize(at + got);
            if (got < step) {
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        std::vector<uint8_t>().swap(bytes);
        return FileRead::out_of_memory;
    }
    return std::ferror(stream) != 0 ? FileRead::read_error : FileRead::done;
}
