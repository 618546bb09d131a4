// Sequential DCT scans: Huffman decoding of each block's coefficients (T.81
// F.2.2), restart intervals, and the inverse DCT of each block into its
// component's plane.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "jpeg/bit_reader.h"
#include "jpeg/dct_idct.h"
#include "jpeg/dct_internal.h"

namespace dct {
namespace {

// Codes longer than kLookBits bits, from a 16-bit look-ahead; -1 for a code
// that the table does not hold.
JPEG_NOINLINE int32_t DecodeLongSymbol(BitReader& reader, const HuffmanTable& table)
{
    const int32_t code16 = static_cast<int32_t>(reader.buffer >> (reader.count - 16)) & 0xFFFF;
    for (int32_t length = kLookBits + 1; length <= 16; ++length) {
        const int32_t code = code16 >> (16 - length);
        if (code <= table.maxcode[length]) {
            const int32_t index = table.valoffset[length] + code;
            if (index < 0 || index > 255) {
                return -1;
            }
            reader.count -= length;
            return table.huffval[index];
        }
    }
    return -1;
}

// One symbol; the reservoir holds at least 32 bits.
JPEG_INLINE int32_t DecodeSymbol(BitReader& reader, const HuffmanTable& table)
{
    const uint32_t look =
        static_cast<uint32_t>(reader.buffer >> (reader.count - kLookBits)) & ((1U << kLookBits) - 1);
    const int32_t entry = table.lookup[look];
    if (entry != 0) {
        reader.count -= entry >> 8;
        return entry & 0xFF;
    }
    BitReader spill = reader;
    const int32_t symbol = DecodeLongSymbol(spill, table);
    reader = spill;
    return symbol;
}

// The `size` additional bits of a coefficient, extended to its signed value.
JPEG_INLINE int32_t ReceiveExtend(BitReader& reader, int32_t size)
{
    reader.count -= size;
    const int32_t value = static_cast<int32_t>(reader.buffer >> reader.count) & ((1 << size) - 1);
    return value < (1 << (size - 1)) ? value + 1 - (1 << size) : value;
}

// Decodes one block's coefficients into `block` (natural order, all zero on
// entry). Returns the number of the last zigzag position written plus one
// (1 for a DC-only block), or -1 for a bad code.
JPEG_INLINE int32_t DecodeBlock(BitReader& reader, const HuffmanTable& dc, const HuffmanTable& ac, int32_t& lastDc,
                                int16_t* block)
{
    if (reader.count < 32) {
        FillBitBuffer(reader);
    }
    const int32_t s = DecodeSymbol(reader, dc);
    if (s < 0) {
        return -1;
    }
    const int32_t difference = s != 0 ? ReceiveExtend(reader, s) : 0;
    lastDc = static_cast<int32_t>(static_cast<uint32_t>(lastDc) + static_cast<uint32_t>(difference));
    block[0] = static_cast<int16_t>(lastDc);

    int32_t end = 1;
    for (int32_t k = 1; k < 64; ++k) {
        if (reader.count < 32) {
            FillBitBuffer(reader);
        }
        const uint32_t look =
            static_cast<uint32_t>(reader.buffer >> (reader.count - kLookBits)) & ((1U << kLookBits) - 1);
        const int32_t fast = ac.acFast[look];
        if (fast != 0) {
            reader.count -= fast & 0xFF;
            k += (fast >> 8) & 0x0F;
            block[kNaturalOrder[k]] = static_cast<int16_t>(fast >> 16);
            end = k + 1;
            continue;
        }
        const int32_t symbol = DecodeSymbol(reader, ac);
        if (symbol < 0) {
            return -1;
        }
        const int32_t run = symbol >> 4;
        const int32_t size = symbol & 0x0F;
        if (size != 0) {
            k += run;
            block[kNaturalOrder[k]] = static_cast<int16_t>(ReceiveExtend(reader, size));
            end = k + 1;
        } else if (run == 15) {
            k += 15;
        } else {
            break;
        }
    }
    return end;
}

// The samples of one decoded block to `out` (row stride `stride`), of which
// only `cols` x `rows` lie inside the image. Clears the block.
template <int32_t Precision, typename Sample>
JPEG_INLINE void StoreBlock(int16_t* block, int32_t end, const int32_t* quant, Sample* out, std::ptrdiff_t stride,
                            int32_t cols, int32_t rows)
{
    Sample edge[64];
    Sample* target = cols >= 8 && rows >= 8 ? out : edge;
    const std::ptrdiff_t targetStride = target == out ? stride : 8;
    if (end == 1) {
        InverseDctDcOnly<Precision>(block[0], quant, target, targetStride);
        block[0] = 0;
    } else {
        InverseDct<Precision>(block, quant, target, targetStride);
        std::memset(block, 0, 64 * sizeof *block);
    }
    if (target == edge) {
        for (int32_t y = 0; y < std::min(rows, 8); ++y) {
            std::memcpy(out + y * stride, edge + y * 8,
                        static_cast<std::size_t>(std::min(cols, 8)) * sizeof(Sample));
        }
    }
}

// Direct: the frame's only component goes straight to the output area (8-bit
// samples as bytes, 12-bit as host-order 16-bit words); otherwise each
// component to its plane.
template <int32_t Precision, bool Direct>
bool DecodeScanAt(DctState& state)
{
    using Sample = std::conditional_t<Direct && Precision == 8, uint8_t, uint16_t>;
    const bool interleaved = state.scanComponentCount > 1;
    Component* const single = state.scanComponents[0];
    const int32_t mcusPerLine = interleaved ? state.mcusPerLine : (single->downWidth + 7) / 8;
    const int32_t mcuRows = interleaved ? state.mcuRows : (single->downHeight + 7) / 8;

    BitReader reader = BitReader::Over(state);
    int32_t restartsLeft = state.restartInterval;
    int32_t expectedRestart = 0;
    alignas(32) int16_t block[64] = {};

    for (int32_t row = 0; row < mcuRows; ++row) {
        for (int32_t col = 0; col < mcusPerLine; ++col) {
            if (state.restartInterval != 0) {
                if (restartsLeft == 0) {
                    if (reader.ReadPastData()) {
                        return Fail("Premature end of JPEG data.");
                    }
                    state.readPosition = reader.position;
                    if (state.ScanToMarker() != 0xD0 + expectedRestart) {
                        return Fail("Corrupt JPEG data: missing or out-of-order restart marker.");
                    }
                    expectedRestart = (expectedRestart + 1) & 7;
                    for (int32_t i = 0; i < state.scanComponentCount; ++i) {
                        state.scanComponents[i]->lastDc = 0;
                    }
                    reader = BitReader::Over(state);
                    restartsLeft = state.restartInterval;
                }
                --restartsLeft;
            }
            for (int32_t i = 0; i < state.scanComponentCount; ++i) {
                Component& c = *state.scanComponents[i];
                const HuffmanTable& dc = state.dcTables[c.dcTable];
                const HuffmanTable& ac = state.acTables[c.acTable];
                const int32_t blocksDown = interleaved ? c.v : 1;
                const int32_t blocksAcross = interleaved ? c.h : 1;
                const std::ptrdiff_t stride = Direct ? state.width : static_cast<std::ptrdiff_t>(c.blocksWide) * 8;
                Sample* const base = Direct ? reinterpret_cast<Sample*>(state.directOutput)
                                            : reinterpret_cast<Sample*>(c.plane.data());
                for (int32_t by = 0; by < blocksDown; ++by) {
                    const int32_t y = (row * blocksDown + by) * 8;
                    for (int32_t bx = 0; bx < blocksAcross; ++bx) {
                        const int32_t x = (col * blocksAcross + bx) * 8;
                        const int32_t end = DecodeBlock(reader, dc, ac, c.lastDc, block);
                        if (end < 0) {
                            return Fail("Corrupt JPEG data: bad Huffman code.");
                        }
                        StoreBlock<Precision>(block, end, c.quant, base + y * stride + x, stride,
                                              Direct ? state.width - x : 8, Direct ? state.height - y : 8);
                    }
                }
            }
        }
        if (reader.ReadPastData()) {
            return Fail("Premature end of JPEG data.");
        }
    }
    state.readPosition = reader.position;
    for (int32_t i = 0; i < state.scanComponentCount; ++i) {
        state.scanComponents[i]->decoded = true;
    }
    return true;
}

} // namespace

bool DctState::DecodeScan()
{
    if (directOutput != nullptr) {
        return precision == 8 ? DecodeScanAt<8, true>(*this) : DecodeScanAt<12, true>(*this);
    }
    return precision == 8 ? DecodeScanAt<8, false>(*this) : DecodeScanAt<12, false>(*this);
}

} // namespace dct
