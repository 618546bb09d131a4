// velmor-dump extract FILE OUT: the encapsulated document, byte for byte.
// velmor-dump sr FILE: the structured report's content tree as indented text.
#include <cstdio>
#include <string>

#include "document/encapsulated_document.h"
#include "document/report_lines.h"
#include "document/structured_report.h"
#include "export/data_set.h"
#include "tools/commands.h"
#include "tools/error_line.h"

int cmd_extract(int argc, char** argv)
{
    if (argc != 2 || argv[0][0] == '-' || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: velmor-dump extract FILE OUT\n");
        return 2;
    }
    const char* file = argv[0];
    const char* out = argv[1];
    const DocumentLookup lookup = find_document(file);
    if (!lookup.error.empty()) {
        print_error_line(file, lookup.error.c_str());
        return 1;
    }
    if (!lookup.document.length_note.empty()) {
        print_error_line(file, lookup.document.length_note.c_str());
    }
    const std::string error = write_document(lookup.document, file, out);
    if (!error.empty()) {
        print_error_line(file, error.c_str());
        return 1;
    }
    std::printf("%s %llu bytes\n", document_kind_name(lookup.document.kind),
                static_cast<unsigned long long>(lookup.document.length));
    return 0;
}

int cmd_sr(int argc, char** argv)
{
    if (argc != 1 || argv[0][0] == '-') {
        std::fprintf(stderr, "usage: velmor-dump sr FILE\n");
        return 2;
    }
    const char* file = argv[0];
    const ReportLookup lookup = read_structured_report(file);
    if (!lookup.error.empty()) {
        print_error_line(file, lookup.error.c_str());
        return 1;
    }
    for (const std::string& line : report_lines(lookup.report)) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    const bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (lookup.read_failure != 0) {
        print_error_line(file, read_failure_text(lookup.read_failure));
        return 1;
    }
    if (!written) {
        print_error_line("-", "cannot write standard output");
        return 1;
    }
    return 0;
}
