// The walk and velmor-dump report over pydicom's sample files, checked
// against facts taken from the files themselves and from dcmdump.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "base/log.h"
#include "image/single.h"
#include "reader/dicom_reader.h"
#include "tests/common/test_temp_dir.h"
#include "viewer/header_walk.h"
#include "viewer/hex_dump.h"

namespace fs = std::filesystem;

namespace {

const fs::path sample_dir = VELMOR_PYDICOM_FILES;

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct ReportRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `velmor-dump report file` with stdout and stderr caught in files.
ReportRun run_report(const fs::path& file)
{
    // Named after the running test, since CTest runs tests side by side.
    const std::string stem = test_temp_path(testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string out = stem + ".out";
    const std::string err = stem + ".err";
    const std::string command =
        std::string("'") + VELMOR_DUMP + "' report '" + file.string() + "' >'" + out + "' 2>'" + err + "'";
    ReportRun run;
    const int rc = std::system(command.c_str());
    run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    run.out = read_file(out);
    run.err = read_file(err);
    return run;
}

// velmor-dump's error line for a file: the file's name, then the viewer's message.
std::string error_line(const fs::path& file, const std::string& message)
{
    return "velmor-dump: " + file.string() + ": " + message + "\n";
}

std::vector<std::string> split_crlf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Tags of the walk's element rows, as "GGGG,EEEE".
std::vector<std::string> walk_tags(const fs::path& file)
{
    FileCheck check{};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(check_dicom_file(file.c_str(), check), std::fclose);
    std::vector<std::string> tags;
    if (!f) {
        return tags;
    }
    HeaderListing listing;
    ViewerState state;
    walk_header(f.get(), listing, state);
    for (int r = 1; r < state.next_row; ++r) {
        tags.push_back(listing.grid.cell(r, 0) + "," + listing.grid.cell(r, 1));
    }
    return tags;
}

// One element as dcmdump lists it: tag "GGGG,EEEE", VR, length, value
// multiplicity and the value text.
struct PeerElement {
    std::string tag;
    std::string vr;
    long length = 0;
    int vm = 0;
    std::string value;
};

// The elements as dcmdump lists them, up to the first Pixel Data, without
// the delimiters it adds for re-encoding (they are not in the file).
std::vector<PeerElement> dcmdump_elements(const fs::path& file)
{
    std::vector<PeerElement> elements;
    const std::string command = "dcmdump -q +L '" + file.string() + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        return elements;
    }
    std::string text;
    std::array<char, 4096> chunk{};
    std::size_t n = 0;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe.get())) > 0) {
        text.append(chunk.data(), n);
    }
    // Only the line's start goes through the regex: values can be long.
    const std::regex element_start(R"(^\s*\(([0-9a-f]{4}),([0-9a-f]{4})\) (\S\S) )");
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, element_start) || line.find("re-encod") != std::string::npos) {
            continue;
        }
        // "# LENGTH, VM Name" ends the line, LENGTH "u/l" when undefined; a
        // value with a line feed in it leaves them unknown (-2, 0).
        const std::size_t start = static_cast<std::size_t>(m.length(0));
        const std::size_t hash = line.rfind('#');
        long length = -2;
        int vm = 0;
        std::string value;
        if (hash != std::string::npos && hash > start &&
            (std::sscanf(line.c_str() + hash + 1, "%ld,%d", &length, &vm) == 2 ||
             std::sscanf(line.c_str() + hash + 1, " u/l,%d", &vm) == 1)) {
            length = length == -2 ? -1 : length;
            value = line.substr(start, hash - start);
            value.erase(value.find_last_not_of(' ') + 1);
        } else {
            length = -2;
            vm = 0;
        }
        // dcmdump names the VR of a directory's record offsets "up": UL in the file.
        PeerElement e{m[1].str() + "," + m[2].str(), m[3].str() == "up" ? "UL" : m[3].str(), length, vm, value};
        for (char& c : e.tag) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        elements.push_back(e);
        if (e.tag == "7FE0,0010") {
            break;
        }
    }
    return elements;
}

std::vector<std::string> dcmdump_tags(const fs::path& file)
{
    std::vector<std::string> tags;
    for (const PeerElement& e : dcmdump_elements(file)) {
        tags.push_back(e.tag);
    }
    return tags;
}

