// Looking elements up in a data set of the export tree (elements in
// ascending tag order) and reading their first values.
#pragma once

#include <cstdint>
#include <string>

#include "export/data_set.h"

// The element with `tag`, or null.
const DataElement* find_element(const DataSet& set, uint32_t tag);

// The first item of the sequence with `tag`, or null when the element is
// missing, no sequence or empty.
const DataSet* first_item(const DataSet& set, uint32_t tag);

// The first text value of the element with `tag`, decoded with the data
// set's character set; empty when it is missing or empty.
std::string first_text(const DataSet& set, uint32_t tag);
