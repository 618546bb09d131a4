// Sequential DCT headers: frame, quantization tables, Huffman tables,
// restart interval and scan header, and the frame's set-up checks.
#include <algorithm>
#include <cstring>
#include <new>

#include "base/log.h"
#include "jpeg/dct_internal.h"

namespace dct {

// clang-format off
const uint8_t kNaturalOrder[64 + 16] = {
    0,  1,  8, 16,  9,  2,  3, 10, 17, 24, 32, 25, 18, 11,  4,  5,
   12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13,  6,  7, 14, 21, 28,
   35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
   58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
   63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63,
};
// clang-format on

bool Fail(const char* message)
{
    char line[160];
    std::snprintf(line, sizeof line, "DctJpegDecode(): %s", message);
    dicom_log(LogLevel::error, line);
    return false;
}

bool DctState::GetSof(int32_t marker)
{
    if (frameSeen) {
        return Fail("More than one frame header.");
    }
    frameSeen = true;
    if (marker != 0xC0 && marker != 0xC1) {
        switch (marker) {
        case 0xC2: return Fail("Progressive JPEG is not supported.");
        case 0xC3: return Fail("Lossless JPEG is not a DCT process.");
        case 0xC5:
        case 0xC6:
        case 0xC7: return Fail("Hierarchical JPEG is not supported.");
        default: return Fail("Arithmetic-coded JPEG is not supported.");
        }
    }
    const int32_t length = ReadWord();
    precision = ReadByte();
    height = ReadWord();
    width = ReadWord();
    componentCount = ReadByte();
    if (inputExhausted) {
        return Fail("Premature end of JPEG data in the frame header.");
    }
    if (precision != 8 && precision != 12) {
        return Fail("Unsupported sample precision (8 or 12 bits only).");
    }
    if (height == 0 || width == 0) {
        return Fail("Empty JPEG image (DNL not supported).");
    }
    if (componentCount < 1 || componentCount > kMaxComponents) {
        return Fail("Unsupported number of components (1 to 4).");
    }
    if (length != 8 + 3 * componentCount) {
        return Fail("Bogus frame header length.");
    }
    for (int32_t i = 0; i < componentCount; ++i) {
        Component& c = components[i];
        c.id = ReadByte();
        const int32_t sampling = ReadByte();
        c.h = sampling >> 4;
        c.v = sampling & 0x0F;
        c.quantSelector = ReadByte();
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4) {
            return Fail("Bad sampling factors.");
        }
        if (c.quantSelector >= kTableSlots) {
            return Fail("Bad quantization table selector.");
        }
        hMax = std::max(hMax, c.h);
        vMax = std::max(vMax, c.v);
    }
    if (inputExhausted) {
        return Fail("Premature end of JPEG data in the frame header.");
    }
    return true;
}

bool DctState::GetDqt()
{
    int32_t remaining = ReadWord() - 2;
    while (remaining > 0) {
        const int32_t spec = ReadByte();
        const int32_t wide = spec >> 4;
        const int32_t slot = spec & 0x0F;
        if (wide > 1 || slot >= kTableSlots) {
            return Fail("Bad quantization table.");
        }
        for (int32_t i = 0; i < 64; ++i) {
            const int32_t value = wide != 0 ? ReadWord() : ReadByte();
            quantTables[slot][kNaturalOrder[i]] = static_cast<uint16_t>(value);
        }
        quantDefined[slot] = true;
        remaining -= 1 + 64 * (wide + 1);
    }
    if (inputExhausted || remaining != 0) {
        return Fail("Bogus quantization table length.");
    }
    return true;
}

bool DeriveTable(HuffmanTable& table, bool isDc)
{
    int32_t total = 0;
    for (int32_t length = 1; length <= 16; ++length) {
        total += table.bits[length];
    }
    if (total > 256) {
        return false;
    }
    // Canonical codes (T.81 C.2); a code that does not fit its length means
    // the counts are over-full.
    int32_t code = 0;
    int32_t p = 0;
    std::memset(table.lookup, 0, sizeof table.lookup);
    std::memset(table.acFast, 0, sizeof table.acFast);
    for (int32_t length = 1; length <= 16; ++length) {
        const int32_t count = table.bits[length];
        table.valoffset[length] = p - code;
        for (int32_t i = 0; i < count; ++i, ++p, ++code) {
            if (code >= (1 << length)) {
                return false;
            }
            const uint8_t symbol = table.huffval[p];
            if (isDc && symbol > 15) {
                return false;
            }
            if (length <= kLookBits) {
                const int32_t spare = kLookBits - length;
                const int32_t first = code << spare;
                for (int32_t look = first; look < first + (1 << spare); ++look) {
                    table.lookup[look] = static_cast<uint16_t>(length << 8 | symbol);
                    const int32_t size = symbol & 15;
                    if (!isDc && size != 0 && length + size <= kLookBits) {
                        int32_t value = (look >> (spare - size)) & ((1 << size) - 1);
                        if (value < (1 << (size - 1))) {
                            value += 1 - (1 << size);
                        }
                        table.acFast[look] = static_cast<int32_t>(static_cast<uint32_t>(value) << 16) |
                                             (symbol >> 4) << 8 | (length + size);
                    }
                }
            }
        }
        table.maxcode[length] = count != 0 ? code - 1 : -1;
        code <<= 1;
    }
    table.maxcode[17] = INT32_MAX;
    table.defined = true;
    return true;
}

