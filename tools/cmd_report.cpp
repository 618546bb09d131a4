// report FILE: the bytes the viewer's Save writes right after opening FILE.
#include <cstdio>
#include <memory>
#include <string>

#include "tools/checked_file.h"
#include "tools/commands.h"
#include "tools/error_line.h"
#include "viewer/header_walk.h"
#include "viewer/messages.h"
#include "viewer/report.h"

int cmd_report(int argc, char** argv)
{
    if (argc != 1) {
        std::fprintf(stderr, "usage: velmor-dump report FILE\n");
        return 2;
    }
    FilePtr file = open_checked_file(argv[0]);
    if (!file) {
        return 2;
    }

    ViewerState state;
    HeaderListing listing;
    walk_header(file.get(), listing, state);
    file.reset();

    const std::string report = build_report(listing.memo, listing.grid, state.next_row);
    if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() || std::fflush(stdout) != 0) {
        print_error_line("standard output", msg::cannot_create);
        return 1;
    }
    return 0;
}
