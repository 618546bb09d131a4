// The bytes of one JPEG stream held in memory for one decode, and the marker
// level reads over them shared by the lossless and the DCT decoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The stream followed by kInputPadding bytes of 0xFF. Bytes at
// readPosition < inputLimit may be read by ReadByte; inputLimit is the data
// length plus one (the first appended 0xFF). The padding lets a bit reader
// run without bounds checks: it stops at the first 0xFF that is followed by
// anything but 0x00, which is at the latest the padding itself. It is 8 bytes
// so that a reader can load 8 bytes at once from any position up to the end
// of the data.
constexpr std::size_t kInputPadding = 8;

struct JpegByteReader {
    uint8_t* fragmentBytes = nullptr;
    std::size_t readPosition = 0;
    std::size_t inputLimit = 0;
    bool inputExhausted = false; // a read was attempted at inputLimit

    JpegByteReader() = default;
    JpegByteReader(const JpegByteReader&) = delete;
    JpegByteReader& operator=(const JpegByteReader&) = delete;
    ~JpegByteReader() { delete[] fragmentBytes; }

    // Copies `size` bytes of memory; false when the copy cannot be allocated.
    bool LoadBytes(const uint8_t* data, std::size_t size);
    // Reads up to `size` bytes from the file's position; a short read ends
    // the data where the file ended. False when nothing could be allocated.
    bool LoadFile(std::FILE* file, std::size_t size);

    // Past the end of the input, ReadByte returns 0 without advancing and
    // notes it.
    int32_t ReadByte()
    {
        if (readPosition >= inputLimit) {
            inputExhausted = true;
            return 0;
        }
        return fragmentBytes[readPosition++];
    }
    void UnreadByte() { --readPosition; }
    int32_t ReadWord()
    {
        const int32_t high = ReadByte();
        return high * 256 + ReadByte();
    }
    // Skips a marker segment by its length word.
    void SkipSegment();
    // The next marker code, or -1 when the input ran out before one was found.
    int32_t ScanToMarker();

private:
    bool Allocate(std::size_t size);
    void Pad(std::size_t got);
};
