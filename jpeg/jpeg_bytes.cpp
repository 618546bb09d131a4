#include "jpeg/jpeg_bytes.h"

#include <cstring>
#include <new>

bool JpegByteReader::Allocate(std::size_t size)
{
    delete[] fragmentBytes;
    fragmentBytes = new (std::nothrow) uint8_t[size + kInputPadding];
    readPosition = 0;
    inputLimit = 0;
    inputExhausted = false;
    return fragmentBytes != nullptr;
}

void JpegByteReader::Pad(std::size_t got)
{
    std::memset(fragmentBytes + got, 0xFF, kInputPadding);
    inputLimit = got + 1;
}

bool JpegByteReader::LoadBytes(const uint8_t* data, std::size_t size)
{
    if (size > SIZE_MAX - kInputPadding || !Allocate(size)) {
        return false;
    }
    if (size != 0) {
        std::memcpy(fragmentBytes, data, size);
    }
    Pad(size);
    return true;
}

bool JpegByteReader::LoadFile(std::FILE* file, std::size_t size)
{
    if (size > SIZE_MAX - kInputPadding || !Allocate(size)) {
        return false;
    }
    Pad(std::fread(fragmentBytes, 1, size, file));
    return true;
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
