#include "viewer/file_save.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool write_all(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// Writes, flushes to the device and closes fd; false when any of them fails.
bool finish_file(int fd, const std::string& bytes)
{
    bool ok = write_all(fd, bytes);
    // fsync is refused by some devices and pipes (EINVAL): that is no loss.
    if (ok && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        ok = false;
    }
    return ::close(fd) == 0 && ok;
}

bool write_in_place(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd >= 0 && finish_file(fd, bytes);
}

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Permissions for a new file: 0666 less the process's umask.
mode_t new_file_mode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

} // namespace

bool save_file(const std::string& path, const std::string& bytes)
{
    struct stat target {};
    const bool exists = ::lstat(path.c_str(), &target) == 0;
    if (exists && !S_ISREG(target.st_mode)) {
        return write_in_place(path, bytes);
    }

    const std::string pattern = folder_of(path) + "/." + name_of(path) + ".XXXXXX";
    std::vector<char> temp_name(pattern.begin(), pattern.end());
    temp_name.push_back('\0');
    const int fd = ::mkstemp(temp_name.data());
    if (fd < 0) {
        // A folder that refuses new files may still let the target be written.
        return (errno == EACCES || errno == EPERM) && write_in_place(path, bytes);
    }
    const mode_t mode = exists ? static_cast<mode_t>(target.st_mode & 07777) : new_file_mode();
    bool ok = ::fchmod(fd, mode) == 0;
    ok = finish_file(fd, bytes) && ok;
    ok = ok && std::rename(temp_name.data(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp_name.data());
    }
    return ok;
}
