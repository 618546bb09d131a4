#include "series/folder_scan.h"

#include <algorithm>

#include "series/dicomdir.h"
#include "series/walk.h"

FolderScan::FolderScan(std::vector<std::string> paths, unsigned threads)
{
    if (threads == 0) {
        threads = std::max(1U, std::thread::hardware_concurrency());
    }
    running_ = threads + 1;
    threads_.emplace_back([this, paths = std::move(paths)] { walk(paths); });
    for (unsigned t = 0; t < threads; ++t) {
        threads_.emplace_back([this] { read(); });
    }
}

FolderScan::~FolderScan()
{
    cancel();
    threads_.clear();
}

void FolderScan::cancel()
{
    cancelled_ = true;
    const std::lock_guard lock(mutex_);
    more_.notify_all();
}

void FolderScan::walk(const std::vector<std::string>& paths)
{
    Walk walker;
    std::string passed_over; // a DICOMDIR that could not be read, listed as skipped already
    walker.on_file = [this, &passed_over](std::string path) {
        if (path == passed_over) {
            return;
        }
        const std::lock_guard lock(mutex_);
        found_.push_back(std::move(path));
        more_.notify_one();
    };
    walker.on_skipped = [this](SkippedPath skipped) {
        const std::lock_guard lock(mutex_);
        walk_skipped_.push_back(std::move(skipped));
    };
    walker.stopped = [this] { return cancelled_.load(); };
    for (const std::string& p : paths) {
        if (cancelled_) {
            break;
        }
        // A DICOMDIR (given, or at the top of a folder given) lists its files
        // from its records instead of the walk.
        ScanResult listed;
        const DicomdirUse dicomdir = list_dicomdir_of(p, listed);
        {
            const std::lock_guard lock(mutex_);
            for (ScannedFile& file : listed.files) {
                files_.emplace_back(found_.size(), std::move(file));
            }
            listed_ += listed.files.size();
            std::move(listed.skipped.begin(), listed.skipped.end(), std::back_inserter(walk_skipped_));
        }
        if (!dicomdir.listed) {
            passed_over = dicomdir.unreadable;
            walker.path(p);
        }
    }
    const std::lock_guard lock(mutex_);
    walked_ = true;
    --running_;
    more_.notify_all();
}

void FolderScan::read()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        more_.wait(lock, [this] { return cancelled_ || next_ < found_.size() || walked_; });
        if (cancelled_ || next_ == found_.size()) {
            break;
        }
        const std::size_t index = next_++;
        // The path moves to the result: the scan holds each one once.
        std::string path = std::move(found_[index]);
        lock.unlock();
        std::string reason;
        std::optional<ScannedFile> file = scan_file(path, reason);
        lock.lock();
        if (file) {
            files_.emplace_back(index, std::move(*file));
        } else {
            read_skipped_.emplace_back(index, SkippedPath{std::move(path), std::move(reason)});
        }
        ++scanned_;
    }
    --running_;
}

FolderScan::Progress FolderScan::progress() const
{
    const std::lock_guard lock(mutex_);
    return {found_.size() + listed_, scanned_ + listed_, running_ == 0};
}

void FolderScan::take(std::vector<ScannedFile>& files, std::vector<SkippedPath>& skipped)
{
    const std::lock_guard lock(mutex_);
    for (auto& [index, file] : files_) {
        files.push_back(std::move(file));
    }
    files_.clear();
    std::move(walk_skipped_.begin(), walk_skipped_.end(), std::back_inserter(skipped));
    walk_skipped_.clear();
    for (auto& [index, path] : read_skipped_) {
        skipped.push_back(std::move(path));
    }
    read_skipped_.clear();
}

ScanResult FolderScan::finish()
{
    threads_.clear(); // joins: the scan runs to its end (or its cancel)
    const auto by_index = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(files_.begin(), files_.end(), by_index);
    std::stable_sort(read_skipped_.begin(), read_skipped_.end(), by_index);
    ScanResult result;
    take(result.files, result.skipped);
    return result;
}