// The grid rows of the viewer's walk, as "GGGG EEEE VR LEN | description | data".
std::vector<std::string> walk_rows(const fs::path& file)
{
    FileCheck check{};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(check_dicom_file(file.c_str(), check), std::fclose);
    std::vector<std::string> rows;
    if (!f) {
        return rows;
    }
    HeaderListing listing;
    ViewerState state;
    walk_header(f.get(), listing, state);
    const ElementGrid& g = listing.grid;
    for (int r = 1; r < state.next_row; ++r) {
        rows.push_back(g.cell(r, 0) + " " + g.cell(r, 1) + " " + g.cell(r, 2) + " " + g.cell(r, 3) + " | " +
                       g.cell(r, 4) + " | " + g.cell(r, 5));
    }
    return rows;
}

// Tags and lengths as the stream reader hands them out ("GGGG,EEEE LENGTH"),
// then "failure N" when the walk ended on a failure.
std::vector<std::string> reader_elements(const fs::path& file)
{
    std::vector<std::string> seen;
    if (dicom_open(file.c_str()) != 0) {
        return seen;
    }
    while (const ELEMENT* e = dicom_element()) {
        char line[32];
        std::snprintf(line, sizeof line, "%04X,%04X %u", e->group, e->element, e->length);
        seen.emplace_back(line);
        if (dicom_skip() != 0) {
            break;
        }
    }
    if (dicom_default_reader().state().failure != 0) {
        seen.push_back("failure " + std::to_string(dicom_default_reader().state().failure));
    }
    dicom_close();
    return seen;
}

// The first frame's pixels as the extraction delivers them; empty when it fails.
std::vector<uint8_t> extracted_pixels(const fs::path& file)
{
    std::vector<uint8_t> pixels;
    if (dicom_open(file.c_str()) == 0) {
        const single_image* image = dicom_single();
        if (image != nullptr && image->pixels != nullptr) {
            pixels.assign(image->pixels, image->pixels + image->pixel_bytes);
        }
        dicom_single_free();
    }
    dicom_close();
    return pixels;
}

bool have_dcmdump() { return std::system("dcmdump --version >/dev/null 2>&1") == 0; }

} // namespace

TEST(RealFiles, EverySampleFileGivesAReportOrAClearRefusal)
{
    ASSERT_TRUE(fs::is_directory(sample_dir)) << sample_dir;
    int reports = 0;
    for (const auto& entry : fs::recursive_directory_iterator(sample_dir)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const ReportRun run = run_report(entry.path());
        if (entry.file_size() < 132) {
            EXPECT_EQ(run.status, 2) << entry.path();
            EXPECT_EQ(run.err, error_line(entry.path(), "DICOMファイルではありません。")) << entry.path();
            EXPECT_TRUE(run.out.empty()) << entry.path();
            continue;
        }
        ASSERT_EQ(run.status, 0) << entry.path() << "\n" << run.err;
        const std::vector<std::string> lines = split_crlf(run.out);
        ASSERT_GE(lines.size(), 7U) << entry.path();
        EXPECT_EQ(run.out.substr(run.out.size() - 2), "\r\n") << entry.path();
        EXPECT_EQ(lines[0].substr(0, 8), "Address ") << entry.path();
        EXPECT_NE(std::find(lines.begin(), lines.end(), std::string(54, '-')), lines.end()) << entry.path();
        ++reports;
    }
    EXPECT_GT(reports, 60);
}

