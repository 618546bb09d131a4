// A set of files open in the window (a folder, several files, a DICOMDIR):
// its series as the scan groups them, the series shown and the step through
// it. Qt-free; the window's series pane and title read it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "series/series.h"
#include "viewer/read_ahead.h"

// A series of the set, by what groups it.
struct SeriesKey {
    std::string patient_id;
    std::string patient_name;
    std::string study_uid;
    std::string series_uid;

    bool operator==(const SeriesKey&) const = default;
};

class SetBrowser {
public:
    // Adds files the scan read; the series and image shown stay shown wherever
    // the new order puts them.
    void add(std::vector<ScannedFile> files);
    const std::vector<Patient>& patients() const { return set_.patients(); }
    std::size_t series_count() const { return set_.series_count(); }
    std::size_t file_count() const { return files_; }

    // Shows a series from its first image; false when the set has no such one.
    bool select(const SeriesKey& key);
    // The first series in the set's order; false when there is none yet.
    bool select_first();
    // The series shown, or null.
    const Series* series() const;
    const std::optional<SeriesKey>& key() const { return key_; }

    // The step shown (0-based) and the steps of the series (frames included).
    int step() const { return step_; }
    int steps() const;
    // Moves to step n, clamped; false when the step stays where it was.
    bool go_to(int n);
    // The file and 0-based frame of step n (of the step shown by default).
    ImageKey image(int n) const;
    ImageKey image() const { return image(step_); }
    // What to read ahead from the step shown: the next two steps in the
    // direction of travel (+1 or -1), then the one behind.
    std::vector<ImageKey> around(int direction) const;

    // "DESCRIPTION - n / N": the Series Description, or "Series NUMBER"
    // without one, in UTF-8; empty when no series is shown.
    std::string title() const;

private:
    SeriesSet set_;
    std::size_t files_ = 0;
    std::optional<SeriesKey> key_;
    int step_ = 0;
};

// A name or description from a scanned header in UTF-8: decoded with the
// Specific Character Set given, or as the table shows undeclared text.
std::string decoded_text(const std::string& bytes, const std::string& character_set, bool person_name);

// The key of a series of the set.
SeriesKey series_key(const Patient& patient, const Study& study, const Series& series);
