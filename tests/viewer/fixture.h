// Hand-built DICOM byte streams for the walk tests, written to temp files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/common/test_temp_dir.h"

class Bytes {
public:
    // A Part-10 start: 128-byte preamble and "DICM".
    static Bytes part10()
    {
        Bytes b;
        b.data_.assign(128, '\0');
        b.data_ += "DICM";
        return b;
    }

    Bytes& u8(uint8_t v)
    {
        data_ += static_cast<char>(v);
        return *this;
    }
    Bytes& u16(uint16_t v) { return u8(static_cast<uint8_t>(v & 0xFF)).u8(static_cast<uint8_t>(v >> 8)); }
    Bytes& u32(uint32_t v) { return u16(static_cast<uint16_t>(v & 0xFFFF)).u16(static_cast<uint16_t>(v >> 16)); }
    Bytes& raw(const std::string& s)
    {
        data_ += s;
        return *this;
    }

    // Explicit VR with a 2-byte length.
    Bytes& expl(uint16_t group, uint16_t element, const char* vr, const std::string& value)
    {
        return tag(group, element).raw(vr).u16(static_cast<uint16_t>(value.size())).raw(value);
    }
    // Explicit VR with 2 reserved bytes and a 4-byte length.
    Bytes& expl_long(uint16_t group, uint16_t element, const char* vr, const std::string& value)
    {
        return expl_long_len(group, element, vr, static_cast<uint32_t>(value.size())).raw(value);
    }
    Bytes& expl_long_len(uint16_t group, uint16_t element, const char* vr, uint32_t length)
    {
        return tag(group, element).raw(vr).u16(0).u32(length);
    }
    // Implicit VR: tag and a 4-byte length.
    Bytes& impl(uint16_t group, uint16_t element, const std::string& value)
    {
        return impl_len(group, element, static_cast<uint32_t>(value.size())).raw(value);
    }
    Bytes& impl_len(uint16_t group, uint16_t element, uint32_t length) { return tag(group, element).u32(length); }
    Bytes& tag(uint16_t group, uint16_t element) { return u16(group).u16(element); }

    const std::string& str() const { return data_; }
    std::size_t size() const { return data_.size(); }

private:
    std::string data_;
};

inline std::string le16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

inline std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(static_cast<uint16_t>(v >> 16)); }

// A path in the running test's temporary folder, removed when the test ends.
inline std::string temp_path(const std::string& name) { return test_temp_path(name); }

// Writes bytes to a file in the running test's temporary folder and returns its path.
inline std::string write_temp(const std::string& name, const std::string& bytes)
{
    const std::string path = temp_path(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}
