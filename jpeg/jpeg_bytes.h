// The bytes of one JPEG stream for one decode, and the marker level reads
// over them shared by the lossless and the DCT decoders.
#pragma once

#include <cstddef>
#include <cstdint>

// The stream is read in place, from memory the caller keeps alive for the
// decode. Past its end the stream reads as 0xFF bytes: ReadByte may read one
// of them (inputLimit is the data length plus one), and a bit reader stops at
// the first 0xFF that is followed by anything but 0x00, which is at the
// latest that virtual end.
struct JpegByteReader {
    const uint8_t* fragmentBytes = nullptr;
    std::size_t dataSize = 0;
    std::size_t readPosition = 0;
    std::size_t inputLimit = 0;
    bool inputExhausted = false; // a read was attempted at inputLimit

    // Reads `size` bytes of memory in place.
    void UseBytes(const uint8_t* data, std::size_t size);

    // The byte at `position`, 0xFF past the end of the data.
    uint8_t ByteAt(std::size_t position) const { return position < dataSize ? fragmentBytes[position] : 0xFF; }
    // Past inputLimit, ReadByte returns 0 without advancing and notes it.
    int32_t ReadByte()
    {
        if (readPosition >= inputLimit) {
            inputExhausted = true;
            return 0;
        }
        return ByteAt(readPosition++);
    }
    int32_t ReadWord()
    {
        const int32_t high = ReadByte();
        return high * 256 + ReadByte();
    }
    // Skips a marker segment by its length word.
    void SkipSegment();
    // The next marker code, or -1 when the input ran out before one was found.
    int32_t ScanToMarker();
};
