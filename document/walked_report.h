// The document a file the header walk listed holds instead of a picture: a
// structured report or an encapsulated PDF, chosen by the SOP Class UID the
// listing shows, so that no other file is read again.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "viewer/header_walk.h"

// The lines of the content tree (report_lines) when the listing's SOP Class
// UID (0008,0016) is a structured report's and `path` holds one; none
// otherwise.
std::vector<std::string> structured_report_lines(const HeaderListing& listing, const std::string& path);

// The bytes of the PDF when the listing's SOP Class UID is Encapsulated PDF
// Storage and `path` holds its document; nothing otherwise.
std::optional<std::string> encapsulated_pdf(const HeaderListing& listing, const std::string& path);
