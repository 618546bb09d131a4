#include "base/log.h"

#include <array>
#include <ctime>
#include <unistd.h>

std::atomic<LogLevel> log_level = LogLevel::notice;
std::atomic<std::FILE*> log_stream = nullptr;
std::atomic<const char*> log_name = nullptr;

namespace {

constexpr std::array<const char*, 8> level_names = {
    "emergency", "alert", "critical", "error", "warning", "notice", "info", "debug",
};

} // namespace

void dicom_log(LogLevel level, const char* message)
{
    if (level > log_level.load() || level == LogLevel::silent) {
        return;
    }
    std::array<char, 32> stamp{};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp.data(), stamp.size(), "%b %d %H:%M:%S", &local);

    const auto index = static_cast<std::size_t>(level);
    const char* level_name = index < level_names.size() ? level_names[index] : "unknown";
    std::FILE* stream = log_stream.load();
    const char* name = log_name.load();
    std::fprintf(stream != nullptr ? stream : stderr, "%s %s[%u]: %s: %s\n", stamp.data(),
                 name != nullptr ? name : "log", static_cast<unsigned>(getpid()), level_name,
                 message != nullptr ? message : "");
}