TEST(RealFiles, ExplicitLittleEndianCtReport)
{
    const ReportRun run = run_report(sample_dir / "CT_small.dcm");
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = split_crlf(run.out);
    // Pixel Data's tag is at byte 6288: header size 6296, 393 full dump lines
    // and a last one with 8 bytes; then 271 elements (dcmdump's count).
    const std::size_t dump = 2 + 393 + 1;
    ASSERT_EQ(lines.size(), dump + 1 + 1 + 1 + 271);
    EXPECT_EQ(lines[dump - 1].substr(0, 9), "00001890 ");
    EXPECT_EQ(lines[dump - 1].size(), 9U + 8 * 3 + 8);
    EXPECT_EQ(lines[dump], "");
    EXPECT_EQ(lines[dump + 1], std::string(54, '-'));
    EXPECT_EQ(lines[dump + 2], "(Grp ID:Elm ID)  VR  Length  \t\x90\xE0\x96\xBE \t[ \x83\x66\x81\x5B\x83\x5E ]");
    auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("(0002:0010)  UI  20  \tTransfer Syntax UID \t[ 1.2.840.10008.1.2.1 : Raw data, Explicit VR, "
                    "Little Endian ]"));
    EXPECT_TRUE(has("(0028:0010)  US  2  \tRows \t[ 128 ]"));
    EXPECT_TRUE(has("(0028:0011)  US  2  \tColumns \t[ 128 ]"));
    EXPECT_TRUE(has("(0010:0010)  PN  22  \tPatient's Name \t[ CompressedSamples^CT1  ]"));
    EXPECT_EQ(lines.back(), "(7FE0:0010)  OX  32768  \tPixel Data \t[ [ 6300 32768 ] ]");
}

TEST(RealFiles, ImplicitBigEndianAndBareFiles)
{
    // Implicit little endian: Pixel Data's tag at byte 1502.
    const ReportRun implicit = run_report(sample_dir / "MR_small_implicit.dcm");
    ASSERT_EQ(implicit.status, 0);
    const std::vector<std::string> il = split_crlf(implicit.out);
    EXPECT_EQ(il[2 + 1510 / 16].substr(0, 9), "000005E0 ");
    EXPECT_EQ(il.back(), "(7FE0:0010)  OX  8192  \tPixel Data \t[ [ 1510 8192 ] ]");

    // Big endian after the meta group: Pixel Data is found and ends the dump.
    const ReportRun big = run_report(sample_dir / "ExplVR_BigEnd.dcm");
    ASSERT_EQ(big.status, 0);
    const std::vector<std::string> bl = split_crlf(big.out);
    EXPECT_EQ(bl[2].substr(0, 9), "00000000 ");
    EXPECT_EQ(bl.back(), "(7FE0:0010)  OX  14400  \tPixel Data \t[ [ 1012 14400 ] ]");
    // Big endian without a meta group names no byte order: read little-endian,
    // Pixel Data is never recognised and the dump is the whole file.
    const ReportRun bare_big = run_report(sample_dir / "ExplVR_BigEndNoMeta.dcm");
    ASSERT_EQ(bare_big.status, 0);
    const std::vector<std::string> nbl = split_crlf(bare_big.out);
    const std::string bare_big_bytes = read_file(sample_dir / "ExplVR_BigEndNoMeta.dcm");
    const std::vector<std::string> bare_big_dump =
        dump_lines(reinterpret_cast<const uint8_t*>(bare_big_bytes.data()), bare_big_bytes.size());
    ASSERT_GT(nbl.size(), 3 + bare_big_dump.size());
    EXPECT_TRUE(std::equal(bare_big_dump.begin(), bare_big_dump.end(), nbl.begin() + 2));
    EXPECT_EQ(nbl[2 + bare_big_dump.size()], "");
    EXPECT_EQ(bare_big.out.find("(7FE0:0010)"), std::string::npos);

    // No preamble: the information text, then a walk from byte 0.
    const ReportRun bare = run_report(sample_dir / "ExplVR_LitEndNoMeta.dcm");
    ASSERT_EQ(bare.status, 0);
    EXPECT_EQ(bare.err,
              error_line(sample_dir / "ExplVR_LitEndNoMeta.dcm", "DICOM Part-10 フォーマットではありません。"));
    // An RT plan: no Pixel Data, so the whole file is walked and dumped.
    const std::vector<std::string> nl = split_crlf(bare.out);
    const std::size_t bare_size = std::filesystem::file_size(sample_dir / "ExplVR_LitEndNoMeta.dcm");
    ASSERT_GT(nl.size(), 7 + bare_size / 16);
    EXPECT_EQ(nl[2].substr(0, 24), "00000000 08 00 05 00 43 ");
    EXPECT_EQ(nl[3 + bare_size / 16], "");
    EXPECT_EQ(nl[6 + bare_size / 16], "(0008:0005)  CS  10  \tSpecific Character Set \t[ ISO_IR 100 ]");
    EXPECT_EQ(nl.back(), "(300A:000C)  CS  8  \tRT Plan Geometry \t[ PATIENT  ]");

    // A truncated file: the walk stops at the end of the file.
    const ReportRun truncated = run_report(sample_dir / "rtplan_truncated.dcm");
    EXPECT_EQ(truncated.status, 0);
}

