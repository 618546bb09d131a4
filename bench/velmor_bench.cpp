// One benchmark per stage of Open, on files made from real sample images by
// make_bench_data.py (run at start-up when the data directory is not complete).
//
// The data directory is $VELMOR_BENCH_DATA, else <build>/bench-data.
// Byte rates are of the bytes each stage produces (decoded pixels, display
// samples, text), so they compare directly with the memcpy reference.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/log.h"
#include "image/rle.h"
#include "image/single.h"
#include "jpeg/ljpeg.h"
#include "reader/dicom_reader.h"
#include "viewer/display.h"
#include "viewer/header_walk.h"
#include "viewer/hex_dump.h"
#include "viewer/image_step.h"
#include "viewer/report.h"

namespace {

std::string data_dir;

std::string data_file(const char* name) { return data_dir + "/" + name; }

std::vector<uint8_t> read_whole(const std::string& path)
{
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return bytes;
    }
    std::fseek(file, 0, SEEK_END);
    bytes.resize(static_cast<std::size_t>(std::ftell(file)));
    std::rewind(file);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return bytes;
}

// The first frame's fragment of an encapsulated file and the record's shape,
// found with the reader itself.
struct Fragment {
    std::vector<uint8_t> bytes;
    single_image shape{};
    std::size_t frame_bytes = 0;
};

const Fragment& fragment_of(const char* name)
{
    static std::map<std::string, Fragment> cache;
    Fragment& fragment = cache[name];
    if (!fragment.bytes.empty()) {
        return fragment;
    }
    const std::string path = data_file(name);
    if (dicom_open(path.c_str()) != 0) {
        return fragment;
    }
    // The record's fields, from a full extraction.
    if (const single_image* image = dicom_single()) {
        fragment.shape = *image;
        fragment.shape.pixels = nullptr;
        fragment.frame_bytes = image->pixel_bytes;
    }
    dicom_single_free();
    dicom_close();

    // Pixel Data, the offset table, then the first fragment.
    dicom_open(path.c_str());
    int64_t start = -1;
    uint32_t length = 0;
    bool in_pixels = false;
    int items = 0;
    while (ELEMENT* element = dicom_element()) {
        if (!in_pixels) {
            in_pixels =
                element->group == 0x7FE0 && element->element == 0x0010 && element->length == UNDEFINED_LENGTH;
            if (!in_pixels && dicom_skip() != 0) {
                break;
            }
            continue;
        }
        if (items++ == 1) {
            start = element->offset + 8;
            length = element->length;
            break;
        }
        dicom_skip();
    }
    dicom_close();
    if (start >= 0) {
        const std::vector<uint8_t> file = read_whole(path);
        fragment.bytes.assign(file.begin() + start, file.begin() + start + length);
    }
    return fragment;
}

// ---- physical reference ---------------------------------------------------

