// A small sequential DCT JPEG writer for benchmarks and tests: one
// component, 8- or 12-bit samples, floating-point forward DCT, a flat-ish
// quantization table and Huffman tables made optimal for the image (T.81
// Annex K.2), optional restart intervals.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/jpeg/stream_builder.h"

namespace dct_test {

using ljpeg_test::Bytes;

struct Symbol {
    uint8_t symbol;
    uint8_t extraSize;
    uint16_t extraBits;
    bool dc;
};

// The code lengths of an optimal table for `freq`, limited to 16 bits, as
// DHT counts and symbols.
inline void OptimalTable(const std::vector<long>& frequencies, uint8_t bits[17], std::vector<uint8_t>& values)
{
    std::vector<long> freq(257, 0);
    std::copy(frequencies.begin(), frequencies.end(), freq.begin());
    freq[256] = 1; // reserves the all-ones code
    int codesize[257] = {};
    int others[257];
    std::fill(std::begin(others), std::end(others), -1);
    for (;;) {
        int c1 = -1;
        int c2 = -1;
        for (int i = 0; i <= 256; ++i) {
            if (freq[i] != 0 && (c1 < 0 || freq[i] <= freq[c1])) {
                c1 = i;
            }
        }
        for (int i = 0; i <= 256; ++i) {
            if (freq[i] != 0 && i != c1 && (c2 < 0 || freq[i] <= freq[c2])) {
                c2 = i;
            }
        }
        if (c2 < 0) {
            break;
        }
        freq[c1] += freq[c2];
        freq[c2] = 0;
        ++codesize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codesize[c1];
        }
        others[c1] = c2;
        ++codesize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codesize[c2];
        }
    }
    int count[40] = {};
    for (int i = 0; i <= 256; ++i) {
        count[codesize[i]] += codesize[i] != 0 ? 1 : 0;
    }
    for (int i = 39; i > 16; --i) {
        while (count[i] > 0) {
            int j = i - 2;
            while (count[j] == 0) {
                --j;
            }
            count[i] -= 2;
            ++count[i - 1];
            count[j + 1] += 2;
            --count[j];
        }
    }
    int last = 16;
    while (count[last] == 0) {
        --last;
    }
    --count[last];
    for (int i = 1; i <= 16; ++i) {
        bits[i] = static_cast<uint8_t>(count[i]);
    }
    values.clear();
    for (int length = 1; length <= 39; ++length) {
        for (int s = 0; s < 256; ++s) {
            if (codesize[s] == length) {
                values.push_back(static_cast<uint8_t>(s));
            }
        }
    }
}

inline int Category(int value)
{
    int magnitude = value < 0 ? -value : value;
    int size = 0;
    while (magnitude != 0) {
        ++size;
        magnitude >>= 1;
    }
    return size;
}

