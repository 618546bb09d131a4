#include "tools/checked_file.h"

#include "tools/error_line.h"
#include "viewer/header_walk.h"
#include "viewer/messages.h"

FilePtr open_checked_file(const char* path)
{
    FileCheck check{};
    FilePtr file(check_dicom_file(path, check), std::fclose);
    switch (check) {
    case FileCheck::cannot_open: print_error_line(path, msg::cannot_open); return FilePtr(nullptr, std::fclose);
    case FileCheck::too_short: print_error_line(path, msg::not_dicom); return FilePtr(nullptr, std::fclose);
    case FileCheck::not_part10: print_error_line(path, msg::not_part10); break;
    case FileCheck::part10: break;
    }
    if (!file) {
        // The file vanished between the check and the reopen.
        print_error_line(path, msg::cannot_open);
    }
    return file;
}
