// The folder scan and the series it finds. Qt-free: the window and velmor-dump
// share it. Names stay the file's bytes (trailing spaces and NULs trimmed);
// decoding them is the caller's business.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// What a series keeps of each of its files: what puts it in order.
struct SeriesFile {
    std::string path;
    std::optional<long long> instance_number;         // (0020,0013)
    std::optional<std::array<double, 3>> position;    // (0020,0032)
    std::optional<std::array<double, 6>> orientation; // (0020,0037)
    std::optional<double> content_time;               // (0008,0033), seconds of the day
    std::optional<double> acquisition_time;           // (0008,0032), seconds of the day
    int frames = 1;                                   // (0028,0008), at least 1
};

// What the scan reads of one DICOM file: the header up to its pixel data.
// The fields of the patient, study and series stay with those groups.
struct ScannedFile : SeriesFile {
    std::string character_set;      // (0008,0005), for the names
    std::string patient_name;       // (0010,0010)
    std::string patient_id;         // (0010,0020)
    std::string study_uid;          // (0020,000D)
    std::string study_date;         // (0008,0020)
    std::string study_description;  // (0008,1030)
    std::string series_uid;         // (0020,000E)
    std::string series_number;      // (0020,0011)
    std::string modality;           // (0008,0060)
    std::string series_description; // (0008,103E)
};

// A file or folder the scan passed over, and why.
struct SkippedPath {
    std::string path;
    std::string reason;
};

struct ScanResult {
    std::vector<ScannedFile> files; // in the order the walk found them
    std::vector<SkippedPath> skipped;
};

// Reads one file up to its pixel data; nullopt with the reason when it is
// not DICOM, cannot be read, breaks off or belongs to no series (a DICOMDIR).
std::optional<ScannedFile> scan_file(const std::string& path, std::string& reason);

// Walks the paths (files, and folders recursively, following symbolic links
// but never round a loop) and reads every file found on every core. Nothing
// stops the scan: what cannot be read is listed in skipped. A DICOMDIR given,
// or found at the top of a folder given, stands for the folder: its records
// are listed instead (series/dicomdir.h).
ScanResult scan_paths(const std::vector<std::string>& paths);

// One step of a series: a file, and for a multi-frame file one of its frames
// (1-based; 0 for a single-frame file).
struct SeriesImage {
    std::size_t file = 0; // index into Series::files
    int frame = 0;
};

// How a series' images were put in order.
enum class SeriesOrder { position, instance_number, content_time, acquisition_time, file_name };

struct Series {
    std::string uid;
    std::string number;
    std::string modality;
    std::string description;
    std::vector<SeriesFile> files;   // in display order
    std::vector<SeriesImage> images; // in display order, frames in place
    SeriesOrder order = SeriesOrder::file_name;
    bool mixed_orientations = false; // the positions were set aside for them
};

struct Study {
    std::string uid;
    std::string date;
    std::string description;
    std::vector<Series> series;
};

struct Patient {
    std::string character_set; // of the name, as its first file gives it
    std::string name;
    std::string id;
    std::vector<Study> studies;
};

// Files grouped by patient (ID, then name), study and series (their UIDs),
// each series in display order: along the slice normal when every image has
// a position and the same orientation; otherwise by Instance Number; otherwise
// by Content Time, then Acquisition Time; otherwise by file name in natural
// order. Ties keep Instance Number order. Patients come in (ID, name) order,
// studies by date, series by number. Files can be added as a scan finds them:
// the order is the same as when they all come at once.
class SeriesSet {
public:
    // Adds files to their patients, studies and series, and puts the series
    // they join in order again.
    void add(std::vector<ScannedFile> files);
    const std::vector<Patient>& patients() const { return patients_; }
    std::vector<Patient> take() { return std::move(patients_); }
    std::size_t series_count() const;

private:
    std::vector<Patient> patients_;
};

// All files grouped at once (see SeriesSet).
std::vector<Patient> group_series(std::vector<ScannedFile> files);

// Natural order of names: digit runs compare by value ("2" before "10").
bool natural_less(const std::string& a, const std::string& b);
