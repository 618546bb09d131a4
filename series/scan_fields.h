// The header fields the scan keeps, for the other readers of headers in
// series/ (a DICOMDIR's directory records carry the same fields).
#pragma once

#include <optional>
#include <string>

#include "reader/dicom.h"
#include "series/series.h"

// The loaded value as the file holds it: a split string's values joined by
// backslashes again, leading spaces and trailing spaces and NULs trimmed.
std::string loaded_text(const ELEMENT& e);

// True when the element, at any nesting depth, is one of the fields of
// ScannedFile and short enough to be one.
bool is_scanned_field(const ELEMENT& e);

// Puts the loaded value of such an element into its field of the file.
void take_scanned_field(ScannedFile& file, const ELEMENT& e);

// scan_file without the direct walk of common headers: every file through the
// stream reader (the fuzz target compares the two).
std::optional<ScannedFile> scan_file_with_reader(const std::string& path, std::string& reason);
