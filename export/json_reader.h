// The JSON model read back into data sets: what write_json writes, and what
// a DICOMweb service answers (QIDO-RS gives an array of data sets). Each
// value is stored as a file would hold it: text as UTF-8 (the data sets'
// character set is UTF-8) with values joined by backslashes, person names
// as their "="-joined groups, binary numbers and tags in host byte order,
// InlineBinary decoded; a BulkDataURI is kept as its URI.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "export/data_set.h"

// Data sets and sequences nested deeper than this are refused.
constexpr int json_depth_limit = 64;

// Reads one data set (a JSON object) or an array of them. False with `error`
// set, naming the line and column, when the text is no JSON model.
bool read_json(std::string_view text, std::vector<DataSet>& data_sets, std::string& error);