bool DctState::GetDht()
{
    int32_t remaining = ReadWord() - 2;
    while (remaining > 0) {
        const int32_t spec = ReadByte();
        const int32_t tableClass = spec >> 4;
        const int32_t slot = spec & 0x0F;
        if (tableClass > 1 || slot >= kTableSlots) {
            return Fail("Bad Huffman table index.");
        }
        HuffmanTable& table = tableClass == 0 ? dcTables[slot] : acTables[slot];
        int32_t total = 0;
        for (int32_t length = 1; length <= 16; ++length) {
            table.bits[length] = static_cast<uint8_t>(ReadByte());
            total += table.bits[length];
        }
        if (total > 256) {
            return Fail("Bogus Huffman table counts.");
        }
        for (int32_t i = 0; i < total; ++i) {
            table.huffval[i] = static_cast<uint8_t>(ReadByte());
        }
        if (inputExhausted) {
            return Fail("Premature end of JPEG data in a Huffman table.");
        }
        if (!DeriveTable(table, tableClass == 0)) {
            return Fail("Bad Huffman table.");
        }
        remaining -= 17 + total;
    }
    if (remaining != 0) {
        return Fail("Bogus Huffman table length.");
    }
    return true;
}

bool DctState::GetDri()
{
    if (ReadWord() != 4) {
        return Fail("Bogus restart interval length.");
    }
    restartInterval = ReadWord();
    if (inputExhausted) {
        return Fail("Premature end of JPEG data in the restart interval.");
    }
    return true;
}

bool DctState::GetSos()
{
    if (!frameSeen) {
        return Fail("Scan before the frame header.");
    }
    const int32_t length = ReadWord();
    const int32_t count = ReadByte();
    if (count < 1 || count > componentCount || length != 6 + 2 * count) {
        return Fail("Bogus scan header.");
    }
    int32_t blocks = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t id = ReadByte();
        const int32_t selectors = ReadByte();
        Component* found = nullptr;
        for (int32_t c = 0; c < componentCount; ++c) {
            if (components[c].id == id) {
                found = &components[c];
                break;
            }
        }
        for (int32_t j = 0; j < i; ++j) {
            if (scanComponents[j] == found) {
                found = nullptr;
            }
        }
        if (found == nullptr || found->decoded) {
            return Fail("Invalid component in the scan header.");
        }
        found->dcTable = selectors >> 4;
        found->acTable = selectors & 0x0F;
        if (found->dcTable >= kTableSlots || found->acTable >= kTableSlots || !dcTables[found->dcTable].defined ||
            !acTables[found->acTable].defined) {
            return Fail("Use of an undefined Huffman table.");
        }
        if (!quantDefined[found->quantSelector]) {
            return Fail("Use of an undefined quantization table.");
        }
        // The component keeps the table as it is when its scan starts.
        for (int32_t k = 0; k < 64; ++k) {
            const uint16_t q = quantTables[found->quantSelector][k];
            found->quant[k] = precision == 8 ? static_cast<int16_t>(q) : q;
        }
        found->lastDc = 0;
        scanComponents[i] = found;
        blocks += found->h * found->v;
    }
    scanComponentCount = count;
    const int32_t ss = ReadByte();
    const int32_t se = ReadByte();
    const int32_t approximation = ReadByte();
    if (inputExhausted) {
        return Fail("Premature end of JPEG data in the scan header.");
    }
    if (ss != 0 || se != 63 || approximation != 0) {
        // Written by some encoders; the scan is decoded as sequential, as the
        // common decoders do.
        dicom_log(LogLevel::warning, "DctJpegDecode(): Spectral selection of a sequential scan ignored.");
    }
    if (count > 1 && blocks > kMaxBlocksInMcu) {
        return Fail("Too many blocks in an MCU.");
    }
    return true;
}

bool DctState::SetUpFrame(uint8_t* output, std::size_t output_size)
{
    const std::size_t sampleBytes = precision == 8 ? 1 : 2;
    const std::size_t frameBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                                   static_cast<std::size_t>(componentCount) * sampleBytes;
    if (frameBytes > output_size) {
        return Fail("Frame larger than the output area.");
    }
    mcusPerLine = (width + 8 * hMax - 1) / (8 * hMax);
    mcuRows = (height + 8 * vMax - 1) / (8 * vMax);
    // Every coded block takes at least two bits (a DC code and an EOB code):
    // a frame with more blocks than that cannot come from this input.
    std::size_t codedBlocks = 0;
    for (int32_t i = 0; i < componentCount; ++i) {
        Component& c = components[i];
        if (hMax % c.h != 0 || vMax % c.v != 0) {
            return Fail("Fractional sampling factors are not supported.");
        }
        c.downWidth = static_cast<int32_t>((static_cast<int64_t>(width) * c.h + hMax - 1) / hMax);
        c.downHeight = static_cast<int32_t>((static_cast<int64_t>(height) * c.v + vMax - 1) / vMax);
        c.blocksWide = mcusPerLine * c.h;
        c.blocksHigh = mcuRows * c.v;
        codedBlocks +=
            static_cast<std::size_t>((c.downWidth + 7) / 8) * static_cast<std::size_t>((c.downHeight + 7) / 8);
    }
    if (codedBlocks / 4 > dataSize) {
        return Fail("Frame larger than its data could hold.");
    }
    // One component needs no plane: it is written where it ends up (16-bit
    // samples need an aligned area).
    if (componentCount == 1 &&
        (precision == 8 || reinterpret_cast<std::uintptr_t>(output) % alignof(uint16_t) == 0)) {
        directOutput = output;
        return true;
    }
    for (int32_t i = 0; i < componentCount; ++i) {
        Component& c = components[i];
        try {
            c.plane.assign(static_cast<std::size_t>(c.blocksWide) * 64 * static_cast<std::size_t>(c.blocksHigh),
                           0);
        } catch (const std::bad_alloc&) {
            return Fail("Out of memory for the component planes.");
        }
    }
    return true;
}

} // namespace dct
