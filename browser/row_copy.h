// The text that Copy puts on the clipboard: the chosen rows as the header
// report writes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "viewer/header_walk.h"
#include "viewer/report.h"

// The rows (indices into listing.rows, in any order, repeats counted once)
// in table order, one report line each with its CR LF; rows out of range
// are left out.
std::string copy_rows(const HeaderListing& listing, std::vector<int32_t> rows,
                      ReportEncoding encoding = ReportEncoding::utf8);
