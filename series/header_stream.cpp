#include "series/header_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace {

// What the stream reads from: the file, its first block, the position.
struct HeaderFile {
    int fd = -1;
    int64_t size = 0;
    int64_t position = 0;
    std::array<char, 8192> head{};
    int64_t head_bytes = 0;
};

ssize_t read_header(void* cookie, char* buffer, std::size_t count)
{
    auto* f = static_cast<HeaderFile*>(cookie);
    if (f->position < f->head_bytes) {
        const auto n =
            static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(count), f->head_bytes - f->position));
        std::memcpy(buffer, f->head.data() + f->position, n);
        f->position += static_cast<int64_t>(n);
        return static_cast<ssize_t>(n);
    }
    const ssize_t n = ::pread(f->fd, buffer, count, static_cast<off_t>(f->position));
    if (n > 0) {
        f->position += n;
    }
    return n;
}

int seek_header(void* cookie, off64_t* offset, int whence)
{
    auto* f = static_cast<HeaderFile*>(cookie);
    int64_t base = 0;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = f->position; break;
    case SEEK_END: base = f->size; break;
    default: errno = EINVAL; return -1;
    }
    if ((*offset > 0 && base > INT64_MAX - *offset) || base + *offset < 0) {
        errno = EINVAL;
        return -1;
    }
    f->position = base + *offset;
    *offset = f->position;
    return 0;
}

int close_header(void* cookie)
{
    auto* f = static_cast<HeaderFile*>(cookie);
    const int status = ::close(f->fd);
    delete f;
    return status;
}

} // namespace

std::FILE* open_header_stream(const std::string& path, int64_t& size)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    auto* f = new HeaderFile;
    f->fd = fd;
    f->size = static_cast<int64_t>(st.st_size);
    const ssize_t n = ::pread(fd, f->head.data(), f->head.size(), 0);
    f->head_bytes = n > 0 ? n : 0;
    std::FILE* stream = fopencookie(f, "rb", {read_header, nullptr, seek_header, close_header});
    if (stream == nullptr) {
        const int error = errno;
        ::close(fd);
        delete f;
        errno = error;
        return nullptr;
    }
    size = f->size;
    return stream;
}
