#include "reader/log.h"

#include <array>
#include <ctime>
#include <unistd.h>

int32_t log_level = LOG_NOTICE;
std::FILE* log_stream = nullptr;
const char* log_name = nullptr;

namespace {

constexpr std::array<const char*, 8> level_names = {
    "emergency", "alert", "critical", "error", "warning", "notice", "info", "debug",
};

} // namespace

void dicom_log(int32_t level, const char* message)
{
    if (level > log_level) {
        return;
    }
    std::array<char, 32> stamp{};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp.data(), stamp.size(), "%b %d %H:%M:%S", &local);

    const char* level_name = (level >= 0 && level < static_cast<int32_t>(level_names.size()))
                                 ? level_names[static_cast<std::size_t>(level)]
                                 : "unknown";
    std::fprintf(log_stream != nullptr ? log_stream : stderr, "%s %s[%u]: %s: %s\n", stamp.data(),
                 log_name != nullptr ? log_name : "log", static_cast<unsigned>(getpid()), level_name,
                 message != nullptr ? message : "");
}
