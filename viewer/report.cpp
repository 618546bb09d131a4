#include "report.h"

std::string build_report(const std::vector<std::string>& memo_lines, const ElementGrid& grid, int32_t next_row,
                         ReportEncoding encoding)
{
    std::string out;
    const bool utf8 = encoding == ReportEncoding::utf8;
    const auto put_cell = [&](int32_t row, int column) {
        if (grid.holds_utf8(row, column) == utf8) {
            out += grid.cell(row, column); // already in the report's encoding
        } else {
            out += utf8 ? grid.cell_utf8(row, column) : grid.cell_cp932(row, column);
        }
    };
    for (const std::string& line : memo_lines) {
        out += line;
        out += "\r\n";
    }
    out += "\r\n";
    out += report_separator;
    out += "\r\n";
    for (int32_t row = 0; row < next_row; ++row) {
        // "(%s:%s)  %s  %s  \t%s \t[ %s ]\n"
        out += '(';
        put_cell(row, 0);
        out += ':';
        put_cell(row, 1);
        out += ")  ";
        put_cell(row, 2);
        out += "  ";
        put_cell(row, 3);
        out += "  \t";
        put_cell(row, 4);
        out += " \t[ ";
        put_cell(row, 5);
        out += " ]\r\n";
    }
    return out;
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
