#include "reader_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

#include "base/log.h"

namespace testing_dicom {

LogCapture::LogCapture(LogLevel level) : sink_(std::tmpfile()), saved_level_(log_level)
{
    log_stream = sink_;
    log_level = level;
}

LogCapture::~LogCapture()
{
    log_stream = nullptr;
    log_level = saved_level_;
    if (sink_ != nullptr) {
        std::fclose(sink_);
    }
}

std::vector<std::string> LogCapture::lines() const
{
    std::vector<std::string> out;
    std::fflush(sink_);
    std::rewind(sink_);
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, sink_) != nullptr) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        const std::size_t mark = line.find("]: ");
        out.push_back(mark == std::string::npos ? line : line.substr(mark + 3));
    }
    std::fseek(sink_, 0, SEEK_END);
    return out;
}

int LogCapture::count(const std::string& wanted) const
{
    int n = 0;
    for (const std::string& line : lines()) {
        n += line == wanted ? 1 : 0;
    }
    return n;
}

std::vector<std::string> LogCapture::problems() const
{
    std::vector<std::string> out;
    for (const std::string& line : lines()) {
        if (line.rfind("debug: ", 0) != 0 && line.rfind("info: ", 0) != 0 && line.rfind("notice: ", 0) != 0) {
            out.push_back(line);
        }
    }
    return out;
}

std::vector<Seen> walk(const std::string& path)
{
    std::vector<Seen> seen;
    if (dicom_open(path.c_str()) != 0) {
        return seen;
    }
    while (const ELEMENT* e = dicom_element()) {
        seen.push_back({e->offset, e->group, e->element, e->vr, e->length, e->encapsulated, e->sq_depth,
                        e->sq_depth > 0 ? e->sq_group : uint16_t{0},
                        e->sq_depth > 0 ? e->sq_element : uint16_t{0}});
        if (dicom_skip() != 0) {
            break;
        }
    }
    dicom_close();
    return seen;
}

std::string vr_text(int32_t vr) { return {static_cast<char>((vr >> 8) & 0xFF), static_cast<char>(vr & 0xFF)}; }

} // namespace testing_dicom
