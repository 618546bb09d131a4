// DICOMDIRs built by hand (records stored in any order, offsets that loop
// or lead nowhere, IDs in another case or leaving the folder) listed through
// read_dicomdir and the folder scan.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "series/dicomdir.h"
#include "series/series.h"
#include "tests/common/dicom_bytes.h"
#include "tests/common/test_temp_dir.h"

namespace fs = std::filesystem;
using test_dicom::DicomBytes;

namespace {

constexpr int none = -1;    // no record: offset 0
constexpr int nowhere = -2; // an offset at which no record starts

struct TestRecord {
    std::string type;
    std::vector<std::tuple<uint16_t, uint16_t, const char*, std::string>> fields;
    int next = none; // indexes of records
    int lower = none;
};

TestRecord patient(const std::string& id, int next, int lower)
{
    return {"PATIENT", {{0x0010, 0x0010, "PN", "Doe^" + id}, {0x0010, 0x0020, "LO", id}}, next, lower};
}
TestRecord study(const std::string& uid, int next, int lower)
{
    return {"STUDY", {{0x0020, 0x000D, "UI", uid}}, next, lower};
}
TestRecord series(const std::string& uid, int next, int lower)
{
    return {"SERIES", {{0x0008, 0x0060, "CS", "CT"}, {0x0020, 0x000E, "UI", uid}}, next, lower};
}
TestRecord image(const std::string& file_id, int next, const std::string& instance = "1")
{
    return {"IMAGE", {{0x0004, 0x1500, "CS", file_id}, {0x0020, 0x0013, "IS", instance}}, next, none};
}

// A DICOMDIR of the records, stored in the given item order (all of them
// in index order by default); the root offset names the record at root.
std::string dicomdir_bytes(const std::vector<TestRecord>& records, int root = 0, std::vector<int> stored = {})
{
    if (stored.empty()) {
        for (int i = 0; i < static_cast<int>(records.size()); ++i) {
            stored.push_back(i);
        }
    }
    const auto body = [](const TestRecord& r, uint32_t next, uint32_t lower) {
        DicomBytes b;
        b.element(0x0004, 0x1400, "UL", b.n32(next)).element(0x0004, 0x1420, "UL", b.n32(lower));
        b.text(0x0004, 0x1430, "CS", r.type);
        for (const auto& [group, element, vr, value] : r.fields) {
            b.text(group, element, vr, value);
        }
        return b.bytes();
    };
    DicomBytes head;
    head.preamble();
    head.text(0x0002, 0x0002, "UI", "1.2.840.10008.1.3.10").element(0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1\0");
    const std::size_t first = head.size() + 12 + 12; // after the root offset and the sequence header
    std::vector<uint32_t> offset(records.size());
    std::size_t at = first;
    for (const int i : stored) {
        offset[static_cast<std::size_t>(i)] = static_cast<uint32_t>(at);
        at += 8 + body(records[static_cast<std::size_t>(i)], 0, 0).size();
    }
    const auto link = [&](int i) -> uint32_t {
        return i >= 0 ? offset[static_cast<std::size_t>(i)] : i == nowhere ? 7U : 0U;
    };
    head.element(0x0004, 0x1200, "UL", head.n32(link(root)));
    head.header(0x0004, 0x1220, "SQ", static_cast<uint32_t>(at - first));
    for (const int i : stored) {
        const TestRecord& r = records[static_cast<std::size_t>(i)];
        head.fragment(body(r, link(r.next), link(r.lower)));
    }
    return head.bytes();
}

// patient id / series uid / file name of each listed file.
std::vector<std::string> listed(const DicomdirListing& listing)
{
    std::vector<std::string> out;
    for (const ScannedFile& f : listing.files) {
        out.push_back(f.patient_id + "/" + f.series_uid + "/" + fs::path(f.path).filename().string());
    }
    return out;
}

using Lines = std::vector<std::string>;

TEST(DicomdirRecords, FollowTheOffsetsOrElseTheItemOrder)
{
    for (const char* name : {"A", "B", "C", "D"}) {
        write_temp(name, "");
    }
    // Two patients; the second patient's series holds D.
    std::vector<TestRecord> records = {
        patient("P1", 7, 1),   study("1.1", none, 2),     series("1.1.1", 5, 3), image("A", 4),
        image("B", none),      series("1.1.2", none, 6),  image("C", none),      patient("P2", none, 8),
        study("2.1", none, 9), series("2.1.1", none, 10), image("D", none),
    };
    const Lines expected = {"P1/1.1.1/A", "P1/1.1.1/B", "P1/1.1.2/C", "P2/2.1.1/D"};
    const std::string path = test_temp_path("DICOMDIR");

    // Stored backwards: only the offsets give the hierarchy.
    write_temp("DICOMDIR", dicomdir_bytes(records, 0, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(listed(read_dicomdir(path)), expected);

    // A loop among the images, or a root offset leading nowhere: the item order.
    records[4].next = 3;
    write_temp("DICOMDIR", dicomdir_bytes(records));
    EXPECT_EQ(listed(read_dicomdir(path)), expected);
    records[4].next = none;
    write_temp("DICOMDIR", dicomdir_bytes(records, nowhere));
    EXPECT_EQ(listed(read_dicomdir(path)), expected);

    // Cut inside a record: an error, nothing listed.
    const std::string whole = dicomdir_bytes(records);
    write_temp("DICOMDIR", whole.substr(0, whole.size() - 5));
    const DicomdirListing cut = read_dicomdir(path);
    EXPECT_TRUE(cut.files.empty());
    EXPECT_EQ(cut.error, "broken DICOMDIR: the file ends inside an element");
}

TEST(DicomdirFiles, MatchTheCaseOfTheMediumAndRefuseWhatLeavesTheFolder)
{
    fs::create_directories(test_temp_dir() / "sub" / "im");
    write_temp("sub/im/one", "");
    write_temp("sub/secret", "");
    write_temp("sub/DICOMDIR", dicomdir_bytes({
                                   patient("P", none, 1),
                                   study("1", none, 2),
                                   series("1.1", none, 3),
                                   image("IM\\ONE", 4),
                                   image("..\\SECRET", 5),
                                   image("IM\\.\\ONE", 6),
                                   image("IM\\TWO", none),
                               }));
    const DicomdirListing listing = read_dicomdir(test_temp_path("sub/DICOMDIR"));
    EXPECT_EQ(listing.error, "");
    ASSERT_EQ(listing.files.size(), 1U);
    EXPECT_EQ(listing.files[0].path, test_temp_path("sub/im/one"));
    EXPECT_EQ(listing.files[0].instance_number, 1);
    ASSERT_EQ(listing.skipped.size(), 3U);
    EXPECT_EQ(listing.skipped[0].reason.rfind("refused: ", 0), 0U);
    EXPECT_EQ(listing.skipped[1].reason.rfind("refused: ", 0), 0U);
    EXPECT_EQ(listing.skipped[2].path, test_temp_path("sub/IM/TWO"));
    EXPECT_EQ(listing.skipped[2].reason, "missing: named by DICOMDIR");
}

std::string image_file(const std::string& series_uid)
{
    DicomBytes b = DicomBytes::file("1.2.840.10008.1.2.1");
    b.text(0x0010, 0x0020, "LO", "P").text(0x0020, 0x000E, "UI", series_uid);
    return b.element(0x7FE0, 0x0010, "OW", std::string(4, '\0')).bytes();
}

TEST(DicomdirScan, StandsForItsFolderUnlessItCannotBeRead)
{
    write_temp("listed", image_file("1.1"));
    write_temp("unlisted", image_file("1.2"));
    const std::string dicomdir = dicomdir_bytes({
        patient("P", none, 1),
        study("1", none, 2),
        series("1.1", none, 3),
        image("LISTED", none),
    });
    const std::string path = write_temp("dicomdir", dicomdir);
    EXPECT_TRUE(is_dicomdir(path));
    EXPECT_FALSE(is_dicomdir(test_temp_path("listed")));

    ScanResult scan = scan_paths({test_temp_dir().string()});
    ASSERT_EQ(scan.files.size(), 1U);
    EXPECT_EQ(scan.files[0].path, test_temp_path("listed"));
    EXPECT_TRUE(scan.skipped.empty());

    // Broken: the folder is scanned, the DICOMDIR listed once with its reason.
    write_temp("dicomdir", dicomdir.substr(0, dicomdir.size() - 5));
    scan = scan_paths({test_temp_dir().string()});
    EXPECT_EQ(scan.files.size(), 2U);
    ASSERT_EQ(scan.skipped.size(), 1U);
    EXPECT_EQ(scan.skipped[0].path, path);
    EXPECT_EQ(scan.skipped[0].reason.rfind("broken DICOMDIR", 0), 0U);
}

} // namespace
