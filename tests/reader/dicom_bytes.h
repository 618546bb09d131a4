// Test helpers: DICOM byte streams built by hand into temporary files, the
// reader's log captured through log_stream, and walks through the public ops.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/log.h"
#include "reader/dicom.h"

namespace testing_dicom {

enum class Encoding { ExplicitLittle, ImplicitLittle, ExplicitBig, ImplicitBig };

// Builds element bytes in one encoding; the encoding can change mid-stream
// (after the meta group).
class DicomBytes {
public:
    explicit DicomBytes(Encoding encoding = Encoding::ExplicitLittle) : encoding_(encoding) {}

    void set_encoding(Encoding encoding) { encoding_ = encoding; }
    bool big() const { return encoding_ == Encoding::ExplicitBig || encoding_ == Encoding::ImplicitBig; }
    bool implicit() const { return encoding_ == Encoding::ImplicitLittle || encoding_ == Encoding::ImplicitBig; }

    DicomBytes& raw(const std::string& bytes);
    DicomBytes& u16(uint16_t value);
    DicomBytes& u32(uint32_t value);
    // The 128-byte preamble (zeros, or the given text) and "DICM".
    DicomBytes& preamble(const std::string& text = "");
    // A file meta group, always explicit VR little endian, carrying the
    // transfer syntax (padded to even length with a NUL) unless it is empty.
    DicomBytes& meta(const std::string& transfer_syntax);
    // A header in the current encoding; items and delimiters of group
    // 0xFFFE always take the implicit form.
    DicomBytes& header(uint16_t group, uint16_t element, const char* vr, uint32_t length);
    // A header and its value; length from the value.
    DicomBytes& element(uint16_t group, uint16_t element, const char* vr, const std::string& value);
    // A literal value, embedded NULs included.
    template <std::size_t N>
    DicomBytes& element(uint16_t group, uint16_t element_number, const char* vr, const char (&value)[N])
    {
        return element(group, element_number, vr, std::string(value, N - 1));
    }
    DicomBytes& item(uint32_t length = UNDEFINED_LENGTH) { return header(0xFFFE, 0xE000, "", length); }
    DicomBytes& item_end() { return header(0xFFFE, 0xE00D, "", 0); }
    DicomBytes& sequence_end() { return header(0xFFFE, 0xE0DD, "", 0); }

    // Numbers in the current byte order, as value bytes.
    std::string n16(uint16_t value) const;
    std::string n32(uint32_t value) const;
    std::string n64(uint64_t value) const;

    std::size_t size() const { return bytes_.size(); }
    const std::string& bytes() const { return bytes_; }
    // Writes the bytes to a fresh temporary file and returns its path.
    std::string write(const std::string& name) const;

private:
    std::string number(uint64_t value, int size) const;
    Encoding encoding_;
    std::string bytes_;
};

// Captures the reader's log lines as "level: message" at the given threshold.
class LogCapture {
public:
    explicit LogCapture(LogLevel level = LogLevel::debug);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    std::vector<std::string> lines() const;
    // How many lines equal "level: message".
    int count(const std::string& line) const;
    // Lines at warning level or more severe.
    std::vector<std::string> problems() const;

private:
    std::FILE* sink_;
    LogLevel saved_level_;
};

// One element as dicom_element reported it.
struct Seen {
    int64_t offset;
    uint16_t group, element;
    int32_t vr;
    uint32_t length;
    int32_t encapsulated;
    unsigned sq_depth;
    uint16_t sq_group, sq_element;
};

// Opens path and walks it with dicom_element and dicom_skip to its end.
std::vector<Seen> walk(const std::string& path);

std::string vr_text(int32_t vr);

} // namespace testing_dicom
