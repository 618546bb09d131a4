#include "base/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// Runs one dicom_log call into a temporary stream and returns what it wrote.
std::string log_line(LogLevel level, const char* message)
{
    std::FILE* sink = std::tmpfile();
    log_stream = sink;
    dicom_log(level, message);
    log_stream = nullptr;
    std::string text(256, '\0');
    std::rewind(sink);
    text.resize(std::fread(text.data(), 1, text.size(), sink));
    std::fclose(sink);
    return text;
}

} // namespace

TEST(DicomLog, WritesNameProcessLevelAndMessage)
{
    const std::string line = log_line(LogLevel::warning, "Tag with uneven length");
    const std::string tail = " log[" + std::to_string(getpid()) + "]: warning: Tag with uneven length\n";
    ASSERT_GE(line.size(), tail.size());
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
    // "Mon DD HH:MM:SS" before the name.
    EXPECT_EQ(line.size() - tail.size(), 15U);
    EXPECT_EQ(line[6], ' ');
    EXPECT_EQ(line[9], ':');
}

TEST(DicomLog, DropsLevelsBelowTheThreshold)
{
    EXPECT_EQ(log_line(LogLevel::info, "Dicom preamble"), "");
    EXPECT_EQ(log_line(LogLevel::debug, "dicom_open()"), "");
    EXPECT_NE(log_line(LogLevel::notice, "x"), "");
}

TEST(DicomLog, HonoursLevelAndName)
{
    log_level = LogLevel::debug;
    log_name = "velmor";
    const std::string line = log_line(LogLevel::debug, "dicom_open()");
    log_level = LogLevel::notice;
    log_name = nullptr;
    EXPECT_NE(line.find(" velmor["), std::string::npos);
    EXPECT_NE(line.find("]: debug: dicom_open()\n"), std::string::npos);
}
