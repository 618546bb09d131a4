// A structured report's content tree: each content item's relationship to
// its parent, value type, concept name and value, read from the export tree
// with text decoded under the file's character sets.
#pragma once

#include <string>
#include <vector>

#include "export/data_set.h"

// A coded entry: Code Value (or Long Code Value or URN Code Value), Coding
// Scheme Designator and Code Meaning.
struct CodedEntry {
    std::string value, scheme, meaning;
    bool empty() const { return value.empty() && scheme.empty() && meaning.empty(); }
};

// A composite object an IMAGE, WAVEFORM or COMPOSITE item refers to.
struct ObjectReference {
    std::string sop_class, sop_instance;
    std::vector<std::string> frames;                       // Referenced Frame Number
    std::vector<std::string> segments;                     // Referenced Segment Number
    std::vector<std::string> channels;                     // Referenced Waveform Channels, as M/C pairs
    std::string presentation_class, presentation_instance; // an IMAGE's presentation state
};

struct ContentItem {
    std::string relationship; // "CONTAINS", "HAS PROPERTIES"...; empty for the root
    std::string value_type;   // "CONTAINER", "TEXT"...; empty for a reference to another item
    CodedEntry concept_name;
    std::string observation_datetime; // (0040,A032)
    // The value as one text: TEXT, DATETIME, DATE, TIME, UIDREF and PNAME
    // values, a NUM's number, a CONTAINER's continuity, a SCOORD's or
    // TCOORD's kind (graphic type, temporal range type).
    std::string text;
    CodedEntry code;                     // CODE: the concept; NUM: the units
    CodedEntry qualifier;                // NUM without a value: why
    ObjectReference object;              // COMPOSITE, IMAGE, WAVEFORM
    std::vector<std::string> numbers;    // SCOORD, SCOORD3D: Graphic Data; TCOORD: its positions
    std::string numbers_name;            // TCOORD: which positions ("samples", "offsets", "datetimes")
    std::string frame_of_reference;      // SCOORD3D
    std::vector<std::string> referenced; // a reference to another item: its position (1, 2, 3)
    std::vector<ContentItem> children;   // Content Sequence (0040,A730)
};

struct StructuredReport {
    std::string sop_class; // (0008,0016)
    ContentItem root;
};

struct ReportLookup {
    StructuredReport report;
    std::string error; // empty when the data set is a structured report
    // The read's failure status (export/data_set.h) when the file ended in
    // a fault: the report holds what came before it.
    int read_failure = 0;
};

// The report a data set holds: its top level is the root content item.
ReportLookup read_structured_report(const DataSet& set);

// Reads `path` (every value loaded) and its report; the read's failure is the
// error when it leaves no report.
ReportLookup read_structured_report(const char* path);
