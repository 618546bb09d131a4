// The folder scan through its public operations: files written to a test
// folder, scanned, grouped and put in order.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "series/folder_scan.h"
#include "series/series.h"
#include "tests/common/dicom_bytes.h"
#include "tests/common/test_temp_dir.h"

namespace fs = std::filesystem;
using test_dicom::DicomBytes;

namespace {

// The header of one test image; empty fields are left out.
struct Fields {
    std::string patient_id = "P1";
    std::string study = "1.2.3";
    std::string series = "1.2.3.4";
    std::string number = "1";
    std::string instance;
    std::string position;
    std::string orientation = "1\\0\\0\\0\\1\\0";
    std::string content_time;
    std::string acquisition_time;
    std::string frames;

    Fields& with_patient_id(std::string value)
    {
        patient_id = std::move(value);
        return *this;
    }
    Fields& with_study(std::string value)
    {
        study = std::move(value);
        return *this;
    }
    Fields& with_series(std::string value)
    {
        series = std::move(value);
        return *this;
    }
    Fields& with_number(std::string value)
    {
        number = std::move(value);
        return *this;
    }
    Fields& with_instance(std::string value)
    {
        instance = std::move(value);
        return *this;
    }
    Fields& with_position(std::string value)
    {
        position = std::move(value);
        return *this;
    }
    Fields& with_orientation(std::string value)
    {
        orientation = std::move(value);
        return *this;
    }
    Fields& with_content_time(std::string value)
    {
        content_time = std::move(value);
        return *this;
    }
    Fields& with_acquisition_time(std::string value)
    {
        acquisition_time = std::move(value);
        return *this;
    }
    Fields& with_frames(std::string value)
    {
        frames = std::move(value);
        return *this;
    }
};
std::string dicom(const Fields& f)
{
    DicomBytes b = DicomBytes::file("1.2.840.10008.1.2.1");
    const auto text = [&](uint16_t group, uint16_t element, const char* vr, const std::string& value) {
        if (!value.empty()) {
            b.text(group, element, vr, value);
        }
    };
    text(0x0008, 0x0032, "TM", f.acquisition_time);
    text(0x0008, 0x0033, "TM", f.content_time);
    text(0x0008, 0x0060, "CS", "CT");
    text(0x0010, 0x0010, "PN", "Doe^" + f.patient_id);
    text(0x0010, 0x0020, "LO", f.patient_id);
    text(0x0020, 0x000D, "UI", f.study);
    text(0x0020, 0x000E, "UI", f.series);
    text(0x0020, 0x0011, "IS", f.number);
    text(0x0020, 0x0013, "IS", f.instance);
    if (!f.position.empty()) {
        text(0x0020, 0x0032, "DS", f.position);
        text(0x0020, 0x0037, "DS", f.orientation);
    }
    text(0x0028, 0x0008, "IS", f.frames);
    b.element(0x7FE0, 0x0010, "OW", std::string(4, '\0'));
    return b.bytes();
}

std::vector<Patient> scan_test_folder(ScanResult* out = nullptr)
{
    ScanResult scan = scan_paths({test_temp_dir().string()});
    std::vector<Patient> patients = group_series(scan.files);
    if (out != nullptr) {
        *out = std::move(scan);
    }
    return patients;
}

// The file names of the only series, in display order.
std::vector<std::string> order_of_only_series(SeriesOrder expected_order)
{
    const std::vector<Patient> patients = scan_test_folder();
    EXPECT_EQ(patients.size(), 1U);
    if (patients.size() != 1 || patients[0].studies.size() != 1 || patients[0].studies[0].series.size() != 1) {
        ADD_FAILURE() << "not one series";
        return {};
    }
    const Series& s = patients[0].studies[0].series[0];
    EXPECT_EQ(s.order, expected_order);
    std::vector<std::string> names;
    for (const SeriesFile& f : s.files) {
        names.push_back(fs::path(f.path).filename().string());
    }
    return names;
}

using Names = std::vector<std::string>;

TEST(SeriesOrder, FollowsTheSliceNormalShuffledOnDiskOrTilted)
{
    // Axial slices written in no order, instance numbers against the positions.
    write_temp("c", dicom(Fields{}.with_instance("1").with_position("0\\0\\20")));
    write_temp("a", dicom(Fields{}.with_instance("3").with_position("0\\0\\-5")));
    write_temp("b", dicom(Fields{}.with_instance("2").with_position("0\\0\\7.5")));
    EXPECT_EQ(order_of_only_series(SeriesOrder::position), (Names{"a", "b", "c"}));
    test_temp::remove_folder(test_temp::folders().test);

    // Tilted 30 degrees about x: normal (0, 0.5, 0.866). Each slice is also
    // shifted in plane so that z alone would give the opposite order.
    const std::string tilted = "1\\0\\0\\0\\0.8660254\\-0.5";
    write_temp("s0", dicom(Fields{}.with_instance("2").with_position("0\\0\\0").with_orientation(tilted)));
    write_temp(
        "s1",
        dicom(Fields{}.with_instance("3").with_position("0\\3.9641016\\-1.1339746").with_orientation(tilted)));
    write_temp(
        "s2",
        dicom(Fields{}.with_instance("1").with_position("0\\7.9282032\\-2.2679492").with_orientation(tilted)));
    EXPECT_EQ(order_of_only_series(SeriesOrder::position), (Names{"s0", "s1", "s2"}));
}

TEST(SeriesOrder, FallsBackToInstanceNumberThenTimesThenNaturalFileNames)
{
    // One image without a position: Instance Number.
    write_temp("x1", dicom(Fields{}.with_instance("2").with_position("0\\0\\1")));
    write_temp("x2", dicom(Fields{}.with_instance("10").with_position("0\\0\\0")));
    write_temp("x3", dicom(Fields{}.with_instance("1")));
    EXPECT_EQ(order_of_only_series(SeriesOrder::instance_number), (Names{"x3", "x1", "x2"}));
    test_temp::remove_folder(test_temp::folders().test);

    // Two orientations in one series: Instance Number, and the series says so.
    write_temp("m1", dicom(Fields{}.with_instance("2").with_position("0\\0\\0")));
    write_temp("m2",
               dicom(Fields{}.with_instance("1").with_position("0\\0\\5").with_orientation("0\\1\\0\\0\\0\\-1")));
    EXPECT_EQ(order_of_only_series(SeriesOrder::instance_number), (Names{"m2", "m1"}));
    EXPECT_TRUE(scan_test_folder()[0].studies[0].series[0].mixed_orientations);
    test_temp::remove_folder(test_temp::folders().test);

    // No instance numbers: Content Time; ties keep file-name order.
    write_temp("t1", dicom(Fields{}.with_content_time("101500.5")));
    write_temp("t2", dicom(Fields{}.with_content_time("09:59:59")));
    write_temp("t3", dicom(Fields{}.with_content_time("101500.25")));
    EXPECT_EQ(order_of_only_series(SeriesOrder::content_time), (Names{"t2", "t3", "t1"}));
    test_temp::remove_folder(test_temp::folders().test);

    // Content Time missing on one: Acquisition Time.
    write_temp("q1", dicom(Fields{}.with_content_time("120000").with_acquisition_time("120002")));
    write_temp("q2", dicom(Fields{}.with_acquisition_time("120001")));
    EXPECT_EQ(order_of_only_series(SeriesOrder::acquisition_time), (Names{"q2", "q1"}));
    test_temp::remove_folder(test_temp::folders().test);

    // Nothing to go by: the file names, numbers by value.
    for (const char* name : {"img10", "img2", "img1", "img02b"}) {
        write_temp(name, dicom(Fields{}));
    }
    EXPECT_EQ(order_of_only_series(SeriesOrder::file_name), (Names{"img1", "img2", "img02b", "img10"}));
}

TEST(SeriesGrouping, SplitsPatientsAndSeriesAndCountsFrames)
{
    write_temp("p1a", dicom(Fields{}.with_instance("1")));
    write_temp("p1b", dicom(Fields{}.with_instance("2").with_frames("3")));
    // A Number of Frames the pixel data (4 bytes) cannot hold counts what it can.
    write_temp("p1d", dicom(Fields{}.with_instance("3").with_frames("1000000000")));
    write_temp("p1c", dicom(Fields{}.with_series("1.2.3.5").with_number("2").with_instance("1")));
    write_temp("p2",
               dicom(Fields{}.with_patient_id("P2").with_study("9.8").with_series("9.8.7").with_instance("1")));
    const std::vector<Patient> patients = scan_test_folder();
    ASSERT_EQ(patients.size(), 2U);
    EXPECT_EQ(patients[0].id, "P1");
    EXPECT_EQ(patients[0].name, "Doe^P1");
    EXPECT_EQ(patients[1].id, "P2");
    ASSERT_EQ(patients[0].studies.size(), 1U);
    const std::vector<Series>& series = patients[0].studies[0].series;
    ASSERT_EQ(series.size(), 2U);
    EXPECT_EQ(series[0].uid, "1.2.3.4");
    EXPECT_EQ(series[1].uid, "1.2.3.5");
    EXPECT_EQ(series[1].images.size(), 1U);
    // The multi-frame file contributes its three frames in its place.
    ASSERT_GE(series[0].images.size(), 4U);
    EXPECT_EQ(series[0].images[0].frame, 0);
    for (int frame = 1; frame <= 3; ++frame) {
        EXPECT_EQ(series[0].images[static_cast<std::size_t>(frame)].frame, frame);
        EXPECT_EQ(series[0].files[series[0].images[static_cast<std::size_t>(frame)].file].path,
                  test_temp_path("p1b"));
    }
    EXPECT_EQ(series[0].images.size(), 4U + 32U);
    EXPECT_EQ(patients[1].studies.at(0).series.at(0).images.size(), 1U);
}

TEST(SeriesScan, ListsWhatItPassesOverAndGoesOn)
{
    const fs::path root = test_temp_dir();
    fs::create_directories(root / "sub" / "deeper");
    write_temp("sub/deeper/image", dicom(Fields{}.with_instance("1")));
    write_temp("sub/notes.txt", "these are not the bytes of a DICOM file; " + std::string(200, 'x'));
    write_temp("short", "DICM");
    fs::create_directory_symlink(root / "sub", root / "sub" / "deeper" / "loop");
    fs::create_symlink(root / "missing", root / "dangling");
    fs::create_directory(root / "locked");
    fs::permissions(root / "locked", fs::perms::none);
    const bool can_lock = geteuid() != 0; // root reads any folder

    ScanResult scan;
    const std::vector<Patient> patients = scan_test_folder(&scan);
    fs::permissions(root / "locked", fs::perms::owner_all);

    ASSERT_EQ(scan.files.size(), 1U);
    EXPECT_EQ(scan.files[0].path, test_temp_path("sub/deeper/image"));
    EXPECT_EQ(patients.size(), 1U);
    const auto reason = [&](const fs::path& path) -> std::optional<std::string> {
        for (const SkippedPath& s : scan.skipped) {
            if (s.path == path.string()) {
                return s.reason;
            }
        }
        return std::nullopt;
    };
    EXPECT_EQ(reason(root / "sub" / "deeper" / "loop"), "symbolic link loop");
    EXPECT_EQ(reason(root / "sub" / "notes.txt"), "not DICOM");
    EXPECT_EQ(reason(root / "short"), "not DICOM");
    EXPECT_NE(reason(root / "dangling"), std::nullopt);
    if (can_lock) {
        EXPECT_NE(reason(root / "locked"), std::nullopt);
    }
}

// What the window's pane lists: series UIDs, each with its files and frames in order.
std::vector<std::string> listing(const std::vector<Patient>& patients)
{
    std::vector<std::string> lines;
    for (const Patient& p : patients) {
        for (const Study& st : p.studies) {
            for (const Series& s : st.series) {
                lines.push_back(p.id + " " + st.uid + " " + s.uid);
                for (const SeriesImage& image : s.images) {
                    lines.push_back(s.files[image.file].path + " " + std::to_string(image.frame));
                }
            }
        }
    }
    return lines;
}

TEST(FolderScan, FilesTakenAsTheyComeGroupAsAllAtOnce)
{
    for (const char* folder : {"a", "b", "c"}) {
        fs::create_directory(test_temp_dir() / folder);
    }
    for (int i = 0; i < 12; ++i) {
        const std::string n = std::to_string(i);
        write_temp("a/" + n, dicom(Fields{}.with_instance(std::to_string(12 - i)).with_position("0\\0\\" + n)));
        write_temp("b/" + n, dicom(Fields{}.with_series("1.2.3.9").with_number("9").with_instance(n)));
    }
    write_temp("b/multi",
               dicom(Fields{}.with_series("1.2.3.9").with_number("9").with_instance("5").with_frames("2")));
    write_temp("c/P2", dicom(Fields{}.with_patient_id("P0").with_study("0.1").with_series("0.1.2")));
    const std::vector<std::string> all_at_once = listing(scan_test_folder());

    // One file at a time into the set, in the order the readers finish.
    FolderScan scan({test_temp_dir().string()}, 2);
    SeriesSet set;
    std::vector<SkippedPath> skipped;
    for (bool finished = false; !finished;) {
        finished = scan.progress().finished;
        std::vector<ScannedFile> files;
        scan.take(files, skipped);
        for (ScannedFile& f : files) {
            set.add({std::move(f)});
        }
    }
    EXPECT_EQ(scan.progress().scanned, 26U);
    EXPECT_TRUE(skipped.empty());
    EXPECT_EQ(listing(set.patients()), all_at_once);
    EXPECT_EQ(set.series_count(), 3U);

    // A cancelled scan ends, whatever it had left to do.
    FolderScan cancelled({test_temp_dir().string()}, 1);
    cancelled.cancel();
    const ScanResult partial = cancelled.finish();
    EXPECT_TRUE(cancelled.progress().finished);
    EXPECT_LE(partial.files.size(), 26U);
}

} // namespace
