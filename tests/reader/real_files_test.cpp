// pydicom's sample files: every file walked to its end (loading every value),
// and velmor-dump elements compared with dcmdump's independent walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/log.h"
#include "reader/dicom_reader.h"
#include "reader_support.h"

using namespace testing_dicom;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> sample_files()
{
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(VELMOR_PYDICOM_FILES, error)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct CommandRun {
    int status = -1;
    std::string out;
};

CommandRun run(const std::string& command)
{
    CommandRun result;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.out.append(buffer, got);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Tags of velmor-dump elements: the second tab-separated field of each line.
std::vector<std::string> our_tags(const std::string& out)
{
    std::vector<std::string> tags;
    for (const std::string& line : split_lines(out)) {
        const std::size_t tab = line.find('\t');
        tags.push_back(line.substr(tab + 1, 11));
    }
    return tags;
}

// Tags of dcmdump's lines, items and delimiters included. The delimiters
// that dcmdump adds itself for items and sequences of defined length
// ("... for re-encoding") are not in the file and are left out.
std::vector<std::string> dcmdump_tags(const std::string& out)
{
    std::vector<std::string> tags;
    for (const std::string& line : split_lines(out)) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || line[start] != '(' || line.size() < start + 11 ||
            line[start + 5] != ',' || line[start + 10] != ')' || line.find("for re-encod") != std::string::npos) {
            continue;
        }
        std::string tag = line.substr(start, 11);
        std::transform(tag.begin(), tag.end(), tag.begin(),
                       [](char c) { return static_cast<char>(std::toupper(c)); });
        tags.push_back(tag);
    }
    return tags;
}

// Files that dcmdump reads but whose walk rightly differs from the reader's.
const std::map<std::string, std::string> known_differences = {
    {"UN_sequence.dcm",
     "an explicit-VR UN element of undefined length holds implicit-VR items; the reader treats it as "
     "encapsulated data and reads the items' content in the data set's explicit VR"},
    {"meta_missing_tsyntax.dcm",
     "no transfer syntax in the meta group: the reader keeps explicit VR for an implicit-VR data set"},
};

} // namespace

TEST(RealFiles, EveryFileIsWalkedToItsEndLoadingEveryValue)
{
    const std::vector<fs::path> files = sample_files();
    ASSERT_GT(files.size(), 100U);
    for (const fs::path& file : files) {
        LogCapture log(LogLevel::warning);
        const int64_t size = static_cast<int64_t>(fs::file_size(file));
        if (dicom_open(file.c_str()) != 0) {
            EXPECT_LT(size, 132) << file;
            continue;
        }
        int64_t elements = 0;
        while (ELEMENT* e = dicom_element()) {
            ++elements;
            ASSERT_LE(e->offset, size) << file;
            if (dicom_load(VR_OB) != 0) {
                break;
            }
            if (e->value != nullptr &&
                e->value != static_cast<void*>(dicom_default_reader().state().transfer_syntax)) {
                dicom_clean();
                std::free(e->value);
            }
            e->value = nullptr;
        }
        // Each element takes at least 8 bytes; a walk always ends closed,
        // and it ends early only with an error in the log.
        EXPECT_LE(elements, size / 8 + 1) << file;
        EXPECT_EQ(dicom_default_reader().state().reader_stream, nullptr) << file;
        const std::vector<std::string> problems = log.problems();
        const bool logged_error = std::any_of(problems.begin(), problems.end(),
                                              [](const std::string& l) { return l.rfind("error: ", 0) == 0; });
        EXPECT_EQ(dicom_default_reader().state().failure != 0, logged_error) << file;
        dicom_close();
    }
}

TEST(RealFiles, ElementsMatchAnIndependentWalk)
{
    if (run("command -v dcmdump").status != 0) {
        GTEST_SKIP() << "dcmdump (dcmtk) is not installed";
    }
    int compared = 0;
    for (const fs::path& file : sample_files()) {
        const CommandRun theirs = run("dcmdump +L -q " + quoted(file.string()) + " 2>/dev/null");
        if (theirs.status != 0) {
            continue; // not DICOM, or damaged beyond dcmdump's reading
        }
        const CommandRun ours = run(quoted(VELMOR_DUMP) + " elements " + quoted(file.string()) + " 2>/dev/null");
        if (known_differences.count(file.filename().string()) != 0) {
            EXPECT_NE(our_tags(ours.out), dcmdump_tags(theirs.out))
                << file << ": listed as differing but now agrees";
            continue;
        }
        EXPECT_EQ(ours.status, 0) << file;
        const std::vector<std::string> expected = dcmdump_tags(theirs.out);
        EXPECT_EQ(our_tags(ours.out), expected) << file;
        EXPECT_GT(expected.size(), 0U) << file;
        ++compared;
    }
    EXPECT_GT(compared, 100);
}

