// The header browser's model over an RT Structure Set of about 240,000
// element rows (make_structure_set.py, written with pydicom when missing):
// the header walk that fills it, the find index, find queries of each kind,
// folding everything, and the header compared with itself.
//
// The data directory is $VELMOR_BENCH_DATA, else <build>/bench-data.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/log.h"
#include "browser/fold_state.h"
#include "browser/header_diff.h"
#include "browser/row_find.h"
#include "viewer/header_walk.h"

namespace {

std::string data_dir;

struct Walked {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{nullptr, std::fclose};
    ViewerState state;
    HeaderListing listing;
};

std::unique_ptr<Walked> walk_structure_set()
{
    auto walked = std::make_unique<Walked>();
    FileCheck check{};
    const std::string path = data_dir + "/rtstruct_240k.dcm";
    walked->file.reset(check_dicom_file(path.c_str(), check));
    if (walked->file) {
        walk_header(walked->file.get(), walked->listing, walked->state);
    }
    return walked;
}

// Built once, on first use: the walk itself is timed on its own below.
const Walked& structure_set()
{
    static const std::unique_ptr<Walked> walked = walk_structure_set();
    return *walked;
}

void WalkHeader(benchmark::State& state)
{
    for (auto _ : state) {
        const std::unique_ptr<Walked> walked = walk_structure_set();
        benchmark::DoNotOptimize(walked->listing.rows.data());
    }
    state.counters["rows"] = static_cast<double>(structure_set().listing.rows.size());
}
BENCHMARK(WalkHeader)->Unit(benchmark::kMillisecond)->Iterations(3);

void FindIndex(benchmark::State& state)
{
    const HeaderListing& listing = structure_set().listing;
    for (auto _ : state) {
        const RowFinder finder(listing);
        benchmark::DoNotOptimize(&finder);
    }
}
BENCHMARK(FindIndex)->Unit(benchmark::kMillisecond)->Iterations(5);

void Find(benchmark::State& state, const char* query)
{
    const RowFinder finder(structure_set().listing);
    std::size_t matches = 0;
    std::size_t shown = 0;
    for (auto _ : state) {
        const FindResult result = finder.find(query);
        matches = result.matches.size();
        shown = result.shown.size();
    }
    state.counters["matches"] = static_cast<double>(matches);
    state.counters["shown"] = static_cast<double>(shown);
}
BENCHMARK_CAPTURE(Find, tag, "(3006,0050)")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Find, description, "contour data")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Find, rare_value, "many contours")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Find, common_value, "closed")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Find, absent, "no such text")->Unit(benchmark::kMillisecond);

void FoldAll(benchmark::State& state)
{
    const HeaderListing& listing = structure_set().listing;
    for (auto _ : state) {
        FoldState folds(listing.rows);
        folds.fold_all();
        benchmark::DoNotOptimize(folds.visible_rows());
    }
}
BENCHMARK(FoldAll)->Unit(benchmark::kMillisecond);

void DiffWithItself(benchmark::State& state)
{
    const Walked& walked = structure_set();
    const DiffSide side{walked.listing, file_byte_source(walked.file.get()), walked.state.big_endian_data_set};
    for (auto _ : state) {
        benchmark::DoNotOptimize(compare_headers(side, side));
    }
}
BENCHMARK(DiffWithItself)->Unit(benchmark::kMillisecond)->Iterations(3);

bool prepare_data()
{
    const char* from_env = std::getenv("VELMOR_BENCH_DATA");
    data_dir = from_env != nullptr && *from_env != '\0' ? from_env : VELMOR_BENCH_DEFAULT_DATA;
    const std::string command =
        "/usr/bin/python3 '" VELMOR_BENCH_SOURCE_DIR "/make_structure_set.py' '" + data_dir + "'";
    return std::system(command.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    log_level = LogLevel::error;
    if (!prepare_data()) {
        std::fprintf(stderr, "browser_bench: the benchmark data could not be made\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
