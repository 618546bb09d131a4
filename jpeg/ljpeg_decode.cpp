// Lossless JPEG scan decoding: Huffman decoding of the difference
// categories, prediction, restart markers, the output rows and the decoder's
// entries: LosslessJpegDecodeBuffer and LosslessJpegDecodeBands, and
// LosslessJpegDecode, which reads the fragment from a file and hands it to
// LosslessJpegDecodeBuffer.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "base/file_bytes.h"
#include "base/log.h"
#include "jpeg/bit_reader.h"
#include "jpeg/ljpeg.h"
#include "jpeg/ljpeg_internal.h"

namespace {

constexpr int32_t lowBits[17] = {
    0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
    0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF,
};
// clang-format off
constexpr int32_t signThreshold[16] = {
    0, 1 << 0, 1 << 1, 1 << 2, 1 << 3, 1 << 4, 1 << 5, 1 << 6,
    1 << 7, 1 << 8, 1 << 9, 1 << 10, 1 << 11, 1 << 12, 1 << 13, 1 << 14,
};
constexpr int32_t signOffset[16] = {
    0, 1 - (1 << 1), 1 - (1 << 2), 1 - (1 << 3), 1 - (1 << 4), 1 - (1 << 5),
    1 - (1 << 6), 1 - (1 << 7), 1 - (1 << 8), 1 - (1 << 9), 1 - (1 << 10),
    1 - (1 << 11), 1 - (1 << 12), 1 - (1 << 13), 1 - (1 << 14), 1 - (1 << 15),
};
// clang-format on

// The bit reader's state between row loops lives in the decode's state.
BitReader LoadReader(const LosslessJpegState& state)
{
    BitReader reader = BitReader::Over(state);
    reader.buffer = state.bitBuffer;
    reader.count = state.bitCount;
    return reader;
}

void StoreReader(const BitReader& reader, LosslessJpegState& state)
{
    state.bitBuffer = reader.buffer;
    state.bitCount = reader.count;
    state.readPosition = reader.position;
}

// Codes longer than 8 bits: walks maxcode bit by bit from length 9.
JPEG_NOINLINE int32_t DecodeLongCode(BitReader& reader, const HuffmanTable& table, uint32_t look)
{
    reader.count -= 8;
    int32_t code = static_cast<int32_t>(look);
    int32_t length = 8;
    while (code > table.maxcode[length]) {
        if (reader.count == 0) {
            FillBitBuffer(reader);
        }
        --reader.count;
        code = code * 2 + static_cast<int32_t>((reader.buffer >> reader.count) & 1U);
        ++length;
    }
    const int32_t index = length > 16 ? -1 : table.valptr[length] + code - table.mincode[length];
    if (index < 0 || index > 255) {
        dicom_log(LogLevel::error, "HuffDecode():Corrupt JPEG data: bad Huffman code.");
        return 0;
    }
    return table.huffval[index];
}

// HuffDecode: one difference category; codes of up to 8 bits take one look-up.
JPEG_INLINE int32_t HuffDecode(BitReader& reader, const HuffmanTable& table)
{
    if (reader.count < 8) {
        FillBitBuffer(reader);
    }
    const uint32_t look = (reader.buffer >> (reader.count - 8)) & 0xFFU;
    const int32_t length = table.lookupLength[look];
    if (length != 0) {
        reader.count -= length;
        return table.lookupValue[look];
    }
    // The slow path works on a copy so that the caller's reader never has its
    // address taken and can live in registers.
    BitReader spill = reader;
    const int32_t s = DecodeLongCode(spill, table, look);
    reader = spill;
    return s;
}

// Receive and extend: the difference of category s. Category 16 is the
// difference 32768 with no additional bits (T.81 H.1.2.2); the tables were
// checked to hold no category above 16.
JPEG_INLINE int32_t ReceiveAndExtend(BitReader& reader, int32_t s)
{
    if (s == 0) {
        return 0;
    }
    if (s == 16) {
        return 32768;
    }
    if (reader.count < s) {
        FillBitBuffer(reader);
    }
    reader.count -= s;
    int32_t value = static_cast<int32_t>(reader.buffer >> reader.count) & lowBits[s];
    if (value < signThreshold[s]) {
        value += signOffset[s];
    }
    return value;
}

void BuildFastTable(const HuffmanTable& table, FastTable& fast)
{
    for (int32_t look = 0; look < (1 << kFastBits); ++look) {
        const int32_t head = look >> (kFastBits - 8);
        const int32_t length = table.lookupLength[head];
        const int32_t s = table.lookupValue[head];
        int32_t entry = 0;
        if (length != 0 && (s == 0 || s == 16)) {
            entry = static_cast<int32_t>(static_cast<uint32_t>(s == 16 ? 32768 : 0) << 8) | length;
        } else if (length != 0 && length + s <= kFastBits) {
            int32_t value = (look >> (kFastBits - length - s)) & lowBits[s];
            if (value < signThreshold[s]) {
                value += signOffset[s];
            }
            entry = static_cast<int32_t>(static_cast<uint32_t>(value) << 8) | (length + s);
        }
        fast.entry[look] = entry;
    }
}

// Differences decoded per reservoir check in the row loops: a filled
// reservoir holds at least 56 bits, enough for this many short codes with
// their additional bits.
constexpr int32_t kGroup = 4;
static_assert(kGroup * kFastBits <= 56);

// One difference, the reservoir holding at least kFastBits bits: one look-up
// for the short codes that carry few additional bits, the table walk of
// HuffDecode and ReceiveAndExtend for the rest (after which the reservoir is
// filled again for the rest of a group). Both read the same bits, so they
// give the same differences.
JPEG_INLINE int32_t DecodeDifferenceFilled(BitReader& reader, const HuffmanTable& table, const FastTable& fast)
{
    const uint32_t look =
        static_cast<uint32_t>(reader.buffer >> (reader.count - kFastBits)) & ((1U << kFastBits) - 1);
    const int32_t entry = fast.entry[look];
    if (entry != 0) [[likely]] {
        reader.count -= entry & 0xFF;
        return entry >> 8;
    }
    const int32_t difference = ReceiveAndExtend(reader, HuffDecode(reader, table));
    if (reader.count < kGroup * kFastBits) {
        FillBitBuffer(reader);
    }
    return difference;
}

JPEG_INLINE int32_t DecodeDifference(BitReader& reader, const HuffmanTable& table, const FastTable& fast)
{
    if (reader.count < kGroup * kFastBits) {
        FillBitBuffer(reader);
    }
    return DecodeDifferenceFilled(reader, table, fast);
}

// QuickPredict: the prediction from left (Ra), above (Rb) and above left (Rc),
// all unsigned sample values, formed in 32 bits with a flooring shift.
// Psv 8 stands for every undefined selection value, which predicts 0 like
// Psv 0 (DecodeImage logs the warning once).
template <int32_t Psv>
JPEG_INLINE int32_t QuickPredict(int32_t ra, int32_t rb, int32_t rc)
{
    if constexpr (Psv == 1) {
        return ra;
    } else if constexpr (Psv == 2) {
        return rb;
    } else if constexpr (Psv == 3) {
        return rc;
    } else if constexpr (Psv == 4) {
        return ra + rb - rc;
    } else if constexpr (Psv == 5) {
        return ra + ((rb - rc) >> 1);
    } else if constexpr (Psv == 6) {
        return rb + ((ra - rc) >> 1);
    } else if constexpr (Psv == 7) {
        return (ra + rb) >> 1;
    } else {
        return 0;
    }
}

// The Huffman table of each sample position within an MCU.
struct McuTables {
    const HuffmanTable* table[kMaxComponents];
    const FastTable* fast[kMaxComponents];
};

// Also builds the fast table of every slot the scan uses.
McuTables TablesOf(const DecoderStruct& dc, FastTable* fastTables)
{
    McuTables tables{};
    bool built[kTableSlots] = {};
    for (int32_t i = 0; i < dc.scanComponentCount; ++i) {
        const int32_t slot = dc.scanComponents[dc.mcuOrder[i]]->tableIndex;
        tables.table[i] = dc.tables[slot];
        tables.fast[i] = &fastTables[slot];
        if (!built[slot]) {
            BuildFastTable(*dc.tables[slot], fastTables[slot]);
            built[slot] = true;
        }
    }
    return tables;
}

// DecodeStartRow: row 0 and the first row after each restart marker, each
// sample predicted from its left neighbour, the first from 2^(P - Pt - 1).
void DecodeStartRow(DecoderStruct* dcPtr, BitReader& reader, const McuTables& tables, uint16_t* row)
{
    const int32_t count = dcPtr->scanComponentCount;
    const int32_t initial = 1 << (dcPtr->precision - dcPtr->pointTransform - 1);
    for (int32_t i = 0; i < count; ++i) {
        row[i] = static_cast<uint16_t>(DecodeDifference(reader, *tables.table[i], *tables.fast[i]) + initial);
    }
    const int32_t samples = dcPtr->width * count;
    for (int32_t s = count; s < samples; s += count) {
        for (int32_t i = 0; i < count; ++i) {
            row[s + i] = static_cast<uint16_t>(DecodeDifference(reader, *tables.table[i], *tables.fast[i]) +
                                               row[s - count + i]);
        }
    }
    if (dcPtr->intervalRows != 0) {
        --dcPtr->rowsToRestart;
    }
}

// One row after the first: column 0 from the sample above, the others from
// QuickPredict. Components is the scan's component count, 0 when not fixed.
template <int32_t Psv, int32_t Components>
void DecodeRow(BitReader& state, const McuTables& tables, int32_t scanCount, int32_t width,
               const uint16_t* previous, uint16_t* current)
{
    BitReader reader = state;
    const int32_t count = Components != 0 ? Components : scanCount;
    for (int32_t i = 0; i < count; ++i) {
        current[i] =
            static_cast<uint16_t>(DecodeDifference(reader, *tables.table[i], *tables.fast[i]) + previous[i]);
    }
    const int32_t samples = width * count;
    if constexpr (Components == 1) {
        const HuffmanTable& table = *tables.table[0];
        const FastTable& fast = *tables.fast[0];
        int32_t s = 1;
        for (; s + kGroup <= samples; s += kGroup) {
            if (reader.count < kGroup * kFastBits) {
                FillBitBuffer(reader);
            }
            for (int32_t k = s; k < s + kGroup; ++k) {
                const int32_t prediction = QuickPredict<Psv>(current[k - 1], previous[k], previous[k - 1]);
                current[k] = static_cast<uint16_t>(DecodeDifferenceFilled(reader, table, fast) + prediction);
            }
        }
        for (; s < samples; ++s) {
            const int32_t prediction = QuickPredict<Psv>(current[s - 1], previous[s], previous[s - 1]);
            current[s] = static_cast<uint16_t>(DecodeDifference(reader, table, fast) + prediction);
        }
    } else {
        for (int32_t s = count; s < samples; s += count) {
            for (int32_t i = 0; i < count; ++i) {
                const int32_t prediction =
                    QuickPredict<Psv>(current[s - count + i], previous[s + i], previous[s - count + i]);
                current[s + i] = static_cast<uint16_t>(
                    DecodeDifference(reader, *tables.table[i], *tables.fast[i]) + prediction);
            }
        }
    }
    state = reader;
}

using RowDecoder = void (*)(BitReader&, const McuTables&, int32_t, int32_t, const uint16_t*, uint16_t*);

template <int32_t Components>
RowDecoder SelectRowDecoder(int32_t psv)
{
    switch (psv) {
    case 0: return DecodeRow<0, Components>;
    case 1: return DecodeRow<1, Components>;
    case 2: return DecodeRow<2, Components>;
    case 3: return DecodeRow<3, Components>;
    case 4: return DecodeRow<4, Components>;
    case 5: return DecodeRow<5, Components>;
    case 6: return DecodeRow<6, Components>;
    case 7: return DecodeRow<7, Components>;
    default: return DecodeRow<8, Components>;
    }
}

// Single-component 8-bit rows after the first, reconstructed in the output
// bytes themselves (predictions on unsigned byte values, modulo 256).
template <int32_t Psv>
void DecodeByteRows(BitReader& state, const HuffmanTable& table, const FastTable& fast, uint8_t* out,
                    int32_t width, int32_t rows)
{
    BitReader reader = state;
    for (int32_t r = 0; r < rows; ++r, out += width) {
        const uint8_t* above = out - width;
        out[0] = static_cast<uint8_t>(DecodeDifference(reader, table, fast) + above[0]);
        const auto predicted = [&](int32_t x) {
            int32_t prediction = 0;
            if constexpr (Psv >= 1 && Psv <= 7) {
                prediction = QuickPredict<Psv>(out[x - 1], above[x], above[x - 1]);
            }
            return prediction;
        };
        int32_t x = 1;
        for (; x + kGroup <= width; x += kGroup) {
            if (reader.count < kGroup * kFastBits) {
                FillBitBuffer(reader);
            }
            for (int32_t k = x; k < x + kGroup; ++k) {
                out[k] = static_cast<uint8_t>(DecodeDifferenceFilled(reader, table, fast) + predicted(k));
            }
        }
        for (; x < width; ++x) {
            out[x] = static_cast<uint8_t>(DecodeDifference(reader, table, fast) + predicted(x));
        }
    }
    state = reader;
}

using ByteRowDecoder = void (*)(BitReader&, const HuffmanTable&, const FastTable&, uint8_t*, int32_t, int32_t);

ByteRowDecoder SelectByteRowDecoder(int32_t psv)
{
    switch (psv) {
    case 1: return DecodeByteRows<1>;
    case 2: return DecodeByteRows<2>;
    case 3: return DecodeByteRows<3>;
    case 4: return DecodeByteRows<4>;
    case 5: return DecodeByteRows<5>;
    case 6: return DecodeByteRows<6>;
    case 7: return DecodeByteRows<7>;
    default: return DecodeByteRows<0>;
    }
}

// ProcessRestart: drops the leftover bits and expects RST(expectedRst) next.
} // namespace

