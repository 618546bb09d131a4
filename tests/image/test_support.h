// Helpers shared by the image tests: byte builders, temporary files and a
// capture of the diagnostic log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/log.h"
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

// Builds a DICOM file: preamble, "DICM", a meta group (explicit VR little
// endian) with the transfer syntax, then data set elements in the encoding
// that syntax names (implicit or explicit VR, little or big endian).
class DicomFile {
public:
    enum class Encoding { explicit_little, implicit_little, explicit_big };

    explicit DicomFile(const std::string& transfer_syntax, Encoding encoding = Encoding::explicit_little)
        : encoding_(encoding)
    {
        bytes_.assign(128, 0);
        for (char c : std::string("DICM")) {
            bytes_.push_back(static_cast<uint8_t>(c));
        }
        std::string uid = transfer_syntax;
        if (uid.size() % 2 != 0) {
            uid.push_back('\0');
        }
        const Encoding data = encoding_;
        encoding_ = Encoding::explicit_little;
        Bytes group_length;
        put32(group_length, static_cast<uint32_t>(8 + uid.size()));
        element(0x0002, 0x0000, "UL", group_length);
        element(0x0002, 0x0010, "UI", Bytes(uid.begin(), uid.end()));
        encoding_ = data;
    }

    // One element with a defined length.
    DicomFile& element(uint16_t group, uint16_t number, const char* vr, const Bytes& value)
    {
        header(group, number, vr, static_cast<uint32_t>(value.size()));
        append(bytes_, value);
        return *this;
    }
    DicomFile& us(uint16_t group, uint16_t number, uint16_t value)
    {
        Bytes v;
        put_number(v, value, 2);
        return element(group, number, "US", v);
    }
    DicomFile& us_values(uint16_t group, uint16_t number, const std::vector<uint16_t>& values)
    {
        Bytes v;
        for (uint16_t value : values) {
            put_number(v, value, 2);
        }
        return element(group, number, "US", v);
    }
    // A string value, padded with a space to even length.
    DicomFile& text(uint16_t group, uint16_t number, const char* vr, std::string value)
    {
        if (value.size() % 2 != 0) {
            value.push_back(' ');
        }
        return element(group, number, vr, Bytes(value.begin(), value.end()));
    }
    // An element of undefined length (a sequence, or encapsulated pixel data).
    DicomFile& open(uint16_t group, uint16_t number, const char* vr)
    {
        header(group, number, vr, 0xFFFFFFFFU);
        return *this;
    }
    DicomFile& item(const Bytes& value)
    {
        header(0xFFFE, 0xE000, nullptr, static_cast<uint32_t>(value.size()));
        append(bytes_, value);
        return *this;
    }
    DicomFile& open_item()
    {
        header(0xFFFE, 0xE000, nullptr, 0xFFFFFFFFU);
        return *this;
    }
    DicomFile& close_item()
    {
        header(0xFFFE, 0xE00D, nullptr, 0);
        return *this;
    }
    DicomFile& close_sequence()
    {
        header(0xFFFE, 0xE0DD, nullptr, 0);
        return *this;
    }
    DicomFile& raw(const Bytes& more)
    {
        append(bytes_, more);
        return *this;
    }

    // The basic image description: 8 or 16 bits allocated, all stored.
    DicomFile& image(uint16_t rows, uint16_t columns, uint16_t bits, uint16_t samples = 1)
    {
        us(0x0028, 0x0002, samples);
        text(0x0028, 0x0004, "CS", samples == 3 ? "RGB" : "MONOCHROME2");
        us(0x0028, 0x0010, rows);
        us(0x0028, 0x0011, columns);
        us(0x0028, 0x0100, bits);
        us(0x0028, 0x0101, bits);
        us(0x0028, 0x0102, static_cast<uint16_t>(bits - 1));
        return *this;
    }

    const Bytes& bytes() const { return bytes_; }

private:
    bool big() const { return encoding_ == Encoding::explicit_big; }
    void put_number(Bytes& out, uint32_t v, int size) const
    {
        for (int i = 0; i < size; ++i) {
            const int shift = big() ? 8 * (size - 1 - i) : 8 * i;
            out.push_back(static_cast<uint8_t>(v >> shift));
        }
    }
    void header(uint16_t group, uint16_t number, const char* vr, uint32_t length)
    {
        put_number(bytes_, group, 2);
        put_number(bytes_, number, 2);
        if (encoding_ == Encoding::implicit_little || vr == nullptr) {
            put_number(bytes_, length, 4);
            return;
        }
        bytes_.push_back(static_cast<uint8_t>(vr[0]));
        bytes_.push_back(static_cast<uint8_t>(vr[1]));
        const std::string code(vr);
        const bool long_form = code == "OB" || code == "OW" || code == "OL" || code == "OV" || code == "SQ" ||
                               code == "UN" || code == "UT" || code == "OF";
        if (long_form) {
            put_number(bytes_, 0, 2);
            put_number(bytes_, length, 4);
        } else {
            put_number(bytes_, length, 2);
        }
    }

    Encoding encoding_;
    Bytes bytes_;
};

// A file in a per-test temporary directory, removed with the object.
class TempFile {
public:
    explicit TempFile(const Bytes& content)
    {
        static int counter = 0;
        path_ = test_temp_dir() / ("image_" + std::to_string(counter++));
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    ~TempFile() { std::filesystem::remove(path_); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const char* path() const { return path_.c_str(); }

private:
    std::filesystem::path path_;
};

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
