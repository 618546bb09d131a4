// Lossless JPEG headers: the table, frame and scan header parsers, the set-up checks and the
// derivation of the Huffman decoding tables.
#include "jpeg/ljpeg_internal.h"

#include "base/log.h"

#include <algorithm>
#include <cstring>
#include <new>

void LosslessJpegState::FailDecode(const char* message)
{
    dicom_log(LogLevel::error, message);
    ljpegDecoder.error = -1;
}

// ---- Table and frame segments -------------------------------------------

void LosslessJpegState::GetSof(DecoderStruct* dcPtr)
{
    const int32_t length = ReadWord();
    dcPtr->precision = ReadByte();
    dcPtr->height = ReadWord();
    dcPtr->width = ReadWord();
    dcPtr->componentCount = static_cast<int16_t>(ReadByte());

    if (dcPtr->height == 0 || dcPtr->width == 0 || dcPtr->componentCount == 0) {
        FailDecode("GetSof():Empty JPEG image (DNL not supported).");
        return;
    }
    if (dcPtr->precision < 2 || dcPtr->precision > 16) {
        FailDecode("GetSof():Unsupported JPEG data precision.");
        return;
    }
    if (length != dcPtr->componentCount * 3 + 8) {
        FailDecode("GetSof():Bogus SOF length.");
        return;
    }
    if (dcPtr->componentCount > kMaxComponents) {
        FailDecode("GetSof():Too many components in frame (at most 4 supported).");
        return;
    }
    for (int16_t i = 0; i < dcPtr->componentCount; ++i) {
        FrameComponent& component = dcPtr->components[i];
        component.position = i;
        component.id = static_cast<int16_t>(ReadByte());
        const int32_t sampling = ReadByte();
        component.hSampling = static_cast<int16_t>(sampling >> 4);
        component.vSampling = static_cast<int16_t>(sampling & 0x0F);
        ReadByte(); // quantization table selector, unused by the lossless process
    }
    if (inputExhausted) {
        FailDecode("GetSof():Premature end of JPEG data.");
    }
}

void LosslessJpegState::GetDht(DecoderStruct* dcPtr)
{
    int32_t remaining = ReadWord() - 2;
    while (remaining != 0) {
        const int32_t index = ReadByte();
        uint8_t bits[17] = {};
        int32_t total = 0;
        for (int32_t length = 1; length <= 16; ++length) {
            bits[length] = static_cast<uint8_t>(ReadByte());
            total += bits[length];
        }
        if (total > 256) {
            FailDecode("GetDht():Bogus DHT counts");
            return;
        }
        uint8_t huffval[256] = {};
        for (int32_t i = 0; i < total; ++i) {
            huffval[i] = static_cast<uint8_t>(ReadByte());
        }
        if (inputExhausted) {
            FailDecode("GetDht():Premature end of JPEG data.");
            return;
        }
        remaining -= 17 + total;

        if ((index & 0x10) != 0) {
            dicom_log(LogLevel::error, "GetDht():Huffman table for lossless JPEG is not defined.");
        }
        if (index > 3) {
            FailDecode("GetDht():Bogus DHT index");
            return;
        }
        HuffmanTable* slot = &huffmanSlots[index];
        dcPtr->tables[index] = slot;
        std::memcpy(slot->bits, bits, sizeof bits);
        std::memcpy(slot->huffval, huffval, sizeof huffval);
    }
}

void LosslessJpegState::GetDri(DecoderStruct* dcPtr)
{
    if (ReadWord() != 4) {
        FailDecode("GetDri():Bogus length in DRI.");
        return;
    }
    dcPtr->restartInterval = ReadWord();
    if (inputExhausted) {
        FailDecode("GetDri():Premature end of JPEG data.");
    }
}

