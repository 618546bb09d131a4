// The entropy-coded data bit reader shared by the lossless and the DCT
// decoders: a 64-bit reservoir over a JpegByteReader's bytes.
#pragma once

#include "jpeg/jpeg_bytes.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#define JPEG_INLINE inline __attribute__((always_inline))
#define JPEG_NOINLINE __attribute__((noinline))

// Its state is meant to be copied into locals for the inner loops so that it
// stays in registers. The low `count` bits of `buffer` are unread, oldest
// highest.
struct BitReader {
    uint64_t buffer;
    int32_t count;
    const uint8_t* bytes;
    std::size_t position;
    std::size_t size;    // bytes of data; past them the stream reads as 0xFF
    std::size_t wordEnd; // 8 bytes may be loaded at once from positions below this
    // Zero bits supplied at a marker since the last Over(): when more of
    // them than `count` were supplied, bits beyond the data were consumed.
    int32_t phantomBits;

    static BitReader Over(const JpegByteReader& input)
    {
        const std::size_t size = input.dataSize;
        return {0, 0, input.fragmentBytes, input.readPosition, size, size >= 8 ? size - 7 : 0, 0};
    }
    bool ReadPastData() const { return phantomBits > count; }
    uint32_t ByteAt(std::size_t at) const { return at < size ? bytes[at] : 0xFFU; }
};

// The reservoir holds up to 64 bits; a fill tops it up to at least 56.
constexpr int32_t kFillTarget = 57;

// True when none of the 8 bytes of word is 0xFF.
JPEG_INLINE bool NoFFByte(uint64_t word)
{
    const uint64_t inverted = ~word; // 0xFF bytes become zero bytes
    return ((inverted - 0x0101010101010101ULL) & ~inverted & 0x8080808080808080ULL) == 0;
}

// Fill: tops the reservoir up to at least 56 bits. Where the next 8
// bytes hold no 0xFF they are taken as plain data in one step; otherwise a
// byte at a time: at a marker (0xFF not followed by 0x00) both bytes stay
// unread and zero bits are supplied. The end of the data reads as such a
// marker, so this never reads past the data.
JPEG_INLINE void FillBitBuffer(BitReader& reader)
{
    if (reader.count < 56 && reader.position < reader.wordEnd) {
        uint64_t word = 0;
        std::memcpy(&word, reader.bytes + reader.position, sizeof word);
        if (NoFFByte(word)) {
            if constexpr (std::endian::native == std::endian::little) {
                word = __builtin_bswap64(word);
            }
            const int32_t take = (63 - reader.count) >> 3; // whole bytes that fit
            reader.buffer = (reader.buffer << (take * 8)) | (word >> (64 - take * 8));
            reader.position += static_cast<std::size_t>(take);
            reader.count += take * 8;
            return;
        }
    }
    while (reader.count < kFillTarget) {
        uint32_t byte = reader.ByteAt(reader.position++);
        if (byte == 0xFF) {
            const uint32_t next = reader.ByteAt(reader.position++);
            if (next != 0) {
                reader.position -= 2; // the marker stays unread
                byte = 0;
                reader.phantomBits = reader.phantomBits < (1 << 30) ? reader.phantomBits + 8 : reader.phantomBits;
            }
        }
        reader.buffer = (reader.buffer << 8) | byte;
        reader.count += 8;
    }
}
