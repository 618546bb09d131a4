// ljpeg_decode_file FILE OFFSET LENGTH DEPTH WIDTH HEIGHT OUT
// Decodes the lossless JPEG fragment of LENGTH bytes at OFFSET in FILE into
// a WIDTH x HEIGHT slot at DEPTH bits per pixel and writes the slot to OUT.
#include "jpeg/ljpeg.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 8) {
        std::fprintf(stderr, "usage: %s FILE OFFSET LENGTH DEPTH WIDTH HEIGHT OUT\n", argv[0]);
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    if (in == nullptr || std::fseek(in, std::atol(argv[2]), SEEK_SET) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    const int32_t length = std::atoi(argv[3]);
    const int32_t depth = std::atoi(argv[4]);
    const std::size_t size = static_cast<std::size_t>(std::atol(argv[5])) * std::atol(argv[6]) * (depth / 8);
    std::vector<uint8_t> slot(size);
    if (LosslessJpegDecode(in, slot.data(), depth, length, slot.size()) != 0) {
        std::fprintf(stderr, "decoding failed\n");
        return 1;
    }
    std::fclose(in);
    std::FILE* out = std::fopen(argv[7], "wb");
    if (out == nullptr || std::fwrite(slot.data(), 1, slot.size(), out) != slot.size()) {
        std::perror(argv[7]);
        return 1;
    }
    std::fclose(out);
    return 0;
}