void LosslessJpegState::ProcessRestart(DecoderStruct* dcPtr)
{
    bitCount = 0;
    const int32_t code = ScanToMarker();
    if (code != M_RST0 + dcPtr->expectedRst) {
        FailDecode("ProcessRestart(): Corrupt JPEG data.  Exiting...");
        return;
    }
    dcPtr->rowsToRestart = dcPtr->intervalRows;
    dcPtr->expectedRst = static_cast<int16_t>((dcPtr->expectedRst + 1) % 8);
}

namespace {

// EmitRow: one row in the form the depth selects, each sample scaled back by
// the point transform; missing components of a 24-bit pixel are 0.
void EmitRow(const DecoderStruct& dc, const uint16_t* row, uint8_t* out, int32_t depth)
{
    const int32_t count = dc.scanComponentCount;
    const int32_t shift = dc.pointTransform;
    const int32_t width = dc.width;
    if (depth == 8) {
        for (int32_t x = 0; x < width; ++x) {
            *out++ = static_cast<uint8_t>(row[x * count] << shift);
        }
    } else if (depth == 16 && count == 1 && shift == 0 && std::endian::native == std::endian::little) {
        std::memcpy(out, row, static_cast<std::size_t>(width) * 2);
    } else if (depth == 16) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t sample = static_cast<uint32_t>(row[x * count]) << shift;
            *out++ = static_cast<uint8_t>(sample);
            *out++ = static_cast<uint8_t>(sample >> 8);
        }
    } else {
        for (int32_t x = 0; x < width; ++x) {
            const uint16_t* pixel = row + x * count;
            for (int32_t i = 0; i < 3; ++i) {
                *out++ = static_cast<uint8_t>(i < count ? pixel[i] << shift : 0);
            }
        }
    }
}

} // namespace

