// The dump read from the file on demand, and the edits laid over it.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/common/test_temp_dir.h"
#include "viewer/dump_text.h"
#include "viewer/hex_dump.h"
#include "viewer/report.h"

namespace {

std::string pattern_bytes(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    }
    return bytes;
}

std::vector<std::string> expected_lines(const std::string& bytes)
{
    std::vector<std::string> lines = dump_header_lines();
    for (const std::string& line : dump_lines(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) {
        lines.push_back(line);
    }
    return lines;
}

HeaderDump dump_of(const std::string& path, int64_t size)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    EXPECT_TRUE(file);
    std::fseek(file.get(), 5, SEEK_SET);
    HeaderDump dump(file.get(), size);
    EXPECT_EQ(std::ftell(file.get()), 5); // the stream's position is left alone
    return dump;                          // the file closes: the dump reads through its own descriptor
}

} // namespace

TEST(HeaderDump, FormatsTheFileLinesAsDumpLinesDoesWhereverAsked)
{
    // Past one block of lines read at a time, and a part line at the end.
    const std::string bytes = pattern_bytes(16 * 4096 + 16 * 10 + 7);
    const std::string path = write_temp("dump.bin", bytes + "after the header");
    const HeaderDump dump = dump_of(path, static_cast<int64_t>(bytes.size()));
    const std::vector<std::string> expected = expected_lines(bytes);
    ASSERT_EQ(dump.line_count(), expected.size());
    EXPECT_EQ(dump.all_lines(), expected);
    EXPECT_EQ(dump.line(4097), expected[4097]);
    EXPECT_EQ(dump.line(expected.size()), "");
    std::vector<std::string> window;
    dump.lines(4090, 15, [&](std::string& line) { window.push_back(line); });
    EXPECT_EQ(window, std::vector<std::string>(expected.begin() + 4090, expected.begin() + 4105));
    window.clear();
    dump.lines(expected.size() - 2, 50, [&](std::string& line) { window.push_back(line); });
    EXPECT_EQ(window, std::vector<std::string>(expected.end() - 2, expected.end()));

    // Sizes on and around a line's end; none and no file.
    for (const std::size_t size : {0U, 1U, 15U, 16U, 17U}) {
        EXPECT_EQ(dump_of(path, static_cast<int64_t>(size)).all_lines(), expected_lines(bytes.substr(0, size)));
    }
    EXPECT_EQ(HeaderDump().all_lines(), dump_header_lines());
    EXPECT_EQ(HeaderDump(nullptr, 100).all_lines(), dump_header_lines());

    // A file that shrank under the dump: its lines end early, nothing more.
    const std::string short_path = write_temp("short.bin", bytes.substr(0, 20));
    const HeaderDump cut = dump_of(short_path, 64);
    ASSERT_EQ(cut.line_count(), 2U + 4U + 1U);
    EXPECT_EQ(cut.line(3), expected_lines(bytes.substr(0, 20))[3]);
    EXPECT_EQ(cut.line(4), "00000020 ");
}

TEST(DumpText, EditsReplaceRunsOfLinesAndKeepOnlyTheirOwnLines)
{
    const std::string bytes = pattern_bytes(16 * 20000);
    const std::string path = write_temp("edit.bin", bytes);
    std::vector<std::string> model = expected_lines(bytes);
    DumpText text(dump_of(path, static_cast<int64_t>(bytes.size())));
    ASSERT_EQ(text.line_count(), model.size());

    // Random replacements of runs, checked against a plain vector of lines.
    std::mt19937 random(21);
    for (int step = 0; step < 300; ++step) {
        const std::size_t first = random() % (model.size() + 1);
        const std::size_t count = std::min<std::size_t>(random() % 4, model.size() - first);
        std::vector<std::string> with(random() % 4);
        for (std::string& line : with) {
            line = "edit " + std::to_string(step) + " \xE3\x83\xA1\xE3\x83\xA2";
        }
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(first),
                    model.begin() + static_cast<std::ptrdiff_t>(first + count));
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(first), with.begin(), with.end());
        text.replace(first, count, with);
        ASSERT_EQ(text.line_count(), model.size()) << step;
        const std::size_t probe = random() % model.size();
        ASSERT_EQ(text.line(probe), model[probe]) << step;
    }
    std::vector<std::string> all;
    text.lines(0, text.line_count(), [&](std::string& line) { all.push_back(line); });
    EXPECT_EQ(all, model);
    EXPECT_LE(text.edited_line_count(), 300U * 3U);

    // Past the end: cut, never out of bounds.
    text.replace(model.size() + 10, 5, {"tail"});
    EXPECT_EQ(text.line(model.size()), "tail");
}

TEST(DumpText, TheReportTakesTheLinesShownWithoutALastEmptyOne)
{
    const std::string path = write_temp("report.bin", pattern_bytes(40));
    DumpText text(dump_of(path, 40));
    text.replace(3, 1, {"typed", ""});
    ElementGrid grid;
    const MemoLines memo = [&](const std::function<void(std::string&)>& put) { text.report_lines(put); };
    const std::string report = build_report_from(memo, grid, 1);
    std::vector<std::string> shown = expected_lines(pattern_bytes(40));
    shown[3] = "typed";
    shown.insert(shown.begin() + 4, "");
    std::string expected;
    for (const std::string& line : shown) {
        expected += line + "\r\n";
    }
    EXPECT_EQ(report.substr(0, expected.size()), expected);
    EXPECT_EQ(report.substr(expected.size(), 2), "\r\n");

    // As a memo counts lines: a text ending in a line feed has none after it.
    text.set_text("one\ntwo\n");
    EXPECT_EQ(text.line_count(), 3U);
    EXPECT_EQ(text.report_line_count(), 2U);
    EXPECT_EQ(text.text(), "one\ntwo\n");
    text.set_text("");
    EXPECT_EQ(text.report_line_count(), 0U);
}
