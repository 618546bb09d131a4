// Where a row lies in the data set, written as the tags from the top down,
// each item as its index after its sequence's tag:
// "(300A,00B0)[2].(300A,0111)[0].(300A,0112)".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "viewer/element_rows.h"

// The path of `row`; "" for a row out of range. An item outside any
// sequence is written "(FFFE,E000)[n]".
std::string tag_path(const std::vector<ElementRow>& rows, int32_t row);

// `row` and the rows that hold it, the outermost first.
std::vector<int32_t> row_chain(const std::vector<ElementRow>& rows, int32_t row);
