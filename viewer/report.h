// The header report that Save writes: the memo lines, an empty line, a
// separator and one line per grid row from the header row to next_row - 1.
// Every line ends with CR LF, and so does each line feed inside a cell. In
// code page 932 (what Save writes) the cells are written as the bytes they
// hold, decoded values re-encoded with "?" for a character the code page
// lacks; in UTF-8 every cell is converted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "viewer/element_grid.h"

inline constexpr const char* report_separator = "------------------------------------------------------";

enum class ReportEncoding { cp932, utf8 };

// memo_lines are already in `encoding`.
std::string build_report(const std::vector<std::string>& memo_lines, const ElementGrid& grid, int32_t next_row,
                         ReportEncoding encoding = ReportEncoding::cp932);

// Hands each memo line, in order and already in the report's encoding, to
// `put`, which may take the string.
using MemoLines = std::function<void(const std::function<void(std::string& line)>& put)>;
std::string build_report_from(const MemoLines& memo_lines, const ElementGrid& grid, int32_t next_row,
                              ReportEncoding encoding = ReportEncoding::cp932);

// Appends grid row `row` as the report writes it, its CR LF included.
void append_report_row(std::string& out, const ElementGrid& grid, int32_t row,
                       ReportEncoding encoding = ReportEncoding::cp932);

// Splits a memo's text into its lines as the memo counts them: no lines for
// an empty text, and a final line break does not start another line.
std::vector<std::string> split_memo_lines(const std::string& text);
