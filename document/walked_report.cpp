#include "document/walked_report.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "document/encapsulated_document.h"
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

std::optional<std::string> encapsulated_pdf(const HeaderListing& listing, const std::string& path)
{
    if (sop_class_of(listing) != "1.2.840.10008.5.1.4.1.1.104.1") {
        return std::nullopt;
    }
    const DocumentLookup lookup = find_document(path.c_str());
    if (!lookup.error.empty()) {
        return std::nullopt;
    }
    char* bytes = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&bytes, &size);
    if (out == nullptr) {
        return std::nullopt;
    }
    const std::string problem = copy_document(lookup.document, path.c_str(), out);
    std::fclose(out);
    const std::unique_ptr<char, void (*)(void*)> owned(bytes, std::free);
    if (!problem.empty()) {
        return std::nullopt;
    }
    return std::string(bytes, size);
}
