// A small lossless JPEG writer for the tests: marker segments byte by byte,
// and a reference encoder (T.81 Annex H, Huffman coded) for whole images.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ljpeg_test {

using Bytes = std::vector<uint8_t>;

// A Huffman table as DHT carries it, with the canonical codes derived.
struct Table {
    uint8_t bits[17] = {};       // bits[1..16]
    std::vector<uint8_t> values; // symbols by increasing code

    // Code and length of the first code carrying each symbol 0..16.
    uint32_t code[17] = {};
    int length[17] = {};

    void Derive()
    {
        uint32_t next = 0;
        std::size_t p = 0;
        for (auto& l : length) {
            l = 0;
        }
        for (int l = 1; l <= 16; ++l) {
            for (int i = 0; i < bits[l]; ++i, ++p, ++next) {
                const uint8_t symbol = values[p];
                if (symbol <= 16 && length[symbol] == 0) {
                    code[symbol] = next;
                    length[symbol] = l;
                }
            }
            next <<= 1;
        }
    }
};

// Seven 3-bit codes for categories 0..6, then one code each of lengths 4..13
// for categories 7..16: categories 12 and above need codes longer than 8 bits.
inline Table DefaultTable()
{
    Table table;
    table.bits[3] = 7;
    for (int l = 4; l <= 13; ++l) {
        table.bits[l] = 1;
    }
    for (uint8_t s = 0; s <= 16; ++s) {
        table.values.push_back(s);
    }
    table.Derive();
    return table;
}

class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}

    void Put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            byte_ = (byte_ << 1) | ((value >> i) & 1U);
            if (++filled_ == 8) {
                Emit();
            }
        }
    }
    // Pads the last byte with 1 bits (T.81 F.1.2.3).
    void Flush()
    {
        while (filled_ != 0) {
            Put(1, 1);
        }
    }

private:
    void Emit()
    {
        out_.push_back(static_cast<uint8_t>(byte_));
        if (byte_ == 0xFF) {
            out_.push_back(0x00);
        }
        byte_ = 0;
        filled_ = 0;
    }
    Bytes& out_;
    uint32_t byte_ = 0;
    int filled_ = 0;
};

