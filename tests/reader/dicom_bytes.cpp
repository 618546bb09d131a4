#include "dicom_bytes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <unistd.h>

#include "base/log.h"
#include "tests/common/test_temp_dir.h"

namespace testing_dicom {

std::string DicomBytes::number(uint64_t value, int size) const
{
    std::string out(static_cast<std::size_t>(size), '\0');
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (big() ? size - 1 - i : i);
        out[static_cast<std::size_t>(i)] = static_cast<char>((value >> shift) & 0xFF);
    }
    return out;
}

std::string DicomBytes::n16(uint16_t value) const { return number(value, 2); }
std::string DicomBytes::n32(uint32_t value) const { return number(value, 4); }
std::string DicomBytes::n64(uint64_t value) const { return number(value, 8); }

DicomBytes& DicomBytes::raw(const std::string& bytes)
{
    bytes_ += bytes;
    return *this;
}

DicomBytes& DicomBytes::u16(uint16_t value) { return raw(n16(value)); }
DicomBytes& DicomBytes::u32(uint32_t value) { return raw(n32(value)); }

DicomBytes& DicomBytes::preamble(const std::string& text)
{
    std::string pre = text;
    pre.resize(128, '\0');
    return raw(pre + "DICM");
}

DicomBytes& DicomBytes::meta(const std::string& transfer_syntax)
{
    const Encoding saved = encoding_;
    encoding_ = Encoding::ExplicitLittle;
    std::string uid = transfer_syntax;
    if (uid.size() % 2 != 0) {
        uid.push_back('\0');
    }
    element(0x0002, 0x0000, "UL", n32(uid.empty() ? 14 : 14 + 8 + static_cast<uint32_t>(uid.size())));
    element(0x0002, 0x0001, "OB", std::string("\0\1", 2));
    if (!uid.empty()) {
        element(0x0002, 0x0010, "UI", uid);
    }
    encoding_ = saved;
    return *this;
}

DicomBytes& DicomBytes::header(uint16_t group, uint16_t element, const char* vr, uint32_t length)
{
    u16(group);
    u16(element);
    if (implicit() || group == 0xFFFE) {
        return u32(length);
    }
    raw(std::string(vr, 2));
    if (vr_has_long_length(vr_code(vr[0], vr[1]))) {
        u16(0);
        return u32(length);
    }
    return u16(static_cast<uint16_t>(length));
}

DicomBytes& DicomBytes::element(uint16_t group, uint16_t element, const char* vr, const std::string& value)
{
    header(group, element, vr, static_cast<uint32_t>(value.size()));
    return raw(value);
}

std::string DicomBytes::write(const std::string& name) const
{
    static std::atomic<int> serial{0};
    const std::string path = test_temp_path(std::to_string(serial++) + "_" + name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr) << path;
    if (file != nullptr) {
        std::fwrite(bytes_.data(), 1, bytes_.size(), file);
        std::fclose(file);
    }
    return path;
}

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
