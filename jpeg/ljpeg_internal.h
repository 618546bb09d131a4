// Internals of the lossless JPEG decoder, shared by the header parser
// (ljpeg_header.cpp) and the scan decoder (ljpeg_decode.cpp), and visible to
// the tests. All of it is module-wide state: one decode at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

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

// ---- Module state -------------------------------------------------------

extern DecoderStruct ljpegDecoder; // the one decode in progress
extern HuffmanTable huffmanSlots[kTableSlots];

// The fragment followed by kInputPadding bytes of 0xFF. Bytes at
// readPosition < inputLimit may be read by ReadByte; inputLimit is the data
// length plus one (the first appended 0xFF). The padding lets the bit reader
// run without bounds checks: it stops at the first 0xFF that is followed by
// anything but 0x00, which is at the latest the padding itself. It is 8 bytes
// so that the reader can load 8 bytes at once from any position up to the
// end of the data.
constexpr std::size_t kInputPadding = 8;
extern uint8_t* fragmentBytes;
extern std::size_t readPosition;
extern std::size_t inputLimit;
extern bool inputExhausted; // a read was attempted at inputLimit
extern std::FILE* sourceFile;

// Bit reservoir: the low bitCount bits of bitBuffer are unread, oldest highest.
extern uint64_t bitBuffer;
extern int32_t bitCount;

// Row buffers: width x scanComponentCount samples each, grown as frames need
// and kept for later decodes. MCU entry x starts at sample x * scanComponentCount.
extern std::vector<uint16_t> rowBuffers[2];

// ---- Byte reader (ljpeg_header.cpp) --------------------------------------

int32_t ReadByte();
void UnreadByte(int32_t value);
int32_t ReadWord();
void SkipSegment();
// The next marker code, or -1 when the input ran out before one was found.
int32_t ScanToMarker();

// ---- Header parsing (ljpeg_header.cpp) -----------------------------------

// Sets ljpegDecoder.error to -1 after logging `message` at LOG_ERROR.
void FailDecode(const char* message);
int32_t ProcessTables(DecoderStruct* dcPtr);
void ReadFileHeader(DecoderStruct* dcPtr);
void GetSof(DecoderStruct* dcPtr);
void GetDht(DecoderStruct* dcPtr);
void GetDri(DecoderStruct* dcPtr);
void GetSos(DecoderStruct* dcPtr);
bool ReadScanHeader(DecoderStruct* dcPtr);
void DecoderStructInit(DecoderStruct* dcPtr);
void BuildDecodeTables(HuffmanTable* table);
void HuffDecoderInit(DecoderStruct* dcPtr);

// ---- Scan decoding (ljpeg_decode.cpp) ------------------------------------

void DecodeImage(DecoderStruct* dcPtr, uint8_t* output, int32_t depth);