void LosslessJpegState::GetSos(DecoderStruct* dcPtr)
{
    const int32_t length = ReadWord();
    const int32_t count = ReadByte();
    dcPtr->scanComponentCount = static_cast<int16_t>(count);
    if (length != count * 2 + 6 || count < 1 || count > 4) {
        FailDecode("GetSos():Bogus SOS length.");
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        const int32_t id = ReadByte();
        const int32_t selectors = ReadByte();
        FrameComponent* found = nullptr;
        for (int32_t c = 0; c < dcPtr->componentCount; ++c) {
            if (dcPtr->components[c].id == id) {
                found = &dcPtr->components[c];
                break;
            }
        }
        if (found == nullptr) {
            FailDecode("GetSos():Invalid component number in SOS.");
            return;
        }
        dcPtr->scanComponents[i] = found;
        found->tableIndex = static_cast<int16_t>(selectors >> 4);
    }
    dcPtr->psv = ReadByte();
    ReadByte(); // Se, unused
    dcPtr->pointTransform = ReadByte() & 0x0F;
    if (inputExhausted) {
        FailDecode("GetSos():Premature end of JPEG data.");
    }
}

// ---- Segment loop and headers ---------------------------------------------

int32_t LosslessJpegState::ProcessTables(DecoderStruct* dcPtr)
{
    for (;;) {
        const int32_t code = ScanToMarker();
        if (code < 0) {
            FailDecode("ProcessTables():Premature end of JPEG data.");
            return 0;
        }
        switch (code) {
        case 0xC0:
        case 0xC1:
        case 0xC2:
        case 0xC3:
        case 0xC5:
        case 0xC6:
        case 0xC7:
        case 0xC8:
        case 0xC9:
        case 0xCA:
        case 0xCB:
        case 0xCD:
        case 0xCE:
        case 0xCF:
        case M_SOI:
        case M_EOI:
        case M_SOS: return code;
        case M_DHT:
            GetDht(dcPtr);
            if (dcPtr->error != 0) {
                return 0;
            }
            break;
        case M_DRI:
            GetDri(dcPtr);
            if (dcPtr->error != 0) {
                return 0;
            }
            break;
        case M_DQT:
            // Not skipped by its length: the next marker scan runs through it.
            dicom_log(LogLevel::error, "ProcessTables():Not a lossless JPEG file.");
            break;
        case M_TEM:
        case 0xD0:
        case 0xD1:
        case 0xD2:
        case 0xD3:
        case 0xD4:
        case 0xD5:
        case 0xD6:
        case 0xD7: dicom_log(LogLevel::error, "ProcessTables():Warning: unexpected marker."); break;
        default: // APPn, COM, DNL, DHP, EXP, JPGn, DAC and reserved codes
            SkipSegment();
            break;
        }
    }
}

void LosslessJpegState::ReadFileHeader(DecoderStruct* dcPtr)
{
    const int32_t first = ReadByte();
    const int32_t second = ReadByte();
    if (first != 0xFF || second != M_SOI) {
        FailDecode("ReadFileHeader():Not a JPEG file.");
        return;
    }
    dcPtr->restartInterval = 0;
    const int32_t code = ProcessTables(dcPtr);
    if (dcPtr->error != 0) {
        return;
    }
    if (code == M_SOF0 || code == M_SOF1 || code == M_SOF3) {
        GetSof(dcPtr);
    } else {
        // No frame components are defined, so the scan header is refused.
        dicom_log(LogLevel::error, "ReadFileHeader():Unsupported SOF marker type.");
    }
}

bool LosslessJpegState::ReadScanHeader(DecoderStruct* dcPtr)
{
    const int32_t code = ProcessTables(dcPtr);
    if (dcPtr->error != 0) {
        return false;
    }
    if (code == M_EOI) {
        return false;
    }
    if (code == M_SOS) {
        GetSos(dcPtr);
        return true;
    }
    dicom_log(LogLevel::error, "ReadScanHeader():Unsupported marker type.");
    return false;
}

// ---- Set-up -------------------------------------------------------------

