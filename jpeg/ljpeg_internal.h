// Internals of the lossless JPEG decoder, shared by the header parser
// (ljpeg_header.cpp) and the scan decoder (ljpeg_decode.cpp), and visible to
// the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jpeg/jpeg_bytes.h"
#include "jpeg/ljpeg.h"

// One component of the frame header.
struct FrameComponent {
    int16_t id;         // component identifier Ci
    int16_t position;   // index in the frame header
    int16_t hSampling;  // Hi
    int16_t vSampling;  // Vi
    int16_t tableIndex; // Huffman table selector of the scan header
};

// One Huffman table slot: the DHT contents and the decoding fields derived
// from them by HuffDecoderInit.
struct HuffmanTable {
    uint8_t bits[17];          // bits[k] = number of codes of length k; bits[0] = 0
    uint8_t huffval[256];      // symbols (difference categories) by increasing code
    uint16_t mincode[17];      // smallest code of each length (1..16)
    int32_t maxcode[18];       // largest code of each length, -1 if none; [17] stop value
    int16_t valptr[17];        // index in huffval of the first symbol of each length
    int32_t lookupLength[256]; // code length for an 8-bit lookahead, 0 if longer
    int32_t lookupValue[256];  // symbol for an 8-bit lookahead
};

constexpr int kMaxComponents = 4;
constexpr int kTableSlots = 4;

struct DecoderStruct {
    int32_t width;
    int32_t height;
    int32_t precision;
    FrameComponent components[kMaxComponents];
    int16_t componentCount;
    FrameComponent* scanComponents[kMaxComponents];
    int16_t scanComponentCount;
    int16_t mcuOrder[10];
    HuffmanTable* tables[kTableSlots];
    int32_t psv;
    int32_t pointTransform;
    int32_t restartInterval;
    int32_t intervalRows;
    int32_t rowsToRestart;
    int16_t expectedRst;
    int32_t error;
};

// Marker codes (the byte after 0xFF).
enum : int32_t {
    M_SOF0 = 0xC0,
    M_SOF1 = 0xC1,
    M_SOF3 = 0xC3,
    M_DHT = 0xC4,
    M_RST0 = 0xD0,
    M_SOI = 0xD8,
    M_EOI = 0xD9,
    M_SOS = 0xDA,
    M_DQT = 0xDB,
    M_DRI = 0xDD,
    M_APP0 = 0xE0,
    M_TEM = 0x01,
};

// Code and additional bits resolved together from a kFastBits lookahead:
// the difference << 8 | bits used, or 0 where the code is longer than 8 bits
// or the two together are longer than kFastBits.
constexpr int32_t kFastBits = 12;
struct FastTable {
    int32_t entry[1 << kFastBits];
};

// Derives mincode, maxcode, valptr and the 8-bit lookahead from bits and
// huffval.
void BuildDecodeTables(HuffmanTable* table);

// ---- The state of one decode ----------------------------------------------

// Everything one decode reads and writes: the input bytes and read position
// (JpegByteReader), the frame and scan description, the tables, the bit
// reservoir between restart intervals and the row buffers. Each decode owns
// one, so decodes on several threads never share anything.
// Where the bands of LosslessJpegDecodeBands go.
struct BandOutput {
    LosslessJpegBandSink take;
    void* context;
};

// Bytes of decoded rows held per band.
constexpr std::size_t kBandBytes = std::size_t{256} << 10;

// Where DecodeImage puts its rows: the whole output, or a band of rows that
// is handed out whenever it is full (`take` set), with room for one row in
// front of it.
struct RowOutput {
    uint8_t* first = nullptr; // the band's first row, or the output
    uint8_t* next = nullptr;  // where the next row goes
    uint8_t* end = nullptr;   // the end of the band
    std::size_t rowBytes = 0;
    int32_t rowsDone = 0;
    LosslessJpegBandSink take = nullptr;
    void* context = nullptr;
    bool refused = false;

    // After `rows` rows were put at `next`: hands a full band out. False when
    // it was refused.
    bool Advance(int32_t rows);
    // Hands out the rows after an early stop as zeros, then the last band.
    bool Finish(int32_t height);
};

struct LosslessJpegState : JpegByteReader {
    DecoderStruct ljpegDecoder{};
    HuffmanTable huffmanSlots[kTableSlots]{};
    FastTable fastTables[kTableSlots]{};

    // Bit reservoir: the low bitCount bits of bitBuffer are unread, oldest highest.
    uint64_t bitBuffer = 0;
    int32_t bitCount = 0;

    // Row buffers: width x scanComponentCount samples each. MCU entry x
    // starts at sample x * scanComponentCount.
    std::vector<uint16_t> rowBuffers[2];

    // Headers, checks and scan of the loaded stream into `output`, as
    // LosslessJpegDecode describes, or with `bands` into bands handed out as
    // LosslessJpegDecodeBands describes.
    int32_t Run(uint8_t* output, int32_t depth, std::size_t output_size, const BandOutput* bands = nullptr,
                std::size_t* written = nullptr);

    // ---- Header parsing (ljpeg_header.cpp) ---------------------------------

    // Sets ljpegDecoder.error to -1 after logging `message` at LogLevel::error.
    void FailDecode(const char* message);
    int32_t ProcessTables(DecoderStruct* dcPtr);
    void ReadFileHeader(DecoderStruct* dcPtr);
    void GetSof(DecoderStruct* dcPtr);
    void GetDht(DecoderStruct* dcPtr);
    void GetDri(DecoderStruct* dcPtr);
    void GetSos(DecoderStruct* dcPtr);
    bool ReadScanHeader(DecoderStruct* dcPtr);
    void DecoderStructInit(DecoderStruct* dcPtr);
    void HuffDecoderInit(DecoderStruct* dcPtr);

    // ---- Scan decoding (ljpeg_decode.cpp) ----------------------------------

    void DecodeImage(DecoderStruct* dcPtr, RowOutput& output, int32_t depth);
    void ProcessRestart(DecoderStruct* dcPtr);
};