TEST(RealFiles, LongFormVrFilesListTheSameElementsAsDcmdump)
{
    if (!have_dcmdump()) {
        GTEST_SKIP() << "dcmdump not installed";
    }
    // Files with UN, OF and UT elements (explicit VR), and ordinary ones.
    const char* const files[] = {"J2K_pixelrep_mismatch.dcm",
                                 "rtdose_rle.dcm",
                                 "reportsi_with_empty_number_tags.dcm",
                                 "reportsi.dcm",
                                 "test-SR.dcm",
                                 "CT_small.dcm",
                                 "MR_small.dcm",
                                 "rtstruct.dcm",
                                 "nested_priv_SQ.dcm"};
    for (const char* name : files) {
        const std::vector<std::string> ours = walk_tags(sample_dir / name);
        const std::vector<std::string> peer = dcmdump_tags(sample_dir / name);
        ASSERT_FALSE(peer.empty()) << name;
        EXPECT_EQ(ours, peer) << name;
    }
}

TEST(RealFiles, BigEndianDataSetsListWhatDcmdumpLists)
{
    if (!have_dcmdump()) {
        GTEST_SKIP() << "dcmdump not installed";
    }
    // Explicit VR big endian after the little-endian meta group: tags,
    // lengths, VRs and the binary values in the table as dcmdump reads them.
    const char* const files[] = {"MR_small_bigendian.dcm",       "ExplVR_BigEnd.dcm", "MR_small_expb.dcm",
                                 "liver_expb_1frame.dcm",        "rtdose_expb.dcm",   "rtdose_expb_1frame.dcm",
                                 "dicomdirtests/DICOMDIR-bigEnd"};
    const std::vector<std::string> numeric = {"US", "SS", "UL", "SL", "FL", "FD"};
    for (const char* name : files) {
        SCOPED_TRACE(name);
        const fs::path path = sample_dir / name;
        const std::vector<PeerElement> peer = dcmdump_elements(path);
        FileCheck check{};
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(check_dicom_file(path.c_str(), check), std::fclose);
        ASSERT_TRUE(f);
        HeaderListing listing;
        ViewerState state;
        walk_header(f.get(), listing, state);
        const ElementGrid& g = listing.grid;
        ASSERT_FALSE(peer.empty());
        ASSERT_EQ(state.next_row - 1, static_cast<int>(peer.size()));
        int values = 0;
        for (int r = 1; r < state.next_row; ++r) {
            const PeerElement& e = peer[static_cast<std::size_t>(r - 1)];
            ASSERT_EQ(g.cell(r, 0) + "," + g.cell(r, 1), e.tag);
            if (e.vr == "SQ" || e.vr == "na") {
                continue; // entered rather than read: the table gives them no length
            }
            ASSERT_GE(e.length, 0) << e.tag;
            EXPECT_EQ(g.cell(r, 3), std::to_string(e.length)) << e.tag;
            // The table gives the dictionary's VR: US for a "US or SS" element.
            const bool us_or_ss = g.cell(r, 2) == "US" && e.vr == "SS";
            EXPECT_TRUE(g.cell(r, 2) == (e.tag == "7FE0,0010" ? "OX" : e.vr) || us_or_ss) << e.tag;
            if (us_or_ss) {
                continue;
            }
            const std::string& data = g.cell(r, 5);
            if (e.vm == 1 && std::find(numeric.begin(), numeric.end(), e.vr) != numeric.end()) {
                const double expected = std::stod(e.value);
                EXPECT_NEAR(std::stod(data), expected, 1e-6 * std::max(1.0, std::abs(expected))) << e.tag;
                ++values;
            } else if (e.vm == 1 && e.vr == "AT") {
                EXPECT_EQ(data, "[ " + e.value.substr(1, 4) + "  " + e.value.substr(6, 4) + " ]") << e.tag;
                ++values;
            }
        }
        EXPECT_GT(values, 2);
    }

    // The window MR_small.dcm states, found in its big-endian twin, and the
    // header up to Pixel Data (its tag at byte 1504) in the dump.
    const ReportRun big = run_report(sample_dir / "MR_small_bigendian.dcm");
    ASSERT_EQ(big.status, 0);
    const std::vector<std::string> lines = split_crlf(big.out);
    auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("(0028:1050)  DS  4  \tWindow Center \t[ 600  ]"));
    EXPECT_TRUE(has("(0028:1051)  DS  4  \tWindow Width \t[ 1600 ]"));
    EXPECT_EQ(lines.back(), "(7FE0:0010)  OX  8192  \tPixel Data \t[ [ 1516 8192 ] ]");
    EXPECT_EQ(lines[2 + 1512 / 16].substr(0, 9), "000005E0 ");
    EXPECT_EQ(lines[2 + 1512 / 16].size(), 9U + 8 * 3 + 8);
    FileCheck check{};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(
        check_dicom_file((sample_dir / "MR_small_bigendian.dcm").c_str(), check), std::fclose);
    ASSERT_TRUE(f);
    HeaderListing listing;
    ViewerState state;
    walk_header(f.get(), listing, state);
    EXPECT_EQ(state.window_level, 600);
    EXPECT_EQ(state.window_width, 1600);
    EXPECT_EQ(listing.header_size_text, "1512");
}

