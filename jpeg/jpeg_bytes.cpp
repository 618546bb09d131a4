#include "jpeg/jpeg_bytes.h"

void JpegByteReader::UseBytes(const uint8_t* data, std::size_t size)
{
    fragmentBytes = data;
    dataSize = size;
    readPosition = 0;
    inputLimit = size + 1;
    inputExhausted = false;
}

void JpegByteReader::SkipSegment()
{
    const int32_t length = ReadWord();
    if (length <= 2) {
        return;
    }
    const std::size_t skip = static_cast<std::size_t>(length - 2);
    if (inputLimit - readPosition < skip) {
        readPosition = inputLimit;
        inputExhausted = true;
        return;
    }
    readPosition += skip;
}

// Skips to a 0xFF, then over fill bytes 0xFF; 0xFF 0x00 is a stuffed data
// byte and the scan goes on.
int32_t JpegByteReader::ScanToMarker()
{
    for (;;) {
        int32_t c = ReadByte();
        while (c != 0xFF && !inputExhausted) {
            c = ReadByte();
        }
        do {
            c = ReadByte();
        } while (c == 0xFF && !inputExhausted);
        if (inputExhausted) {
            return -1;
        }
        if (c != 0) {
            return c;
        }
    }
}
