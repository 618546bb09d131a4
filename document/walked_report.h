// The structured report of a file the header walk listed: chosen by the SOP
// Class UID the listing shows, so that no other file is read again.
#pragma once

#include <string>
#include <vector>

#include "viewer/header_walk.h"

// The lines of the content tree (report_lines) when the listing's SOP Class
// UID (0008,0016) is a structured report's and `path` holds one; none
// otherwise.
std::vector<std::string> structured_report_lines(const HeaderListing& listing, const std::string& path);
