// Runs the lossless JPEG decoder on a stream held in memory, or through
// LosslessJpegDecode on one held in a temporary file, and collects its result,
// output, log lines and the file position.
#pragma once

#include "base/log.h"
#include "jpeg/ljpeg.h"
#include "tests/jpeg/stream_builder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace ljpeg_test {

constexpr uint8_t kUntouched = 0xAA;
constexpr int32_t kStreamLength = INT32_MIN;

struct DecodeResult {
    int32_t status = 0;
    Bytes output;
    long position = 0; // DecodeFile: file position after the call, relative to the fragment start
    std::string log;
};

// Runs `decode` with the log going to a temporary file, and keeps the lines.
template <typename Run>
std::string LogOf(Run decode)
{
    std::FILE* sink = std::tmpfile();
    log_stream = sink;
    decode();
    log_stream = nullptr;
    std::string log;
    std::rewind(sink);
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, sink)) > 0) {
        log.append(chunk, got);
    }
    std::fclose(sink);
    return log;
}

// Decodes `stream` from memory with LosslessJpegDecodeBuffer, reading in
// place from an exactly sized copy (so that the sanitizers see any read
// beyond it), into an output of `outputSize` bytes first filled with
// kUntouched.
inline DecodeResult Decode(const Bytes& stream, int32_t depth, std::size_t outputSize)
{
    DecodeResult result;
    result.output.assign(outputSize, kUntouched);
    const std::unique_ptr<uint8_t[]> exact(new uint8_t[stream.size()]);
    std::copy(stream.begin(), stream.end(), exact.get());
    result.log = LogOf([&] {
        result.status =
            LosslessJpegDecodeBuffer(exact.get(), stream.size(), result.output.data(), depth, outputSize);
    });
    return result;
}

// Decodes `stream` through LosslessJpegDecode as a fragment of `length` bytes
// (the stream's size when kStreamLength). The file holds 3 bytes before and 7
// bytes after the stream so that the position left by the decoder can be
// checked.
inline DecodeResult DecodeFile(const Bytes& stream, int32_t depth, std::size_t outputSize,
                               int32_t length = kStreamLength)
{
    DecodeResult result;
    std::FILE* file = std::tmpfile();
    const Bytes before = {1, 2, 3};
    const Bytes after = {0xFF, 0xD9, 9, 9, 9, 9, 9};
    std::fwrite(before.data(), 1, before.size(), file);
    if (!stream.empty()) {
        std::fwrite(stream.data(), 1, stream.size(), file);
    }
    std::fwrite(after.data(), 1, after.size(), file);
    std::fseek(file, static_cast<long>(before.size()), SEEK_SET);

    result.output.assign(outputSize, kUntouched);
    result.log = LogOf([&] {
        result.status =
            LosslessJpegDecode(file, result.output.data(), depth,
                               length == kStreamLength ? static_cast<int32_t>(stream.size()) : length, outputSize);
    });
    result.position = std::ftell(file) - static_cast<long>(before.size());
    std::fclose(file);
    return result;
}

inline std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

// The log's lines without their time and process: "LEVEL: MESSAGE".
inline std::string Messages(const std::string& log)
{
    std::string out;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        end = end == std::string::npos ? log.size() : end + 1;
        const std::string line = log.substr(start, end - start);
        const std::size_t tag = line.find("]: ");
        out += tag == std::string::npos ? line : line.substr(tag + 3);
        start = end;
    }
    return out;
}

// What the decoder should write for `image` at `depth`.
inline Bytes Expected(const Image& image, int depth)
{
    Bytes out;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (depth == 8) {
                out.push_back(static_cast<uint8_t>(image.At(x, y, 0)));
            } else if (depth == 16) {
                out.push_back(static_cast<uint8_t>(image.At(x, y, 0)));
                out.push_back(static_cast<uint8_t>(image.At(x, y, 0) >> 8));
            } else {
                for (int c = 0; c < 3; ++c) {
                    out.push_back(c < image.components ? static_cast<uint8_t>(image.At(x, y, c)) : 0);
                }
            }
        }
    }
    return out;
}

inline std::size_t FrameBytes(const Image& image, int depth)
{
    return static_cast<std::size_t>(image.width) * image.height * (depth / 8);
}

} // namespace ljpeg_test
