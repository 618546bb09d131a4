#include "tools/checked_file.h"

#include <cstring>

#include "tools/error_line.h"
#include "viewer/header_walk.h"
#include "viewer/messages.h"

bool print_file_check(const char* path, FileCheck check, int error)
{
    switch (check) {
    case FileCheck::cannot_open: print_error_line(path, msg::cannot_open, std::strerror(error)); return false;
    case FileCheck::folder: print_error_line(path, folder_text(path).c_str()); return false;
    case FileCheck::too_short: print_error_line(path, msg::not_dicom); return false;
    case FileCheck::not_part10: print_error_line(path, msg::not_part10); return true;
    case FileCheck::part10: return true;
    }
    return true;
}

FilePtr open_checked_file(const char* path)
{
    FileCheck check{};
    int error = 0;
    FilePtr file(check_dicom_file(path, check, error), std::fclose);
    if (!print_file_check(path, check, error)) {
        return FilePtr(nullptr, std::fclose);
    }
    if (!file) {
        // The file could not be read from its start again.
        print_error_line(path, msg::cannot_open);
    }
    return file;
}
