// Redrawing a 1920 x 1080 pane from one frame's kept samples, on one
// thread: placement and resampling (view_samples) and the VOI, presentation
// and overlay stages (render_picture), at fit and at 4 x that, from a
// 512 x 512 and a 4096 x 4096 frame; and a window change alone, which maps
// the resampled view again. Synthetic CT-like frames (a disc of soft tissue
// with noise in air); nothing is read from disk.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "viewer/picture_render.h"

namespace {

constexpr int pane_width = 1920;
constexpr int pane_height = 1080;

FrameImage ct_frame(int size)
{
    FrameImage frame;
    frame.columns = frame.frame_columns = size;
    frame.rows = frame.frame_rows = size;
    frame.samples.resize(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    frame.modality = {1, -1024};
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0, 12);
    const double radius = size * 0.45;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = x - size / 2.0;
            const double dy = y - size / 2.0;
            const int32_t tissue = dx * dx + dy * dy < radius * radius ? 1064 : 24;
            frame.samples[static_cast<std::size_t>(y) * static_cast<std::size_t>(size) +
                          static_cast<std::size_t>(x)] = tissue + static_cast<int32_t>(noise(random));
        }
    }
    frame.range = {-1024, 3071};
    return frame;
}

const FrameImage& frame_of(int size)
{
    static const FrameImage small = ct_frame(512);
    static const FrameImage large = ct_frame(4096);
    return size == 512 ? small : large;
}

ViewRect pane_view(const FrameImage& frame, double zoom)
{
    const ViewRect fit = fit_view(frame.frame_columns, frame.frame_rows, 0, 0, pane_width, pane_height);
    return zoom_view(fit, zoom, pane_width / 2.0, pane_height / 2.0);
}

// A redraw after a resize, zoom or pan: resampled and rendered.
void Redraw(benchmark::State& state)
{
    const FrameImage& frame = frame_of(static_cast<int>(state.range(0)));
    const ViewRect view = pane_view(frame, static_cast<double>(state.range(1)));
    RenderSettings settings;
    settings.voi.window = {40, 400, VoiFunction::linear};
    ViewSamples samples;
    PictureBitmap bitmap;
    for (auto _ : state) {
        view_samples(frame, view, pane_width, pane_height, samples);
        render_picture(frame, samples, settings, bitmap);
        benchmark::DoNotOptimize(bitmap.pixels.data());
    }
}
BENCHMARK(Redraw)
    ->ArgNames({"frame", "zoom"})
    ->Args({512, 1})
    ->Args({512, 4})
    ->Args({4096, 1})
    ->Args({4096, 4})
    ->Unit(benchmark::kMillisecond);

// A window change: the resampled view mapped again.
void WindowChange(benchmark::State& state)
{
    const FrameImage& frame = frame_of(static_cast<int>(state.range(0)));
    ViewSamples samples;
    view_samples(frame, pane_view(frame, 1), pane_width, pane_height, samples);
    RenderSettings settings;
    PictureBitmap bitmap;
    int level = 0;
    for (auto _ : state) {
        settings.voi.window = {static_cast<double>(level++ % 200), 400, VoiFunction::linear};
        render_picture(frame, samples, settings, bitmap);
        benchmark::DoNotOptimize(bitmap.pixels.data());
    }
}
BENCHMARK(WindowChange)->ArgName("frame")->Arg(512)->Arg(4096)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
