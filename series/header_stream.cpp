#include "series/header_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr std::size_t first_read = 8192;

// What the stream reads from: the file, its first bytes, the position.
struct StreamState {
    int fd = -1;
    int64_t size = 0;
    int64_t position = 0;
    std::string head;
};

ssize_t read_stream(void* cookie, char* buffer, std::size_t count)
{
    auto* s = static_cast<StreamState*>(cookie);
    const auto head = static_cast<int64_t>(s->head.size());
    if (s->position < head) {
        const auto n =
            static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(count), head - s->position));
        std::memcpy(buffer, s->head.data() + s->position, n);
        s->position += static_cast<int64_t>(n);
        return static_cast<ssize_t>(n);
    }
    const ssize_t n = ::pread(s->fd, buffer, count, static_cast<off_t>(s->position));
    if (n > 0) {
        s->position += n;
    }
    return n;
}

int seek_stream(void* cookie, off64_t* offset, int whence)
{
    auto* s = static_cast<StreamState*>(cookie);
    int64_t base = 0;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = s->position; break;
    case SEEK_END: base = s->size; break;
    default: errno = EINVAL; return -1;
    }
    if ((*offset > 0 && base > INT64_MAX - *offset) || base + *offset < 0) {
        errno = EINVAL;
        return -1;
    }
    s->position = base + *offset;
    *offset = s->position;
    return 0;
}

int close_stream(void* cookie)
{
    auto* s = static_cast<StreamState*>(cookie);
    const int status = ::close(s->fd);
    delete s;
    return status;
}

} // namespace

HeaderFile::~HeaderFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool HeaderFile::open(const std::string& path)
{
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        return false;
    }
    size_ = static_cast<int64_t>(st.st_size);
    bytes_.resize(first_read);
    const ssize_t n = ::pread(fd_, bytes_.data(), bytes_.size(), 0);
    bytes_.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return true;
}

bool HeaderFile::read_more()
{
    const std::size_t had = bytes_.size();
    const auto want =
        static_cast<std::size_t>(std::min<int64_t>(size_, static_cast<int64_t>(std::max(had * 2, first_read))));
    if (want <= had) {
        return false;
    }
    bytes_.resize(want);
    const ssize_t n = ::pread(fd_, bytes_.data() + had, want - had, static_cast<off_t>(had));
    bytes_.resize(had + (n > 0 ? static_cast<std::size_t>(n) : 0));
    return bytes_.size() > had;
}

std::FILE* HeaderFile::stream()
{
    auto* s = new StreamState{fd_, size_, 0, std::move(bytes_)};
    std::FILE* stream = fopencookie(s, "rb", {read_stream, nullptr, seek_stream, close_stream});
    if (stream == nullptr) {
        const int error = errno;
        bytes_ = std::move(s->head);
        delete s;
        errno = error;
        return nullptr;
    }
    fd_ = -1;
    bytes_.clear();
    return stream;
}
