// report FILE: the bytes the viewer's Save writes right after opening FILE.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "viewer/header_walk.h"
#include "viewer/messages.h"
#include "viewer/report.h"

int cmd_report(int argc, char** argv)
{
    if (argc != 1) {
        std::fprintf(stderr, "usage: velmor-dump report FILE\n");
        return 2;
    }
    FileCheck check{};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(check_dicom_file(argv[0], check), std::fclose);
    switch (check) {
    case FileCheck::cannot_open:
        std::fprintf(stderr, "%s\n", msg::cannot_open);
        return 2;
    case FileCheck::too_short:
        std::fprintf(stderr, "%s\n", msg::not_dicom);
        return 2;
    case FileCheck::not_part10:
        std::fprintf(stderr, "%s\n", msg::not_part10);
        break;
    case FileCheck::part10:
        break;
    }
    if (!file) {
        // The file vanished between the check and the reopen.
        std::fprintf(stderr, "%s\n", msg::cannot_open);
        return 2;
    }

    ViewerState state;
    HeaderListing listing;
    walk_header(file.get(), listing, state);
    file.reset();

    const std::string report = build_report(listing.memo, listing.grid, state.next_row);
    if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "velmor-dump: cannot write the report\n");
        return 1;
    }
    return 0;
}