bool RowOutput::Advance(int32_t rows)
{
    next += static_cast<std::size_t>(rows) * rowBytes;
    rowsDone += rows;
    if (take == nullptr || next != end) {
        return true;
    }
    if (!take(context, first, static_cast<std::size_t>(end - first))) {
        refused = true;
        return false;
    }
    // The band's last row stays in front of it: the rows that predict from
    // the output see it above them.
    std::memcpy(first - rowBytes, end - rowBytes, rowBytes);
    next = first;
    return true;
}

bool RowOutput::Finish(int32_t height)
{
    while (!refused && rowsDone < height) {
        std::memset(next, 0, rowBytes); // rows a stopped decode never reached
        Advance(1);
    }
    if (!refused && next != first && !take(context, first, static_cast<std::size_t>(next - first))) {
        refused = true;
    }
    return !refused;
}

void LosslessJpegState::DecodeImage(DecoderStruct* dcPtr, RowOutput& output, int32_t depth)
{
    if (depth != 8 && depth != 16 && depth != 24) {
        FailDecode("DecodeImage():Unsupported image depth.");
        return;
    }
    const McuTables tables = TablesOf(*dcPtr, fastTables);
    const int32_t width = dcPtr->width;
    const int32_t height = dcPtr->height;
    const int32_t count = dcPtr->scanComponentCount;
    uint16_t* current = rowBuffers[0].data();
    uint16_t* previous = rowBuffers[1].data();

    BitReader reader = LoadReader(*this);
    DecodeStartRow(dcPtr, reader, tables, current);
    EmitRow(*dcPtr, current, output.next, depth);
    std::swap(current, previous);
    if (!output.Advance(1)) {
        return;
    }

    // Bytes can be predicted from the output only when they are the samples
    // themselves: 8-bit precision, no point transform.
    const bool byteRows = depth == 8 && count == 1 && dcPtr->intervalRows == 0 && dcPtr->precision <= 8 &&
                          dcPtr->pointTransform == 0;
    if (byteRows) {
        const ByteRowDecoder decodeRows = SelectByteRowDecoder(dcPtr->psv);
        for (int32_t rowsLeft = height - 1; rowsLeft > 0;) {
            const auto room =
                static_cast<int32_t>(static_cast<std::size_t>(output.end - output.next) / output.rowBytes);
            const int32_t rows = std::min(rowsLeft, room);
            decodeRows(reader, *tables.table[0], *tables.fast[0], output.next, width, rows);
            rowsLeft -= rows;
            if (!output.Advance(rows)) {
                break;
            }
        }
        StoreReader(reader, *this);
        return;
    }

    const RowDecoder decodeRow = count == 1 ? SelectRowDecoder<1>(dcPtr->psv) : SelectRowDecoder<0>(dcPtr->psv);
    // An undefined selection value predicts 0; it is reported once, at the
    // first row that has a predicted sample.
    bool warnUndefinedPsv = (dcPtr->psv < 0 || dcPtr->psv > 7) && width > 1;
    for (int32_t r = 1; r < height; ++r) {
        if (dcPtr->intervalRows != 0) {
            if (dcPtr->rowsToRestart == 0) {
                StoreReader(reader, *this);
                ProcessRestart(dcPtr);
                if (dcPtr->error != 0) {
                    return;
                }
                reader = LoadReader(*this);
                DecodeStartRow(dcPtr, reader, tables, current);
                EmitRow(*dcPtr, current, output.next, depth);
                std::swap(current, previous);
                if (!output.Advance(1)) {
                    return;
                }
                continue;
            }
            --dcPtr->rowsToRestart;
        }
        if (warnUndefinedPsv) {
            dicom_log(LogLevel::error, "QuickPredict():Warning: Undefined PSV\n");
            warnUndefinedPsv = false;
        }
        decodeRow(reader, tables, count, width, previous, current);
        EmitRow(*dcPtr, current, output.next, depth);
        std::swap(current, previous);
        if (!output.Advance(1)) {
            break;
        }
    }
    StoreReader(reader, *this);
}