void Memcpy(benchmark::State& state)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    std::vector<uint8_t> from(size, 1);
    std::vector<uint8_t> to(size, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(Memcpy)->Arg(8 << 20)->Arg(32 << 20)->Unit(benchmark::kMillisecond);

// Reading a whole file from the page cache into a fresh buffer.
void ReadFile(benchmark::State& state, const char* name)
{
    const std::string path = data_file(name);
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> data = read_whole(path);
        bytes = data.size();
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK_CAPTURE(ReadFile, ct12_2048, "ct12_2048.dcm")->Unit(benchmark::kMillisecond);

// ---- header walk, dump, report ------------------------------------------

void HeaderWalk(benchmark::State& state, const char* name)
{
    const std::string path = data_file(name);
    ViewerState viewer;
    HeaderListing listing;
    for (auto _ : state) {
        FileCheck check{};
        std::FILE* file = check_dicom_file(path.c_str(), check);
        if (file == nullptr) {
            state.SkipWithError("cannot open");
            return;
        }
        walk_header(file, listing, viewer);
        std::fclose(file);
        benchmark::DoNotOptimize(listing.dump.line_count());
    }
    state.counters["elements"] = viewer.next_row - 1;
    state.counters["header_bytes"] = static_cast<double>(viewer.header_size);
}
BENCHMARK_CAPTURE(HeaderWalk, ct_header, "ljpeg_ct12_2048_sv1.dcm")->Unit(benchmark::kMicrosecond);

void Dump(benchmark::State& state, const char* name)
{
    const std::string path = data_file(name);
    ViewerState viewer;
    HeaderListing listing;
    FileCheck check{};
    std::FILE* file = check_dicom_file(path.c_str(), check);
    walk_header(file, listing, viewer);
    std::fclose(file);
    const std::vector<uint8_t> all = read_whole(path);
    const std::size_t size = std::min<std::size_t>(all.size(), static_cast<std::size_t>(viewer.header_size));
    std::size_t line_count = 0;
    for (auto _ : state) {
        const std::vector<std::string> lines = dump_lines(all.data(), size);
        line_count = lines.size();
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["lines"] = static_cast<double>(line_count);
}
BENCHMARK_CAPTURE(Dump, ct_header, "ljpeg_ct12_2048_sv1.dcm")->Unit(benchmark::kMicrosecond);

void Report(benchmark::State& state, const char* name)
{
    const std::string path = data_file(name);
    ViewerState viewer;
    HeaderListing listing;
    FileCheck check{};
    std::FILE* file = check_dicom_file(path.c_str(), check);
    walk_header(file, listing, viewer);
    std::fclose(file);
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string report = build_report(listing.dump.all_lines(), listing.grid, viewer.next_row);
        size = report.size();
        benchmark::DoNotOptimize(report.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK_CAPTURE(Report, ct_header, "ljpeg_ct12_2048_sv1.dcm")->Unit(benchmark::kMicrosecond);

// ---- extraction: dicom_open + dicom_single ------------------------------

void OpenSingle(benchmark::State& state, const char* name)
{
    const std::string path = data_file(name);
    std::size_t bytes = 0;
    for (auto _ : state) {
        if (dicom_open(path.c_str()) != 0) {
            state.SkipWithError("dicom_open failed");
            dicom_close();
            return;
        }
        const single_image* image = dicom_single();
        if (image == nullptr) {
            state.SkipWithError("dicom_single failed");
            dicom_close();
            return;
        }
        bytes = image->pixel_bytes;
        benchmark::DoNotOptimize(image->pixels);
        dicom_single_free();
        dicom_close();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK_CAPTURE(OpenSingle, native_ct12_512, "ct12_512.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenSingle, native_ct12_2048, "ct12_2048.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenSingle, rle_ct12_2048, "rle_ct12_2048.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenSingle, rle_rgb8_1024, "rle_rgb8_1024.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenSingle, ljpeg_ct12_2048_sv1, "ljpeg_ct12_2048_sv1.dcm")->Unit(benchmark::kMillisecond);

// ---- decoders alone, on a fragment in memory -----------------------------

void RleDecode(benchmark::State& state, const char* name)
{
    const Fragment& fragment = fragment_of(name);
    if (fragment.bytes.empty()) {
        state.SkipWithError("no fragment");
        return;
    }
    std::vector<uint8_t> slot(fragment.frame_bytes);
    const std::vector<uint8_t>& bytes = fragment.bytes;
    for (auto _ : state) {
        if (rle_decode_frame(bytes.data(), bytes.size(), 0, slot.data(), slot.size()) != 0) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(slot.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * slot.size()));
    state.counters["ratio"] = static_cast<double>(slot.size()) / static_cast<double>(bytes.size());
}
BENCHMARK_CAPTURE(RleDecode, ct12_2048, "rle_ct12_2048.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RleDecode, rgb8_1024_3seg, "rle_rgb8_1024.dcm")->Unit(benchmark::kMillisecond);

void LjpegDecode(benchmark::State& state, const char* name)
{
    const Fragment& fragment = fragment_of(name);
    if (fragment.bytes.empty()) {
        state.SkipWithError("no fragment");
        return;
    }
    const single_image& shape = fragment.shape;
    const int32_t depth = shape.samples_per_pixel * shape.bits_allocated;
    std::vector<uint8_t> slot(fragment.frame_bytes);
    const std::vector<uint8_t>& bytes = fragment.bytes;
    for (auto _ : state) {
        if (LosslessJpegDecodeBuffer(bytes.data(), bytes.size(), slot.data(), depth, slot.size()) != 0) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(slot.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * slot.size()));
    state.counters["Msamples/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * shape.columns *
                                                          shape.rows * shape.samples_per_pixel / 1e6,
                                                      benchmark::Counter::kIsRate);
    state.counters["bits/sample"] =
        8.0 * static_cast<double>(bytes.size()) / (double(shape.columns) * shape.rows * shape.samples_per_pixel);
}
BENCHMARK_CAPTURE(LjpegDecode, ct12_2048_sv1, "ljpeg_ct12_2048_sv1.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LjpegDecode, ct12_2048_sv7, "ljpeg_ct12_2048_sv7.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LjpegDecode, ct16_4096_sv1, "ljpeg_ct16_4096_sv1.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LjpegDecode, gray8_2048_sv1_bytes, "ljpeg_gray8_2048_sv1.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LjpegDecode, rgb8_1024_sv1, "ljpeg_rgb8_1024_sv1.dcm")->Unit(benchmark::kMillisecond);

// ---- display ---------------------------------------------------------------

std::vector<int32_t> source_samples(int size)
{
    std::vector<int32_t> source(static_cast<std::size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            source[static_cast<std::size_t>(y) * size + x] = (x * 7 + y * 3) % 4096;
        }
    }
    return source;
}

void Resample(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const std::vector<int32_t> source = source_samples(size);
    std::vector<int32_t> samples(display_pixel_count);
    for (auto _ : state) {
        resample_to_display(source.data(), source.size(), size, size, samples.data(), display_size, display_size);
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * samples.size() * sizeof(int32_t)));
}
BENCHMARK(Resample)->Arg(512)->Arg(2048)->Unit(benchmark::kMicrosecond);

void Render(benchmark::State& state)
{
    FrameImage frame;
    frame.columns = frame.frame_columns = display_size;
    frame.rows = frame.frame_rows = display_size;
    frame.samples.resize(display_pixel_count);
    for (std::size_t i = 0; i < frame.samples.size(); ++i) {
        frame.samples[i] = static_cast<int32_t>(i % 4096);
    }
    frame.modality.intercept = static_cast<double>(state.range(0));
    auto picture = std::make_unique<DisplayPicture>();
    picture->show(std::move(frame));
    DisplayBitmap pixels;
    for (auto _ : state) {
        render_display_pixels(*picture, {1000, 2000}, pixels);
        benchmark::DoNotOptimize(pixels.rows.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pixels.rows.size()));
}
BENCHMARK(Render)->Arg(0)->Arg(-1024)->Unit(benchmark::kMicrosecond);

// ---- the whole of Open without the window ----------------------------------

void OpenPipeline(benchmark::State& state, const char* name)
{
    const std::string path = data_file(name);
    ViewerState viewer;
    HeaderListing listing;
    auto picture = std::make_unique<DisplayPicture>();
    FrameInfo info;
    DisplayBitmap pixels;
    for (auto _ : state) {
        FileCheck check{};
        std::FILE* file = check_dicom_file(path.c_str(), check);
        if (file == nullptr) {
            state.SkipWithError("cannot open");
            return;
        }
        walk_header(file, listing, viewer);
        std::fclose(file);
        if (load_display_image(path.c_str(), 0, *picture, info) != ImageStepResult::Shown) {
            state.SkipWithError("image step failed");
            return;
        }
        render_display_pixels(*picture, {viewer.window_level, viewer.window_width}, pixels);
        benchmark::DoNotOptimize(pixels.rows.data());
    }
}
BENCHMARK_CAPTURE(OpenPipeline, native_ct12_512, "ct12_512.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenPipeline, native_ct12_2048, "ct12_2048.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenPipeline, rle_ct12_2048, "rle_ct12_2048.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenPipeline, ljpeg_ct12_2048_sv1, "ljpeg_ct12_2048_sv1.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenPipeline, ljpeg_ct12_2048_sv7, "ljpeg_ct12_2048_sv7.dcm")->Unit(benchmark::kMillisecond);

// ---- frames: Open and a step cost one frame whatever the file holds --------

// The image step of one frame: extraction of that frame alone, resampled to
// the display and rendered.
bool show_frame(const std::string& path, int32_t frame, DisplayPicture& picture, DisplayBitmap& pixels,
                const ViewerState& viewer)
{
    if (dicom_open(path.c_str()) != 0) {
        dicom_close();
        return false;
    }
    const single_image* image = dicom_single_frame(frame);
    ImageStepResult result = ImageStepResult::LoadFailed;
    const bool shown = image != nullptr && build_display_picture(*image, 0, picture, result);
    dicom_single_free();
    dicom_close();
    render_display_pixels(picture, {viewer.window_level, viewer.window_width}, pixels);
    return shown;
}

// Header walk + frame 1 + resample + render.
void OpenFrames(benchmark::State& state, const char* name)
{
    const std::string path = data_file(name);
    ViewerState viewer;
    HeaderListing listing;
    auto picture = std::make_unique<DisplayPicture>();
    DisplayBitmap pixels;
    for (auto _ : state) {
        FileCheck check{};
        std::FILE* file = check_dicom_file(path.c_str(), check);
        if (file == nullptr) {
            state.SkipWithError("cannot open");
            return;
        }
        walk_header(file, listing, viewer);
        std::fclose(file);
        if (!show_frame(path, 0, *picture, pixels, viewer)) {
            state.SkipWithError("frame step failed");
            return;
        }
        benchmark::DoNotOptimize(pixels.rows.data());
    }
}
BENCHMARK_CAPTURE(OpenFrames, ljpeg_512x1, "ljpeg_ct12_512x1_sv1.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenFrames, ljpeg_512x100, "ljpeg_ct12_512x100_sv1.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenFrames, ljpeg_512x300, "ljpeg_ct12_512x300_sv1.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenFrames, rle_512x1, "rle_ct12_512x1.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenFrames, rle_512x100, "rle_ct12_512x100.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenFrames, rle_512x300, "rle_ct12_512x300.dcm")->Unit(benchmark::kMillisecond);

// One step to the next frame of a 300-frame file (the frame shown moves on
// each iteration).
void FrameStep(benchmark::State& state, const char* name)
{
    const std::string path = data_file(name);
    const ViewerState viewer;
    auto picture = std::make_unique<DisplayPicture>();
    DisplayBitmap pixels;
    int32_t frame = 0;
    for (auto _ : state) {
        if (!show_frame(path, frame, *picture, pixels, viewer)) {
            state.SkipWithError("frame step failed");
            return;
        }
        frame = (frame + 1) % 300;
        benchmark::DoNotOptimize(pixels.rows.data());
    }
}
BENCHMARK_CAPTURE(FrameStep, ljpeg_512x300, "ljpeg_ct12_512x300_sv1.dcm")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FrameStep, rle_512x300, "rle_ct12_512x300.dcm")->Unit(benchmark::kMillisecond);

// Makes the data when it is not there yet.
bool prepare_data()
{
    const char* from_env = std::getenv("VELMOR_BENCH_DATA");
    data_dir = from_env != nullptr && *from_env != '\0' ? from_env : VELMOR_BENCH_DEFAULT_DATA;
    if (std::filesystem::exists(data_dir + "/complete-v2")) {
        return true;
    }
    std::fprintf(stderr, "making benchmark data in %s\n", data_dir.c_str());
    const std::string command =
        "/usr/bin/python3 '" VELMOR_BENCH_SOURCE_DIR "/make_bench_data.py' '" + data_dir + "'";
    return std::system(command.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    log_level = LogLevel::error;
    if (!prepare_data()) {
        std::fprintf(stderr, "velmor_bench: the benchmark data could not be made\n");
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
