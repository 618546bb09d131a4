// diff [--ignore GGGG]... [--no-private] A B: the elements that differ
// between two headers, one line each.
#include <cstdio>
#include <cstring>
#include <string>

#include "browser/header_diff.h"
#include "tools/checked_file.h"
#include "tools/commands.h"
#include "tools/error_line.h"
#include "viewer/header_walk.h"
#include "viewer/messages.h"

namespace {

constexpr const char* usage = "usage: velmor-dump diff [--ignore GGGG]... [--no-private] FILE1 FILE2\n";

// Exactly four hexadecimal digits.
bool parse_group(const char* text, uint16_t& group)
{
    if (std::strlen(text) != 4) {
        return false;
    }
    unsigned value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const char c = *p;
        const int digit = (c >= '0' && c <= '9')   ? c - '0'
                          : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                   : -1;
        if (digit < 0) {
            return false;
        }
        value = (value << 4) | static_cast<unsigned>(digit);
    }
    group = static_cast<uint16_t>(value);
    return true;
}

// A value text on one line: control characters written as \n, \r, \t or \xNN.
std::string one_line(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (b < 0x20 || b == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(b));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

struct WalkedFile {
    FilePtr file{nullptr, std::fclose};
    ViewerState state;
    HeaderListing listing;
};

bool walk(const char* path, WalkedFile& walked)
{
    walked.file = open_checked_file(path);
    if (!walked.file) {
        return false;
    }
    walk_header(walked.file.get(), walked.listing, walked.state);
    return true;
}

} // namespace

int cmd_diff(int argc, char** argv)
{
    DiffOptions options;
    const char* paths[2] = {};
    int path_count = 0;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-private") == 0) {
            options.no_private = true;
        } else if (std::strcmp(argv[i], "--ignore") == 0 && i + 1 < argc) {
            uint16_t group = 0;
            if (!parse_group(argv[++i], group)) {
                std::fprintf(stderr, "velmor-dump: --ignore takes a group as four hexadecimal digits, not '%s'\n",
                             argv[i]);
                return 2;
            }
            options.ignored_groups.push_back(group);
        } else if (path_count < 2 && argv[i][0] != '-') {
            paths[path_count++] = argv[i];
        } else {
            path_count = 3;
            break;
        }
    }
    if (path_count != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    WalkedFile first;
    WalkedFile second;
    if (!walk(paths[0], first) || !walk(paths[1], second)) {
        return 2;
    }
    const DiffSide first_side{first.listing, file_byte_source(first.file.get()), first.state.big_endian_data_set};
    const DiffSide second_side{second.listing, file_byte_source(second.file.get()),
                               second.state.big_endian_data_set};
    const std::vector<HeaderDifference> differences = compare_headers(first_side, second_side, options);
    for (const HeaderDifference& d : differences) {
        std::string line(1, static_cast<char>(d.mark));
        line += '\t';
        line += d.path;
        if (d.mark != DiffMark::only_second) {
            line += '\t' + one_line(d.first_value);
        }
        if (d.mark != DiffMark::only_first) {
            line += '\t' + one_line(d.second_value);
        }
        line += '\n';
        if (std::fputs(line.c_str(), stdout) < 0) {
            break;
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        print_error_line("standard output", msg::cannot_create);
        return 2;
    }
    return differences.empty() ? 0 : 1;
}
