// DctJpegDecode on a stream held in memory, with its log, and the peer-made
// DCT fixtures (make_dct_fixtures.py).
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/log.h"
#include "jpeg/dct.h"
#include "tests/jpeg/stream_builder.h"

namespace dct_test {

using ljpeg_test::Bytes;

constexpr uint8_t kUntouched = 0xAA;

struct DctResult {
    int32_t status = 0;
    Bytes output;
    std::string log;
};

// Decodes into an output area of `outputSize` bytes followed by 16 guard
// bytes; `output` holds the area and the guard. A `claimed` size other than
// 0 is passed to the decoder instead, for frames it must refuse unwritten.
inline DctResult DecodeDct(const Bytes& stream, std::size_t outputSize, std::size_t claimed = 0)
{
    DctResult result;
    std::FILE* sink = std::tmpfile();
    result.output.assign(outputSize + 16, kUntouched);
    log_stream = sink;
    result.status =
        DctJpegDecode(stream.data(), stream.size(), result.output.data(), claimed != 0 ? claimed : outputSize);
    log_stream = nullptr;
    std::rewind(sink);
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, sink)) > 0) {
        result.log.append(chunk, got);
    }
    std::fclose(sink);
    return result;
}

inline bool GuardIntact(const DctResult& result, std::size_t outputSize)
{
    for (std::size_t i = outputSize; i < result.output.size(); ++i) {
        if (result.output[i] != kUntouched) {
            return false;
        }
    }
    return true;
}

struct Fixture {
    std::string name;
    int precision = 0;
    int components = 0;
    int width = 0;
    int height = 0;

    std::size_t FrameBytes() const
    {
        return static_cast<std::size_t>(width) * height * components * (precision == 8 ? 1 : 2);
    }
};

inline Bytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string FixturePath(const std::string& name, const char* extension)
{
    return std::string(VELMOR_JPEG_FIXTURES) + "/" + name + extension;
}

inline std::vector<Fixture> Fixtures()
{
    std::vector<Fixture> found;
    std::ifstream manifest(std::string(VELMOR_JPEG_FIXTURES) + "/dct_manifest.txt");
    Fixture f;
    while (manifest >> f.name >> f.precision >> f.components >> f.width >> f.height) {
        found.push_back(f);
    }
    return found;
}

inline Fixture FixtureNamed(const std::string& name)
{
    for (const Fixture& f : Fixtures()) {
        if (f.name == name) {
            return f;
        }
    }
    return {};
}

} // namespace dct_test
