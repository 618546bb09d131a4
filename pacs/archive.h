// The operations on an archive, the same for DICOMweb and DIMSE. Each call
// blocks until it is done, fails or is cancelled: callers with a window run
// it off the GUI thread. Failures come back as a message that names the
// server and what failed.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pacs/query.h"
#include "pacs/server.h"

struct ArchiveResult {
    bool ok = true;
    std::string message; // when !ok: e.g. "PACS \"main\" (http://...): 401 Unauthorized"

    static ArchiveResult failure(std::string text) { return {false, std::move(text)}; }
};

// Where a retrieve puts what arrives, and whom it tells.
struct RetrieveTarget {
    std::string folder; // exists; one file per instance is written into it
    // Called (on the retrieving thread) as each instance's file is complete
    // under its final name, with how many have arrived and how many are
    // expected (-1 when unknown).
    std::function<void(const std::string& path, int arrived, int expected)> arrived;
    // Set from any thread to stop the retrieve; it then fails with
    // "cancelled" and leaves nothing of its own in the folder.
    const std::atomic<bool>* cancel = nullptr;
};

class Archive {
public:
    virtual ~Archive() = default;

    // C-ECHO, or a QIDO-RS request that must answer.
    virtual ArchiveResult echo() = 0;
    virtual ArchiveResult query_studies(const StudyQuery& query, std::vector<StudyRow>& studies) = 0;
    virtual ArchiveResult query_series(const std::string& study_uid, std::vector<SeriesRow>& series) = 0;
    // A study, or one of its series when series_uid is not empty. On failure
    // or cancel every file this retrieve wrote is removed again.
    virtual ArchiveResult retrieve(const std::string& study_uid, const std::string& series_uid,
                                   const RetrieveTarget& target) = 0;
    // Stores DICOM files (STOW-RS or C-STORE).
    virtual ArchiveResult send(const std::vector<std::string>& paths) = 0;
};

// The archive object for the server's protocol.
std::unique_ptr<Archive> open_archive(const Server& server);
