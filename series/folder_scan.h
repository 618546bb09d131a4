// The folder scan as it runs: one thread walks the paths (a DICOMDIR given,
// or at the top of a folder given, lists its files from its records
// instead), one per core reads each file found up to its pixel data, and the caller takes what has been
// read whenever it likes (the window polls on a timer, velmor-dump waits for
// the end). Qt-free.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "series/series.h"

class FolderScan {
public:
    struct Progress {
        std::size_t found = 0;   // files the walk has found so far
        std::size_t scanned = 0; // of them, read (or passed over)
        bool finished = false;   // the walk and every read are over (or cancelled)
    };

    // Starts at once; `threads` readers (0: one per core).
    explicit FolderScan(std::vector<std::string> paths, unsigned threads = 0);
    // Cancels what is left and waits for the threads.
    ~FolderScan();
    FolderScan(const FolderScan&) = delete;
    FolderScan& operator=(const FolderScan&) = delete;

    // The walk stops at its next entry, each reader after its current file.
    void cancel();
    Progress progress() const;
    // Appends the files read and the paths passed over since the last take.
    void take(std::vector<ScannedFile>& files, std::vector<SkippedPath>& skipped);
    // Waits for the end, then gives what was not taken: files in the order
    // the walk found them (those a DICOMDIR lists in the order of its
    // records, where the walk stood), and the paths the walk passed over
    // before those whose reading failed.
    ScanResult finish();

private:
    void walk(const std::vector<std::string>& paths);
    void read();

    mutable std::mutex mutex_;
    std::condition_variable more_; // a path was found, the walk ended, or cancel
    std::vector<std::string> found_;
    std::size_t next_ = 0;    // the next found path to read
    std::size_t scanned_ = 0; // reads finished
    std::size_t listed_ = 0;  // files a DICOMDIR listed from its records
    std::size_t running_ = 0; // threads not yet ended
    bool walked_ = false;
    std::atomic<bool> cancelled_{false};
    std::vector<std::pair<std::size_t, ScannedFile>> files_;        // by found index
    std::vector<std::pair<std::size_t, SkippedPath>> read_skipped_; // by found index
    std::vector<SkippedPath> walk_skipped_;
    std::vector<std::jthread> threads_; // last: joined before the rest goes
};
