// The walk over files and folders that feeds the folder scan.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "series/series.h"

class Walk {
public:
    std::function<void(std::string)> on_file;    // a regular file found
    std::function<void(SkippedPath)> on_skipped; // a path passed over, and why
    std::function<bool()> stopped;               // optional: true ends the walk early

    // A file, or a folder and everything under it.
    void path(const std::filesystem::path& p);

private:
    void folder(const std::filesystem::path& dir);
    static bool identity(const std::filesystem::path& p, std::pair<dev_t, ino_t>& id);

    std::set<std::pair<dev_t, ino_t>> visited_; // folders walked, against loops and repeats
    std::vector<std::pair<dev_t, ino_t>> open_; // the folders above the current one
};