// `samples`: width x height, values below 2^precision.
inline Bytes EncodeDct(const std::vector<uint16_t>& samples, int width, int height, int precision, int step,
                       int restart = 0)
{
    static constexpr int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                        12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                        35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                        58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    double basis[8][8];
    for (int k = 0; k < 8; ++k) {
        for (int n = 0; n < 8; ++n) {
            basis[k][n] = (k == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * n + 1) * k * M_PI / 16);
        }
    }
    int quant[64];
    for (int i = 0; i < 64; ++i) {
        quant[i] = step + (i / 8 + i % 8);
    }
    const int top = (1 << (precision + 2)) - 1;
    const int blocksWide = (width + 7) / 8;
    const int blocksHigh = (height + 7) / 8;

    // Pass 1: the symbols of every block.
    std::vector<Symbol> symbols;
    std::vector<std::size_t> restartAt; // symbol index of each interval's start
    std::vector<long> dcFreq(256, 0);
    std::vector<long> acFreq(256, 0);
    int lastDc = 0;
    for (int b = 0; b < blocksWide * blocksHigh; ++b) {
        if (restart != 0 && b != 0 && b % restart == 0) {
            restartAt.push_back(symbols.size());
            lastDc = 0;
        }
        const int bx = b % blocksWide;
        const int by = b / blocksWide;
        double block[64];
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                const int sy = std::min(by * 8 + y, height - 1);
                const int sx = std::min(bx * 8 + x, width - 1);
                block[y * 8 + x] = samples[static_cast<std::size_t>(sy) * width + sx] - (1 << (precision - 1));
            }
        }
        int coefficients[64];
        for (int v = 0; v < 8; ++v) {
            for (int u = 0; u < 8; ++u) {
                double sum = 0;
                for (int y = 0; y < 8; ++y) {
                    for (int x = 0; x < 8; ++x) {
                        sum += basis[v][y] * basis[u][x] * block[y * 8 + x];
                    }
                }
                const int q = static_cast<int>(std::lround(sum / quant[v * 8 + u]));
                coefficients[v * 8 + u] = std::clamp(q, -top, top);
            }
        }
        const int difference = coefficients[0] - lastDc;
        lastDc = coefficients[0];
        const int dcSize = Category(difference);
        symbols.push_back({static_cast<uint8_t>(dcSize), static_cast<uint8_t>(dcSize),
                           static_cast<uint16_t>(difference >= 0 ? difference : difference + (1 << dcSize) - 1),
                           true});
        ++dcFreq[dcSize];
        int run = 0;
        for (int k = 1; k < 64; ++k) {
            const int value = coefficients[kZigzag[k]];
            if (value == 0) {
                ++run;
                continue;
            }
            while (run > 15) {
                symbols.push_back({0xF0, 0, 0, false});
                ++acFreq[0xF0];
                run -= 16;
            }
            const int size = Category(value);
            const uint8_t symbol = static_cast<uint8_t>(run << 4 | size);
            symbols.push_back({symbol, static_cast<uint8_t>(size),
                               static_cast<uint16_t>(value >= 0 ? value : value + (1 << size) - 1), false});
            ++acFreq[symbol];
            run = 0;
        }
        if (run != 0) {
            symbols.push_back({0x00, 0, 0, false});
            ++acFreq[0];
        }
    }

    ljpeg_test::Table dc;
    ljpeg_test::Table ac;
    OptimalTable(dcFreq, dc.bits, dc.values);
    OptimalTable(acFreq, ac.bits, ac.values);
    // Code and length of every symbol.
    auto codes = [](const ljpeg_test::Table& table, uint32_t code[256], int length[256]) {
        uint32_t next = 0;
        std::size_t p = 0;
        for (int l = 1; l <= 16; ++l) {
            for (int i = 0; i < table.bits[l]; ++i, ++p, ++next) {
                code[table.values[p]] = next;
                length[table.values[p]] = l;
            }
            next <<= 1;
        }
    };
    uint32_t dcCode[256] = {};
    int dcLength[256] = {};
    uint32_t acCode[256] = {};
    int acLength[256] = {};
    codes(dc, dcCode, dcLength);
    codes(ac, acCode, acLength);

    Bytes out;
    ljpeg_test::Soi(out);
    out.insert(out.end(), {0xFF, 0xDB, 0x00, static_cast<uint8_t>(precision == 8 ? 67 : 131),
                           static_cast<uint8_t>(precision == 8 ? 0x00 : 0x10)});
    for (int k = 0; k < 64; ++k) {
        if (precision != 8) {
            out.push_back(static_cast<uint8_t>(quant[kZigzag[k]] >> 8));
        }
        out.push_back(static_cast<uint8_t>(quant[kZigzag[k]]));
    }
    ljpeg_test::Dht(out, {{0x00, dc}, {0x10, ac}});
    if (restart != 0) {
        ljpeg_test::Dri(out, restart);
    }
    ljpeg_test::Sof(out, precision == 8 ? 0xC0 : 0xC1, precision, height, width, {{1, 0x11}});
    out.insert(out.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});

    ljpeg_test::BitWriter writer(out);
    std::size_t nextRestart = 0;
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        if (nextRestart < restartAt.size() && restartAt[nextRestart] == i) {
            writer.Flush();
            out.insert(out.end(), {0xFF, static_cast<uint8_t>(0xD0 + nextRestart % 8)});
            ++nextRestart;
        }
        const Symbol& s = symbols[i];
        if (s.dc) {
            writer.Put(dcCode[s.symbol], dcLength[s.symbol]);
        } else {
            writer.Put(acCode[s.symbol], acLength[s.symbol]);
        }
        if (s.extraSize != 0) {
            writer.Put(s.extraBits, s.extraSize);
        }
    }
    writer.Flush();
    ljpeg_test::Eoi(out);
    return out;
}

} // namespace dct_test
