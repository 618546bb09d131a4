// Diagnostic log shared by the reader, image extraction and the decoders.
#pragma once

#include <cstdint>
#include <cstdio>

enum LogLevel : int32_t {
    LOG_EMERGENCY = 0,
    LOG_ALERT = 1,
    LOG_CRITICAL = 2,
    LOG_ERROR = 3,
    LOG_WARNING = 4,
    LOG_NOTICE = 5,
    LOG_INFO = 6,
    LOG_DEBUG = 7,
};

// The least severe level still written (default LOG_NOTICE).
extern int32_t log_level;
// Where lines go; null means standard error.
extern std::FILE* log_stream;
// Name written in each line; null means "log".
extern const char* log_name;

// Writes "time name[pid]: level: message\n" when level <= log_level.
void dicom_log(int32_t level, const char* message);