TEST(RealFiles, MetaGroupWithoutGroupLengthIsReadExplicitLittleEndian)
{
    // CT_small.dcm without (0002,0000), made with pydicom: its meta group
    // starts with (0002,0001) OB.
    const fs::path original = sample_dir / "CT_small.dcm";
    const fs::path copy = test_temp_path("CT_small_without_group_length.dcm");
    const std::string command =
        "/usr/bin/python3 -c 'import sys, pydicom; ds = pydicom.dcmread(sys.argv[1]); "
        "del ds.file_meta[0x00020000]; ds.save_as(sys.argv[2], write_like_original=True)' '" +
        original.string() + "' '" + copy.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_EQ(read_file(copy).substr(128, 10), std::string("DICM\x02\x00\x01\x00OB", 10));
    log_level = LogLevel::silent;

    // The table: the original's rows but the group length; Pixel Data lies
    // 12 bytes earlier.
    std::vector<std::string> expected = walk_rows(original);
    ASSERT_EQ(expected.size(), 271U);
    ASSERT_EQ(expected.front().substr(0, 9), "0002 0000");
    expected.erase(expected.begin());
    expected.back() = "7FE0 0010 OX 32768 | Pixel Data | [ 6288 32768 ]";
    EXPECT_EQ(walk_rows(copy), expected);

    // The stream reader: the same elements, explicit VR after the meta group.
    std::vector<std::string> elements = reader_elements(original);
    ASSERT_GT(elements.size(), 200U);
    ASSERT_EQ(elements.front(), "0002,0000 4");
    elements.erase(elements.begin());
    EXPECT_EQ(reader_elements(copy), elements);

    // The extraction: the same pixels.
    const std::vector<uint8_t> pixels = extracted_pixels(original);
    ASSERT_EQ(pixels.size(), 128U * 128U * 2U);
    EXPECT_EQ(extracted_pixels(copy), pixels);

    // pydicom's own sample without the group length: an implicit VR data set
    // of three elements after it.
    const std::vector<std::string> small = reader_elements(sample_dir / "no_meta_group_length.dcm");
    const std::vector<std::string> small_expected = {
        "0002,0001 2",  "0002,0002 30", "0002,0003 34", "0002,0010 18", "0002,0012 34",
        "0002,0013 12", "0002,0016 16", "0008,0008 24", "0008,0012 8",  "0008,0013 14"};
    EXPECT_EQ(small, small_expected);
}

TEST(RealFiles, MissingFileIsRefused)
{
    const ReportRun run = run_report(sample_dir / "no_such_file.dcm");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, error_line(sample_dir / "no_such_file.dcm",
                                  "ファイルを開くことができません。 (No such file or directory)"));
    EXPECT_TRUE(run.out.empty());
    // A folder is named as one.
    const ReportRun folder = run_report(sample_dir);
    EXPECT_EQ(folder.status, 2);
    EXPECT_EQ(folder.err, error_line(sample_dir, sample_dir.string() + " is a folder"));
}
