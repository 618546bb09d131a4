// The walk over files and folders: every regular file found once, folders
// followed through symbolic links but never round a loop.
#include "series/walk.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

bool Walk::identity(const fs::path& p, std::pair<dev_t, ino_t>& id)
{
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) {
        return false;
    }
    id = {st.st_dev, st.st_ino};
    return true;
}

void Walk::folder(const fs::path& dir)
{
    std::pair<dev_t, ino_t> id;
    if (!identity(dir, id)) {
        on_skipped({dir.string(), std::string("cannot read folder: ") + std::strerror(errno)});
        return;
    }
    for (const auto& above : open_) {
        if (above == id) {
            on_skipped({dir.string(), "symbolic link loop"});
            return;
        }
    }
    if (!visited_.insert(id).second) {
        return; // reached again through a link: its files are listed once
    }
    std::error_code error;
    fs::directory_iterator it(dir, error);
    if (error) {
        on_skipped({dir.string(), "cannot read folder: " + error.message()});
        return;
    }
    std::vector<fs::path> entries;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        entries.push_back(it->path());
    }
    if (error) {
        on_skipped({dir.string(), "cannot read folder: " + error.message()});
    }
    std::sort(entries.begin(), entries.end());
    open_.push_back(id);
    for (const fs::path& entry : entries) {
        if (stopped && stopped()) {
            break;
        }
        path(entry);
    }
    open_.pop_back();
}

void Walk::path(const fs::path& p)
{
    std::error_code error;
    const fs::file_status status = fs::status(p, error);
    if (error) {
        on_skipped({p.string(), error == std::errc::too_many_symbolic_link_levels
                                    ? "symbolic link loop"
                                    : "cannot read: " + error.message()});
        return;
    }
    if (fs::is_directory(status)) {
        folder(p);
    } else if (fs::is_regular_file(status)) {
        on_file(p.string());
    } else {
        on_skipped({p.string(), "not a regular file"});
    }
}
