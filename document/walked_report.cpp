#include "document/walked_report.h"

#include <cstdint>

#include "document/report_lines.h"
#include "document/structured_report.h"

namespace {

// The SOP Class UID the data set gives at its top level; empty without one.
std::string sop_class_of(const HeaderListing& listing)
{
    constexpr uint32_t sop_class_uid = 0x00080016;
    constexpr int data_column = 5;
    for (std::size_t i = 0; i < listing.rows.size(); ++i) {
        if (listing.rows[i].tag == sop_class_uid && listing.rows[i].depth == 0) {
            const std::string cell = listing.grid.cell_utf8(static_cast<int>(i) + 1, data_column);
            return cell.substr(0, cell.find_first_not_of("0123456789."));
        }
    }
    return {};
}

} // namespace

std::vector<std::string> structured_report_lines(const HeaderListing& listing, const std::string& path)
{
    // Every structured report storage class lies under this root (PS3.4 B.5).
    const std::string sr_classes = "1.2.840.10008.5.1.4.1.1.88.";
    if (sop_class_of(listing).rfind(sr_classes, 0) != 0) {
        return {};
    }
    const ReportLookup lookup = read_structured_report(path.c_str());
    return lookup.error.empty() ? report_lines(lookup.report) : std::vector<std::string>{};
}
