// What a study query asks and what the archive answers, for both protocols.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Empty fields match anything. Patient names may hold * and ? wildcards;
// dates are YYYYMMDD, either end of the range may be left empty.
struct StudyQuery {
    std::string patient_name;
    std::string patient_id;
    std::string date_from;
    std::string date_to;
    std::string modality;
    std::string accession_number;
};

struct StudyRow {
    std::string study_uid;
    std::string patient_name;
    std::string patient_id;
    std::string date; // YYYYMMDD
    std::string description;
    std::string accession_number;
    std::string modalities; // "CT\MR" as the archive lists them
    int series_count = -1;  // -1: the archive did not say
    int instance_count = -1;
};

struct SeriesRow {
    std::string study_uid;
    std::string series_uid;
    std::string modality;
    std::string number;
    std::string description;
    int instance_count = -1;
};

// The DICOM date range of a query ("A-B", "A-", "-B", "A"), empty when it
// has neither end.
std::string date_range(const StudyQuery& query);

// An attribute of one answer to a query as text (values joined by
// backslashes, a person name's alphabetic group), empty when the answer
// lacks it; the tag as 0xGGGGEEEE.
using AnswerText = std::function<std::string(uint32_t tag)>;

// The row of one answer, whichever protocol brought it. A count that is
// absent or no number is -1.
StudyRow study_row(const AnswerText& text);
SeriesRow series_row(const AnswerText& text);
