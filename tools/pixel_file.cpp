#include "tools/pixel_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

pixel_file::~pixel_file()
{
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

bool pixel_file::can_take(const char* path, const char* input)
{
    struct stat target {};
    if (::stat(path, &target) != 0) {
        return errno == ENOENT;
    }
    const auto same_file = [&target](const struct stat& other) {
        return other.st_dev == target.st_dev && other.st_ino == target.st_ino;
    };
    struct stat source {};
    struct stat output {};
    const bool is_input = ::stat(input, &source) == 0 && same_file(source);
    const bool is_standard_output = ::fstat(STDOUT_FILENO, &output) == 0 && same_file(output);
    return S_ISREG(target.st_mode) && !is_input && !is_standard_output;
}

bool pixel_file::open()
{
    descriptor_ = ::open(path_, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    created_ = descriptor_ >= 0;
    if (descriptor_ < 0 && errno == EEXIST) {
        // Overwritten in place and cut to length at the end: emptying it
        // first would have the file system write the whole file out at close.
        descriptor_ = ::open(path_, O_WRONLY | O_CLOEXEC);
        if (descriptor_ < 0 && errno == ENOENT) {
            // A link to a file that is not there yet: made through the link,
            // which a failure leaves in place (the file is emptied, not removed).
            descriptor_ = ::open(path_, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        }
    }
    failed_ = descriptor_ < 0;
    return !failed_;
}

bool pixel_file::put(uint64_t offset, const uint8_t* bytes, std::size_t size)
{
    if (failed_ || (descriptor_ < 0 && !open())) {
        return false;
    }
    while (size > 0) {
        const ssize_t written = ::pwrite(descriptor_, bytes, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            failed_ = true;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<uint64_t>(written);
    }
    end_ = std::max(end_, offset);
    return true;
}

bool pixel_file::finish()
{
    if (descriptor_ < 0 && !failed_) {
        open();
    }
    if (descriptor_ >= 0) {
        if (!created_ && !failed_) {
            failed_ = ::ftruncate(descriptor_, static_cast<off_t>(end_)) != 0;
        }
        failed_ = ::close(descriptor_) != 0 || failed_;
        descriptor_ = -1;
    }
    return !failed_;
}

void pixel_file::abandon()
{
    if (descriptor_ < 0) {
        return;
    }
    if (created_) {
        ::unlink(path_);
    } else {
        (void)::ftruncate(descriptor_, 0);
    }
    ::close(descriptor_);
    descriptor_ = -1;
}