int32_t LosslessJpegState::Run(uint8_t* output, int32_t depth, std::size_t output_size, const BandOutput* bands,
                               std::size_t* written)
{
    DecoderStruct* dcPtr = &ljpegDecoder;
    ReadFileHeader(dcPtr);
    if (dcPtr->error != 0) {
        return -1;
    }
    if (!ReadScanHeader(dcPtr) || dcPtr->error != 0) {
        return -1;
    }
    DecoderStructInit(dcPtr);
    if (dcPtr->error != 0) {
        return -1;
    }
    HuffDecoderInit(dcPtr);
    if (dcPtr->error != 0) {
        return -1;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(dcPtr->width) * static_cast<std::size_t>(depth / 8);
    const std::size_t frameBytes = rowBytes * static_cast<std::size_t>(dcPtr->height);
    if ((depth == 8 || depth == 16 || depth == 24) && frameBytes > output_size) {
        dicom_log(LogLevel::error, "LosslessJpegDecode(): Frame larger than the output area.");
        return -1;
    }
    RowOutput rows;
    rows.rowBytes = rowBytes;
    std::vector<uint8_t> band;
    if (bands != nullptr) {
        if (depth != 8 && depth != 16 && depth != 24) {
            FailDecode("DecodeImage():Unsupported image depth.");
            return -1;
        }
        const std::size_t bandRows =
            std::clamp<std::size_t>(kBandBytes / rowBytes, 1, static_cast<std::size_t>(dcPtr->height));
        band.resize((bandRows + 1) * rowBytes);
        rows.first = band.data() + rowBytes;
        rows.end = rows.first + bandRows * rowBytes;
        rows.take = bands->take;
        rows.context = bands->context;
    } else {
        rows.first = output;
        rows.end = output + frameBytes;
    }
    rows.next = rows.first;
    DecodeImage(dcPtr, rows, depth);
    if (bands != nullptr) {
        return rows.Finish(dcPtr->height) ? 0 : -1;
    }
    if (written != nullptr) {
        *written = static_cast<std::size_t>(rows.next - rows.first);
    }
    return 0;
}

int32_t LosslessJpegDecode(std::FILE* file, uint8_t* output, int32_t depth, int32_t length,
                           std::size_t output_size)
{
    if (length < 0) {
        dicom_log(LogLevel::error, "LosslessJpegDecode(): Negative fragment length.");
        return -1;
    }
    // What the file still holds of the fragment: a length beyond the end of
    // the file allocates no more than the file can fill, and a short read
    // ends the data where the file ended.
    std::vector<uint8_t> fragment;
    if (read_file_bytes(file, static_cast<uint64_t>(length), fragment) == FileRead::out_of_memory) {
        return -1;
    }
    return LosslessJpegDecodeBuffer(fragment.data(), fragment.size(), output, depth, output_size);
}

int32_t LosslessJpegDecodeBuffer(const uint8_t* data, std::size_t size, uint8_t* output, int32_t depth,
                                 std::size_t output_size, std::size_t* written)
{
    std::unique_ptr<LosslessJpegState> state(new (std::nothrow) LosslessJpegState);
    if (state == nullptr) {
        return -1;
    }
    state->UseBytes(data, size);
    return state->Run(output, depth, output_size, nullptr, written);
}

int32_t LosslessJpegDecodeBands(const uint8_t* data, std::size_t size, int32_t depth, std::size_t frame_size,
                                LosslessJpegBandSink take, void* context)
{
    std::unique_ptr<LosslessJpegState> state(new (std::nothrow) LosslessJpegState);
    if (state == nullptr) {
        return -1;
    }
    state->UseBytes(data, size);
    const BandOutput bands{take, context};
    return state->Run(nullptr, depth, frame_size, &bands, nullptr);
}
