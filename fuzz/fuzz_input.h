// Fuzz targets hand the reader a file name: this puts the fuzzer's bytes in
// one scratch file in memory-backed storage and returns its path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

// The scratch file of this process, removed again when the fuzzer exits.
struct FuzzScratchFile {
    std::string path = "/dev/shm/velmor-fuzz-" + std::to_string(getpid()) + ".dcm";
    ~FuzzScratchFile() { std::remove(path.c_str()); }
};

inline const std::string& fuzz_input_path()
{
    static const FuzzScratchFile scratch;
    return scratch.path;
}

inline const char* write_fuzz_input(const uint8_t* data, std::size_t size)
{
    std::FILE* f = std::fopen(fuzz_input_path().c_str(), "wb");
    if (f == nullptr) {
        return nullptr;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return fuzz_input_path().c_str();
}
