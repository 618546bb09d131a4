// Internals of the sequential DCT decoder, shared by its header parser
// (dct_header.cpp), scan decoder (dct_scan.cpp) and output stage
// (dct_output.cpp), and visible to the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jpeg/jpeg_bytes.h"

namespace dct {

constexpr int32_t kMaxComponents = 4;
constexpr int32_t kMaxBlocksInMcu = 10;
constexpr int32_t kTableSlots = 4;
// Codes of up to kLookBits bits are resolved by one table look-up.
constexpr int32_t kLookBits = 10;

// A DHT table and what decoding derives from it.
struct HuffmanTable {
    bool defined = false;
    uint8_t bits[17] = {}; // bits[k] = number of codes of length k
    uint8_t huffval[256] = {};
    int32_t maxcode[18] = {};   // largest code of each length, -1 if none
    int32_t valoffset[17] = {}; // huffval index of a code of length k, minus the code
    // Symbol and length of the codes of up to kLookBits bits: length << 8 | symbol, 0 if longer.
    uint16_t lookup[1 << kLookBits] = {};
    // AC tables: run, coefficient value and total length of a code whose
    // additional bits fit in the look-ahead too: value << 16 | run << 8 | length.
    // 0 where they do not, and for EOB and ZRL.
    int32_t acFast[1 << kLookBits] = {};
};

struct Component {
    int32_t id = 0;
    int32_t h = 1; // horizontal sampling factor
    int32_t v = 1; // vertical sampling factor
    int32_t quantSelector = 0;
    int32_t downWidth = 0;  // samples per row: ceil(width * h / hMax)
    int32_t downHeight = 0; // rows: ceil(height * v / vMax)
    int32_t blocksWide = 0; // plane size in blocks, padded to whole MCUs
    int32_t blocksHigh = 0;
    int32_t quant[64] = {};      // natural order, taken when the component's scan starts
    std::vector<uint16_t> plane; // blocksWide * 8 columns by blocksHigh * 8 rows
    bool decoded = false;
    // Of the current scan:
    int32_t dcTable = 0;
    int32_t acTable = 0;
    int32_t lastDc = 0;
};

// Everything one decode reads and writes.
struct DctState : JpegByteReader {
    int32_t precision = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t componentCount = 0;
    Component components[kMaxComponents];
    int32_t hMax = 1;
    int32_t vMax = 1;
    int32_t mcusPerLine = 0;
    int32_t mcuRows = 0;
    bool frameSeen = false;

    uint16_t quantTables[kTableSlots][64] = {}; // natural order
    bool quantDefined[kTableSlots] = {};
    HuffmanTable dcTables[kTableSlots];
    HuffmanTable acTables[kTableSlots];
    int32_t restartInterval = 0;

    // The output area, when the frame's one component is decoded straight
    // into it; null when the components go to their planes.
    uint8_t* directOutput = nullptr;

    Component* scanComponents[kMaxComponents] = {};
    int32_t scanComponentCount = 0;

    // ---- Headers (dct_header.cpp); false after logging why -----------------
    bool GetSof(int32_t marker);
    bool GetDqt();
    bool GetDht();
    bool GetDri();
    bool GetSos();
    // Plane sizes and the size checks against the input and the output area.
    bool SetUpFrame(uint8_t* output, std::size_t output_size);

    // ---- Scan (dct_scan.cpp) -----------------------------------------------
    bool DecodeScan();

    // ---- Output (dct_output.cpp) -------------------------------------------
    // The planes brought to full size and interleaved into the output area
    // (nothing to do for a frame decoded straight into it).
    bool Emit(uint8_t* output) const;
};

// Logs "DctJpegDecode(): <message>" at LogLevel::error; returns false.
bool Fail(const char* message);

// Derives the decoding fields of a table from its bits and huffval; false
// when the counts do not make a valid prefix code.
bool DeriveTable(HuffmanTable& table, bool isDc);

// Zigzag position to natural position, with 16 extra entries so that a run
// past the end of a corrupt block lands on the last coefficient.
extern const uint8_t kNaturalOrder[64 + 16];

} // namespace dct
