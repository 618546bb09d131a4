// velmor-dump series [--files] PATH...: the folder scan, one line per series.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/log.h"
#include "series/series.h"
#include "tools/commands.h"
#include "tools/error_line.h"

int cmd_series(int argc, char** argv)
{
    bool list_files = false;
    std::vector<std::string> paths;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--files") == 0) {
            list_files = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            paths.clear();
            break;
        } else {
            paths.emplace_back(argv[i]);
        }
    }
    if (paths.empty()) {
        std::fprintf(stderr, "usage: velmor-dump series [--files] PATH...\n");
        return 2;
    }
    // The reasons below say what went wrong with each file; the reader's own
    // log lines about the same files would only repeat them.
    log_level = LogLevel::silent;
    ScanResult scan = scan_paths(paths);
    for (const SkippedPath& s : scan.skipped) {
        print_error_line(s.path.c_str(), s.reason.c_str());
    }
    if (scan.files.empty()) {
        return 1;
    }
    for (const Patient& patient : group_series(std::move(scan.files))) {
        for (const Study& study : patient.studies) {
            for (const Series& s : study.series) {
                std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%zu\n", patient.id.c_str(), study.uid.c_str(), s.uid.c_str(),
                            s.number.c_str(), s.modality.c_str(), s.description.c_str(), s.images.size());
                if (!list_files) {
                    continue;
                }
                for (const SeriesImage& image : s.images) {
                    if (image.frame == 0) {
                        std::printf("\t%s\n", s.files[image.file].path.c_str());
                    } else {
                        std::printf("\t%s\t%d\n", s.files[image.file].path.c_str(), image.frame);
                    }
                }
            }
        }
    }
    return 0;
}
