// Test helpers of the reader: its log captured through log_stream, and walks
// through the public operations. DICOM bytes come from tests/common.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/log.h"
#include "reader/dicom.h"
#include "tests/common/dicom_bytes.h"
#include "tests/common/test_temp_dir.h"

namespace testing_dicom {

using test_dicom::DicomBytes;
using test_dicom::Encoding;

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
