// JPEG decoding speed on synthetic images made and encoded at start-up by the
// test encoders: LosslessJpegDecodeBuffer and DctJpegDecode, from memory.
#include "base/log.h"
#include "jpeg/dct.h"
#include "jpeg/ljpeg.h"
#include "tests/jpeg/dct_encoder.h"
#include "tests/jpeg/stream_builder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

namespace {

using ljpeg_test::Bytes;
using ljpeg_test::Image;

// A smooth image with mild noise, about what a CT or MR slice costs per sample.
Image SmoothImage(int size, int components, int precision)
{
    Image image{size, size, components, precision, {}};
    image.samples.resize(static_cast<std::size_t>(size) * size * components);
    const double top = (1 << precision) - 1;
    const int noise = precision > 9 ? 1 << (precision - 9) : 1;
    uint32_t state = 1;
    std::size_t i = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            for (int c = 0; c < components; ++c) {
                state = state * 1664525U + 1013904223U;
                const double smooth = 0.5 + 0.2 * std::sin(x * 0.013 + c) + 0.2 * std::cos(y * 0.021);
                const int jitter = static_cast<int>((state >> 16) % (2 * noise + 1)) - noise;
                image.samples[i++] = static_cast<uint16_t>(std::clamp(smooth * top + jitter, 0.0, top));
            }
        }
    }
    return image;
}

const Bytes& Stream(int size, int components, int precision, int psv)
{
    static std::map<std::tuple<int, int, int, int>, Bytes> cache;
    Bytes& stream = cache[{size, components, precision, psv}];
    if (stream.empty()) {
        ljpeg_test::EncodeOptions options;
        options.psv = psv;
        stream = ljpeg_test::Encode(SmoothImage(size, components, precision), options);
    }
    return stream;
}

void Decode(benchmark::State& state, int size, int components, int precision, int psv, int depth)
{
    const Bytes& stream = Stream(size, components, precision, psv);
    std::vector<uint8_t> output(static_cast<std::size_t>(size) * size * (depth / 8));
    for (auto _ : state) {
        const int32_t status =
            LosslessJpegDecodeBuffer(stream.data(), stream.size(), output.data(), depth, output.size());
        if (status != 0) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(output.size()));
    state.counters["Msamples/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * size * size * components / 1e6, benchmark::Counter::kIsRate);
    state.counters["bits/sample"] = 8.0 * static_cast<double>(stream.size()) / (double(size) * size * components);
}

// The same decode from memory, read in place (the path of extraction).
void DecodeBuffer(benchmark::State& state, int size, int components, int precision, int psv, int depth)
{
    const Bytes& stream = Stream(size, components, precision, psv);
    std::vector<uint8_t> output(static_cast<std::size_t>(size) * size * (depth / 8));
    for (auto _ : state) {
        if (LosslessJpegDecodeBuffer(stream.data(), stream.size(), output.data(), depth, output.size()) != 0) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(output.data());
    }
    state.counters["Msamples/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * size * size * components / 1e6, benchmark::Counter::kIsRate);
}

// A DCT stream of a smooth single-component image; `step` sets the
// quantization (2 is near-lossless at 12 bits, 16 a usual lossy rate).
const Bytes& DctStream(int size, int precision, int step, int restart)
{
    static std::map<std::tuple<int, int, int, int>, Bytes> cache;
    Bytes& stream = cache[{size, precision, step, restart}];
    if (stream.empty()) {
        const Image image = SmoothImage(size, 1, precision);
        stream = dct_test::EncodeDct(image.samples, size, size, precision, step, restart);
    }
    return stream;
}

void DctDecode(benchmark::State& state, int size, int precision, int step, int restart)
{
    const Bytes& stream = DctStream(size, precision, step, restart);
    std::vector<uint8_t> output(static_cast<std::size_t>(size) * size * (precision == 8 ? 1 : 2));
    for (auto _ : state) {
        if (DctJpegDecode(stream.data(), stream.size(), output.data(), output.size()) != 0) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(output.data());
    }
    state.counters["Msamples/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * size * size / 1e6,
                                                      benchmark::Counter::kIsRate);
    state.counters["bits/sample"] = 8.0 * static_cast<double>(stream.size()) / (double(size) * size);
}

} // namespace

BENCHMARK_CAPTURE(DctDecode, dct12_2048_step2, 2048, 12, 2, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DctDecode, dct12_2048_step16, 2048, 12, 16, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DctDecode, dct12_2048_step2_restart64, 2048, 12, 2, 64)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DctDecode, dct8_2048_step2, 2048, 8, 2, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, mono12_2048_psv1, 2048, 1, 12, 1, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeBuffer, mono16_4096_psv1_memory, 4096, 1, 16, 1, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, mono12_2048_psv7, 2048, 1, 12, 7, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, mono16_4096_psv1, 4096, 1, 16, 1, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, mono16_4096_psv6, 4096, 1, 16, 6, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, mono8_2048_psv1_bytes, 2048, 1, 8, 1, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, mono8_2048_psv7_bytes, 2048, 1, 8, 7, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, rgb8_1024_psv1, 1024, 3, 8, 1, 24)->Unit(benchmark::kMillisecond);
