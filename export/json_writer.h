// The JSON model of a data set: members keyed by the tags' 8 hex digits, each
// with its "vr" and its "Value" array, "InlineBinary" or "BulkDataURI".
#pragma once

#include <vector>

#include "export/data_set.h"
#include "export/model_output.h"

// Writes the data set; a DS or IS value that is no valid number is written as
// a string and named in warnings.
void write_json(const DataSet& data_set, const ModelOptions& options, ModelOutput& out,
                std::vector<ModelWarning>& warnings);
