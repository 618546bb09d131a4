// The diagnostic log of the reader, image extraction and the decoders. Safe
// to call from any thread: each line is written whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

enum class LogLevel : int32_t {
    silent = -1, // as log_level: nothing is written
    emergency = 0,
    alert = 1,
    critical = 2,
    error = 3,
    warning = 4,
    notice = 5,
    info = 6,
    debug = 7,
};

// The least severe level still written (default LogLevel::notice).
extern std::atomic<LogLevel> log_level;
// Where lines go; null means standard error.
extern std::atomic<std::FILE*> log_stream;
// Name written in each line; null means "log".
extern std::atomic<const char*> log_name;

// Writes "time name[pid]: level: message\n" when level <= log_level.
void dicom_log(LogLevel level, const char* message);
