// Helpers shared by the image tests: RLE frame bytes, files of DICOM bytes
// (tests/common) and a capture of the diagnostic log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/log.h"
#include "tests/common/dicom_bytes.h"
#include "tests/common/test_temp_dir.h"

namespace image_test {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void put32(Bytes& out, uint32_t v)
{
    put16(out, static_cast<uint16_t>(v));
    put16(out, static_cast<uint16_t>(v >> 16));
}

inline void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// An RLE frame: the 64-byte header with the given offsets, then the segments.
inline Bytes rle_frame(const std::vector<Bytes>& segments)
{
    Bytes frame;
    put32(frame, static_cast<uint32_t>(segments.size()));
    uint32_t offset = 64;
    for (std::size_t j = 0; j < 15; ++j) {
        put32(frame, j < segments.size() ? offset : 0);
        if (j < segments.size()) {
            offset += static_cast<uint32_t>(segments[j].size());
        }
    }
    for (const Bytes& segment : segments) {
        append(frame, segment);
    }
    return frame;
}

// A frame header with explicit offsets (for the offset rules).
inline Bytes rle_header(uint32_t count, const std::vector<uint32_t>& offsets)
{
    Bytes frame;
    put32(frame, count);
    for (std::size_t j = 0; j < 15; ++j) {
        put32(frame, j < offsets.size() ? offsets[j] : 0);
    }
    return frame;
}

using test_dicom::DicomBytes;
using test_dicom::Encoding;

// A file of these tests: the preamble, a meta group of the group length and
// the transfer syntax, then the data set in the given encoding.
inline DicomBytes dicom_file(const std::string& transfer_syntax, Encoding encoding = Encoding::ExplicitLittle)
{
    return DicomBytes::file(transfer_syntax, encoding, {.version = false});
}

// Writes bytes to a fresh file in the running test's folder; returns its path.
inline std::string write_file(const Bytes& content)
{
    static int counter = 0;
    return write_temp("image_" + std::to_string(counter++),
                      {reinterpret_cast<const char*>(content.data()), content.size()});
}

// Collects the diagnostic log lines written while it lives.
class LogCapture {
public:
    explicit LogCapture(LogLevel level = LogLevel::info) : sink_(std::tmpfile()), old_level_(log_level)
    {
        log_stream = sink_;
        log_level = level;
    }
    ~LogCapture()
    {
        log_stream = nullptr;
        log_level = old_level_;
        std::fclose(sink_);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string text() const
    {
        std::fflush(sink_);
        const long end = std::ftell(sink_);
        std::string all(static_cast<std::size_t>(end), '\0');
        std::rewind(sink_);
        all.resize(std::fread(all.data(), 1, all.size(), sink_));
        std::fseek(sink_, 0, SEEK_END);
        return all;
    }
    bool contains(const std::string& message) const { return text().find(message) != std::string::npos; }

private:
    std::FILE* sink_;
    LogLevel old_level_;
};

} // namespace image_test