TEST(RealFiles, TruncatedFilesEndWithUnexpectedEndOfFile)
{
    for (const char* name : {"MR_truncated.dcm", "rtplan_truncated.dcm"}) {
        const std::string path = std::string(VELMOR_PYDICOM_FILES) + "/" + name;
        const CommandRun ours = run(quoted(VELMOR_DUMP) + " elements " + quoted(path) + " 2>&1 >/dev/null");
        EXPECT_EQ(ours.status, 1) << name;
        const std::vector<std::string> lines = split_lines(ours.out);
        ASSERT_FALSE(lines.empty()) << name;
        EXPECT_NE(lines.back().find("]: error: Unexpected end of file"), std::string::npos) << name;
    }
}

TEST(ElementsCommand, PrintsOneTabSeparatedLinePerElement)
{
    DicomBytes b;
    b.preamble().meta("1.2.840.10008.1.2");
    b.set_encoding(Encoding::ImplicitLittle);
    b.header(0x0008, 0x1140, "SQ", UNDEFINED_LENGTH).item(18).element(0x0008, 0x1155, "UI", "1.2.3.4.5\0");
    b.sequence_end();
    b.header(0x7FE0, 0x0010, "OB", UNDEFINED_LENGTH).item(2).raw("ab").sequence_end();
    const std::string path = write_temp("elements.dcm", b.bytes());
    const CommandRun ours = run(quoted(VELMOR_DUMP) + " elements " + quoted(path));
    EXPECT_EQ(ours.status, 0);
    const std::string expected = "132\t(0002,0000)\tUL\t4\t0\t-\t0\n"
                                 "144\t(0002,0001)\tOB\t2\t0\t-\t0\n"
                                 "158\t(0002,0010)\tUI\t18\t0\t-\t0\t1.2.840.10008.1.2\n"
                                 "184\t(0008,1140)\tSQ\tundefined\t0\t-\t0\n"
                                 "192\t(FFFE,E000)\tUN\t18\t1\t(0008,1140)\t0\n"
                                 "200\t(0008,1155)\tUN\t10\t1\t(0008,1140)\t0\n"
                                 "218\t(FFFE,E0DD)\tUN\t0\t1\t(0008,1140)\t0\n"
                                 "226\t(7FE0,0010)\tUN\tundefined\t0\t-\t0\n"
                                 "234\t(FFFE,E000)\tUN\t2\t0\t-\t-1\n"
                                 "244\t(FFFE,E0DD)\tUN\t0\t0\t-\t-1\n";
    EXPECT_EQ(ours.out, expected);

    const CommandRun verbose = run(quoted(VELMOR_DUMP) + " elements -v " + quoted(path) + " 2>&1 >/dev/null");
    EXPECT_NE(verbose.out.find("]: debug: dicom_open()\n"), std::string::npos);
    const CommandRun missing = run(quoted(VELMOR_DUMP) + " elements /nonexistent/x.dcm 2>&1");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("velmor-dump: /nonexistent/x.dcm: ファイルを開くことができません。\n"),
              std::string::npos);

    // A VR of unprintable bytes is written as \xNN, keeping the line whole
    // (after a first element that shows the data set explicit).
    DicomBytes odd;
    odd.preamble().meta("1.2.840.10008.1.2.1").header(0x0008, 0x0060, "CS", 2).raw("OT");
    odd.header(0x0009, 0x0010, "\x01\xC3", 2).raw("ab");
    const CommandRun escaped =
        run(quoted(VELMOR_DUMP) + " elements " + quoted(write_temp("odd_vr.dcm", odd.bytes())));
    EXPECT_NE(escaped.out.find("\t(0009,0010)\t\\x01\\xC3\t2\t0\t-\t0\n"), std::string::npos) << escaped.out;
    EXPECT_EQ(run(quoted(VELMOR_DUMP) + " elements 2>/dev/null").status, 2);
}
