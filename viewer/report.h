// The header report that Save writes: the memo lines, an empty line, a
// separator and one line per grid row from the header row to next_row - 1.
// Every line ends with CR LF; cells are written as the bytes they hold,
// except that each line feed in a cell is written as CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "viewer/element_grid.h"

inline constexpr const char* report_separator = "------------------------------------------------------";

std::string build_report(const std::vector<std::string>& memo_lines, const ElementGrid& grid, int32_t next_row);

// Splits a memo's text into its lines as the memo counts them: no lines for
// an empty text, and a final line break does not start another line.
std::vector<std::string> split_memo_lines(const std::string& text);
