// Opens a file for the header walk as the viewer's Open does, writing the
// file check's message box text to standard error as an error line.
#pragma once

#include <cstdio>
#include <memory>

#include "viewer/header_walk.h"

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// The checked file, positioned for the walk, or null (after the message)
// when it cannot be opened or is too short to be DICOM.
FilePtr open_checked_file(const char* path);

// Writes the check's message for `path` as an error line; false when the
// check refused the file.
bool print_file_check(const char* path, FileCheck check, int error);