inline void PutWord(Bytes& out, int value)
{
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

inline void Soi(Bytes& out) { out.insert(out.end(), {0xFF, 0xD8}); }

inline void Eoi(Bytes& out) { out.insert(out.end(), {0xFF, 0xD9}); }

struct ComponentSpec {
    int id;
    int sampling; // Hi << 4 | Vi
};

inline void Sof(Bytes& out, int marker, int precision, int height, int width,
                const std::vector<ComponentSpec>& components)
{
    out.insert(out.end(), {0xFF, static_cast<uint8_t>(marker)});
    PutWord(out, 8 + 3 * static_cast<int>(components.size()));
    out.push_back(static_cast<uint8_t>(precision));
    PutWord(out, height);
    PutWord(out, width);
    out.push_back(static_cast<uint8_t>(components.size()));
    for (const ComponentSpec& c : components) {
        out.insert(out.end(), {static_cast<uint8_t>(c.id), static_cast<uint8_t>(c.sampling), 0});
    }
}

// One DHT segment holding the given tables, each with its class/id byte.
inline void Dht(Bytes& out, const std::vector<std::pair<int, Table>>& tables)
{
    int length = 2;
    for (const auto& [index, table] : tables) {
        length += 17 + static_cast<int>(table.values.size());
    }
    out.insert(out.end(), {0xFF, 0xC4});
    PutWord(out, length);
    for (const auto& [index, table] : tables) {
        out.push_back(static_cast<uint8_t>(index));
        out.insert(out.end(), table.bits + 1, table.bits + 17);
        out.insert(out.end(), table.values.begin(), table.values.end());
    }
}

inline void Dri(Bytes& out, int interval)
{
    out.insert(out.end(), {0xFF, 0xDD, 0x00, 0x04});
    PutWord(out, interval);
}

struct ScanSpec {
    int id;
    int selector; // Td << 4 | Ta
};

inline void Sos(Bytes& out, const std::vector<ScanSpec>& components, int psv, int pointTransform)
{
    out.insert(out.end(), {0xFF, 0xDA});
    PutWord(out, 6 + 2 * static_cast<int>(components.size()));
    out.push_back(static_cast<uint8_t>(components.size()));
    for (const ScanSpec& c : components) {
        out.insert(out.end(), {static_cast<uint8_t>(c.id), static_cast<uint8_t>(c.selector)});
    }
    out.insert(out.end(), {static_cast<uint8_t>(psv), 0, static_cast<uint8_t>(pointTransform)});
}

// Samples of an image, interleaved: (y * width + x) * components + c.
struct Image {
    int width = 0;
    int height = 0;
    int components = 1;
    int precision = 8;
    std::vector<uint16_t> samples;

    uint16_t At(int x, int y, int c) const
    {
        return samples[(static_cast<std::size_t>(y) * width + x) * components + c];
    }
};

struct EncodeOptions {
    int psv = 1;
    int pointTransform = 0;
    int restartRows = 0; // rows per restart interval, 0 for none
    int sofMarker = 0xC3;
    Table table = DefaultTable();
    // Restart marker numbers in order of appearance; empty means 0, 1, 2, ...
    std::vector<int> restartNumbers;
    bool doubleFillBeforeRestart = false; // write 0xFF 0xFF RSTn
};

// Prediction of T.81 H.1.2.1 on the point-transformed samples.
inline int32_t Predict(int psv, int32_t ra, int32_t rb, int32_t rc)
{
    switch (psv) {
    case 1: return ra;
    case 2: return rb;
    case 3: return rc;
    case 4: return ra + rb - rc;
    case 5: return ra + ((rb - rc) >> 1);
    case 6: return rb + ((ra - rc) >> 1);
    case 7: return (ra + rb) >> 1;
    default: return 0;
    }
}

inline void EncodeDifference(BitWriter& writer, const Table& table, int32_t difference)
{
    int32_t d = difference & 0xFFFF;
    if (d == 0x8000) {
        writer.Put(table.code[16], table.length[16]);
        return;
    }
    if (d > 0x8000) {
        d -= 0x10000;
    }
    const int32_t magnitude = d < 0 ? -d : d;
    int category = 0;
    while ((1 << category) <= magnitude) {
        ++category;
    }
    writer.Put(table.code[category], table.length[category]);
    if (category != 0) {
        const int32_t extra = d > 0 ? d : d + (1 << category) - 1;
        writer.Put(static_cast<uint32_t>(extra), category);
    }
}

// Entropy-coded data of one scan over all components (table 0 for each).
inline void EncodeScan(Bytes& out, const Image& image, const EncodeOptions& options)
{
    BitWriter writer(out);
    const int pt = options.pointTransform;
    const int32_t initial = 1 << (image.precision - pt - 1);
    int interval = 0;
    int rowInInterval = 0;
    for (int y = 0; y < image.height; ++y, ++rowInInterval) {
        if (options.restartRows != 0 && y != 0 && rowInInterval == options.restartRows) {
            writer.Flush();
            const int number = interval < static_cast<int>(options.restartNumbers.size())
                                   ? options.restartNumbers[interval]
                                   : interval % 8;
            if (options.doubleFillBeforeRestart) {
                out.push_back(0xFF);
            }
            out.insert(out.end(), {0xFF, static_cast<uint8_t>(0xD0 + number)});
            ++interval;
            rowInInterval = 0;
        }
        for (int x = 0; x < image.width; ++x) {
            for (int c = 0; c < image.components; ++c) {
                const int32_t sample = image.At(x, y, c) >> pt;
                int32_t prediction;
                if (rowInInterval == 0) {
                    prediction = x == 0 ? initial : image.At(x - 1, y, c) >> pt;
                } else if (x == 0) {
                    prediction = image.At(x, y - 1, c) >> pt;
                } else {
                    prediction = Predict(options.psv, image.At(x - 1, y, c) >> pt, image.At(x, y - 1, c) >> pt,
                                         image.At(x - 1, y - 1, c) >> pt);
                }
                EncodeDifference(writer, options.table, sample - prediction);
            }
        }
    }
    writer.Flush();
}

// A whole stream: SOI, DHT, optional DRI, SOF, SOS, coded data, EOI.
inline Bytes Encode(const Image& image, const EncodeOptions& options = {})
{
    Bytes out;
    Soi(out);
    Dht(out, {{0, options.table}});
    if (options.restartRows != 0) {
        Dri(out, options.restartRows * image.width);
    }
    std::vector<ComponentSpec> frame;
    std::vector<ScanSpec> scan;
    for (int c = 0; c < image.components; ++c) {
        frame.push_back({c + 1, 0x11});
        scan.push_back({c + 1, 0x00});
    }
    Sof(out, options.sofMarker, image.precision, image.height, image.width, frame);
    Sos(out, scan, options.psv, options.pointTransform);
    EncodeScan(out, image, options);
    Eoi(out);
    return out;
}

// Deterministic test image: smooth ramps with noise, values below 2^precision.
inline Image MakeImage(int width, int height, int components, int precision, uint32_t seed = 1)
{
    Image image{width, height, components, precision, {}};
    const uint32_t top = (1U << precision) - 1;
    uint32_t state = seed * 2654435761U + 12345U;
    image.samples.resize(static_cast<std::size_t>(width) * height * components);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) {
                state = state * 1664525U + 1013904223U;
                const uint32_t ramp = (static_cast<uint32_t>(x * 37 + y * 11 + c * 101) * (top / 64 + 1)) & top;
                const uint32_t noise = (state >> 16) & (top >> 2);
                image.samples[(static_cast<std::size_t>(y) * width + x) * components + c] =
                    static_cast<uint16_t>((ramp + noise) & top);
            }
        }
    }
    return image;
}

} // namespace ljpeg_test
