// The native XML model of a data set: a NativeDicomModel of DicomAttribute
// elements (tag, vr, keyword) with numbered Value, PersonName and Item
// elements, InlineBinary or BulkData, in UTF-8.
#pragma once

#include "export/data_set.h"
#include "export/model_output.h"

void write_xml(const DataSet& data_set, const ModelOptions& options, ModelOutput& out);
