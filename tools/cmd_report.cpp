// report [--encoding cp932|utf-8] FILE: the bytes the viewer's Save writes
// right after opening FILE, in code page 932 or, like the "UTF-8 text" file
// type, in UTF-8.
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "tools/checked_file.h"
#include "tools/commands.h"
#include "tools/error_line.h"
#include "viewer/encoding.h"
#include "viewer/header_walk.h"
#include "viewer/messages.h"
#include "viewer/report.h"

namespace {

bool parse_encoding(const char* name, ReportEncoding& encoding)
{
    if (std::strcmp(name, "cp932") == 0) {
        encoding = ReportEncoding::cp932;
        return true;
    }
    if (std::strcmp(name, "utf-8") == 0) {
        encoding = ReportEncoding::utf8;
        return true;
    }
    return false;
}

} // namespace

int cmd_report(int argc, char** argv)
{
    ReportEncoding encoding = ReportEncoding::cp932;
    if (argc == 3 && std::strcmp(argv[0], "--encoding") == 0) {
        if (!parse_encoding(argv[1], encoding)) {
            std::fprintf(stderr, "velmor-dump: unknown encoding '%s' (cp932 or utf-8)\n", argv[1]);
            return 2;
        }
        argc -= 2;
        argv += 2;
    }
    if (argc != 1) {
        std::fprintf(stderr, "usage: velmor-dump report [--encoding cp932|utf-8] FILE\n");
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

    const bool utf8 = encoding == ReportEncoding::utf8;
    const MemoLines memo = [&](const std::function<void(std::string&)>& put) {
        listing.dump.lines(0, listing.dump.line_count(), [&](std::string& line) {
            if (utf8) {
                line = cp932_to_utf8(line);
            }
            put(line);
        });
    };
    const std::string report = build_report_from(memo, listing.grid, state.next_row, encoding);
    if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() || std::fflush(stdout) != 0) {
        print_error_line("standard output", msg::cannot_create);
        return 1;
    }
    return 0;
}
