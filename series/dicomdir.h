// DICOMDIR files: a medium's directory records listed as the scan's files,
// instead of reading every file of the medium. Qt-free.
#pragma once

#include <string>
#include <vector>

#include "series/series.h"

// True when the file's meta group names it a Media Storage Directory
// (SOP class 1.2.840.10008.1.3.10). Reads the meta group only.
bool is_dicomdir(const std::string& path);

// What a DICOMDIR lists. Each leaf record with a Referenced File ID under a
// SERIES record (IMAGE, and RT DOSE, SR DOCUMENT, PRESENTATION...) is one
// file, its fields taken from its PATIENT, STUDY and SERIES records and its
// own; its path is the DICOMDIR's folder joined with the ID's components,
// matched without regard to case when the exact name is not on the medium.
// Files named but absent are skipped as "missing: ...", IDs that would leave
// the DICOMDIR's folder as "refused: ...". When the DICOMDIR cannot be read
// (or names no file at all), error says why and nothing is listed.
struct DicomdirListing {
    std::vector<ScannedFile> files; // in the order of the directory records
    std::vector<SkippedPath> skipped;
    std::string error;
};

DicomdirListing read_dicomdir(const std::string& path);

// The scan's use of a DICOMDIR for one of the paths it was given.
struct DicomdirUse {
    // The path was a DICOMDIR, or a folder holding one at its top level
    // (named DICOMDIR in any case), and its records were listed: the path
    // needs no walk.
    bool listed = false;
    // A DICOMDIR found that could not be read: it was added to the skipped
    // paths with its reason, and the walk of the path passes it over.
    std::string unreadable;
};

// Lists the records of the DICOMDIR that path is or holds into result.
DicomdirUse list_dicomdir_of(const std::string& path, ScanResult& result);