void LosslessJpegState::DecoderStructInit(DecoderStruct* dcPtr)
{
    for (int32_t c = 0; c < dcPtr->componentCount; ++c) {
        if (dcPtr->components[c].hSampling != 1 || dcPtr->components[c].vSampling != 1) {
            FailDecode("DecoderStructInit(): Downsampling is not supported. ");
            return;
        }
    }
    if (dcPtr->scanComponentCount == 1) {
        dcPtr->mcuOrder[0] = 0;
    } else if (dcPtr->scanComponentCount > 4) {
        FailDecode("DecoderStructInit(): Too many components for interleaved scan.");
        return;
    } else {
        for (int16_t i = 0; i < dcPtr->scanComponentCount; ++i) {
            dcPtr->mcuOrder[i] = i;
        }
    }
    if (dcPtr->pointTransform >= dcPtr->precision) {
        FailDecode("DecoderStructInit(): Point transform not below the precision.");
        return;
    }

    const std::size_t samples =
        static_cast<std::size_t>(dcPtr->width) * static_cast<std::size_t>(dcPtr->scanComponentCount);
    for (std::vector<uint16_t>& row : rowBuffers) {
        if (row.size() < samples) {
            try {
                row.resize(samples);
            } catch (const std::bad_alloc&) {
                FailDecode("DecoderStructInit(): Out of memory for the row buffers.");
                return;
            }
        }
    }
}

// Derives mincode, maxcode, valptr and the 8-bit lookahead from bits and
// huffval, following the code generation procedures of T.81 Annex C and F.2.2.
void BuildDecodeTables(HuffmanTable* table)
{
    int32_t huffsize[257];
    int32_t huffcode[257];

    int32_t p = 0;
    for (int32_t length = 1; length <= 16; ++length) {
        for (int32_t i = 0; i < table->bits[length]; ++i) {
            huffsize[p++] = length;
        }
    }
    huffsize[p] = 0;
    const int32_t lastp = p;

    int32_t code = 0;
    int32_t si = huffsize[0];
    p = 0;
    while (huffsize[p] != 0) {
        while (huffsize[p] == si) {
            huffcode[p++] = code++;
        }
        code <<= 1;
        ++si;
    }

    p = 0;
    for (int32_t length = 1; length <= 16; ++length) {
        if (table->bits[length] != 0) {
            table->valptr[length] = static_cast<int16_t>(p);
            table->mincode[length] = static_cast<uint16_t>(huffcode[p]);
            p += table->bits[length];
            table->maxcode[length] = huffcode[p - 1];
        } else {
            table->maxcode[length] = -1;
        }
    }
    table->maxcode[17] = 0xFFFFF;

    std::fill(std::begin(table->lookupLength), std::end(table->lookupLength), 0);
    for (p = 0; p < lastp; ++p) {
        const int32_t size = huffsize[p];
        if (size > 8) {
            break;
        }
        const int32_t low = huffcode[p] << (8 - size);
        const int32_t high = std::min(low | ((1 << (8 - size)) - 1), 255);
        // An over-full table can make codes that do not fit their length.
        for (int32_t look = low; look <= high; ++look) {
            table->lookupLength[look] = size;
            table->lookupValue[look] = table->huffval[p];
        }
    }
}

void LosslessJpegState::HuffDecoderInit(DecoderStruct* dcPtr)
{
    bitCount = 0;
    for (int32_t i = 0; i < dcPtr->scanComponentCount; ++i) {
        const int32_t index = dcPtr->scanComponents[i]->tableIndex;
        if (index >= kTableSlots || dcPtr->tables[index] == nullptr) {
            FailDecode("HuffDecoderInit(): Use of undefined Huffman table.");
            return;
        }
        HuffmanTable* table = dcPtr->tables[index];
        int32_t total = 0;
        for (int32_t length = 1; length <= 16; ++length) {
            total += table->bits[length];
        }
        for (int32_t s = 0; s < total; ++s) {
            if (table->huffval[s] > 16) {
                FailDecode("HuffDecoderInit(): Difference category above 16 in Huffman table.");
                return;
            }
        }
        BuildDecodeTables(table);
    }
    dcPtr->intervalRows = dcPtr->restartInterval / dcPtr->width;
    dcPtr->rowsToRestart = dcPtr->intervalRows;
    dcPtr->expectedRst = 0;
}
