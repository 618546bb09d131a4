#include "browser/row_copy.h"

#include <algorithm>

std::string copy_rows(const HeaderListing& listing, std::vector<int32_t> rows, ReportEncoding encoding)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::string text;
    for (const int32_t row : rows) {
        if (row >= 0 && static_cast<std::size_t>(row) < listing.rows.size()) {
            append_report_row(text, listing.grid, row + 1, encoding);
        }
    }
    return text;
}
