#include "viewer/report.h"

namespace {

// A cell as text-mode writing puts it in the file: every line feed becomes
// CR LF, whatever precedes it (a CR LF in the value becomes CR CR LF).
void append_cell(std::string& out, const std::string& cell)
{
    for (const char c : cell) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
}

} // namespace

std::string build_report(const std::vector<std::string>& memo_lines, const ElementGrid& grid, int32_t next_row,
                         ReportEncoding encoding)
{
    const MemoLines each = [&](const std::function<void(std::string&)>& put) {
        for (std::string line : memo_lines) {
            put(line);
        }
    };
    return build_report_from(each, grid, next_row, encoding);
}

std::string build_report_from(const MemoLines& memo_lines, const ElementGrid& grid, int32_t next_row,
                              ReportEncoding encoding)
{
    std::string out;
    memo_lines([&](std::string& line) {
        out += line;
        out += "\r\n";
    });
    out += "\r\n";
    out += report_separator;
    out += "\r\n";
    for (int32_t row = 0; row < next_row; ++row) {
        append_report_row(out, grid, row, encoding);
    }
    return out;
}

void append_report_row(std::string& out, const ElementGrid& grid, int32_t row, ReportEncoding encoding)
{
    const bool utf8 = encoding == ReportEncoding::utf8;
    // A row reads "(%s:%s)  %s  %s  \t%s \t[ %s ]": the text before each cell, then the end.
    constexpr const char* before_cell[] = {"(", ":", ")  ", "  ", "  \t", " \t[ "};
    for (int column = 0; column < grid_columns; ++column) {
        out += before_cell[column];
        if (grid.holds_utf8(row, column) == utf8) {
            append_cell(out, grid.cell(row, column)); // already in the report's encoding
        } else {
            append_cell(out, utf8 ? grid.cell_utf8(row, column) : grid.cell_cp932(row, column));
        }
    }
    out += " ]\r\n";
}

std::vector<std::string> split_memo_lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') {
            --stop;
        }
        lines.push_back(text.substr(start, stop - start));
        start = end + 1;
    }
    return lines;
}
