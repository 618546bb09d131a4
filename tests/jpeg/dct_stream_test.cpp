// Sequential DCT decoding of damaged and hand-built streams: every failure
// is a clear -1, never a write outside the output area.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/jpeg/dct_helpers.h"

using namespace dct_test;
using ljpeg_test::Table;

namespace {

bool Logged(const DctResult& result, const std::string& message)
{
    return result.log.find("DctJpegDecode(): " + message) != std::string::npos;
}

void Dqt(Bytes& out, int value)
{
    out.insert(out.end(), {0xFF, 0xDB, 0x00, 67, 0x00});
    out.insert(out.end(), 64, static_cast<uint8_t>(value));
}

// A DC table of the categories 0 to 11 and an AC table of EOB, ZRL and
// runs 0 to 15 of sizes 1 to 10 (none of them coded all ones).
void Tables(Bytes& out)
{
    Table dc;
    dc.bits[4] = 12;
    for (uint8_t s = 0; s <= 11; ++s) {
        dc.values.push_back(s);
    }
    Table ac;
    ac.bits[8] = 162;
    ac.values = {0x00, 0xF0};
    for (int run = 0; run < 16; ++run) {
        for (int size = 1; size <= 10; ++size) {
            ac.values.push_back(static_cast<uint8_t>(run << 4 | size));
        }
    }
    ljpeg_test::Dht(out, {{0x00, dc}, {0x10, ac}});
}

void Sos(Bytes& out, int components)
{
    out.insert(out.end(),
               {0xFF, 0xDA, 0x00, static_cast<uint8_t>(6 + 2 * components), static_cast<uint8_t>(components)});
    for (int c = 1; c <= components; ++c) {
        out.insert(out.end(), {static_cast<uint8_t>(c), 0x00});
    }
    out.insert(out.end(), {0x00, 0x3F, 0x00});
}

// Headers of a one-component frame up to the scan header, then `data`.
Bytes Stream(int marker, int precision, int height, int width, const Bytes& data, int sampling = 0x11)
{
    Bytes out;
    ljpeg_test::Soi(out);
    Dqt(out, 2);
    Tables(out);
    ljpeg_test::Sof(out, marker, precision, height, width, {{1, sampling}});
    Sos(out, 1);
    out.insert(out.end(), data.begin(), data.end());
    ljpeg_test::Eoi(out);
    return out;
}

// One 8 x 8 block: DC category 0 (code 0000) and EOB (code 00000000), padded with ones.
const Bytes kFlatBlock = {0x00, 0x0F};

Bytes FixtureStream(const std::string& name) { return ReadAll(FixturePath(name, ".jpg")); }

} // namespace

TEST(DctJpegStream, HandBuiltFlatBlockDecodesToTheLevelShift)
{
    for (const int precision : {8, 12}) {
        const std::size_t bytes = precision == 8 ? 64 : 128;
        const DctResult result = DecodeDct(Stream(0xC1, precision, 8, 8, kFlatBlock), bytes);
        ASSERT_EQ(result.status, 0) << result.log;
        const int expected = 1 << (precision - 1);
        for (std::size_t i = 0; i < 64; ++i) {
            int value = result.output[i];
            if (precision == 12) {
                uint16_t sample = 0;
                std::memcpy(&sample, result.output.data() + 2 * i, 2);
                value = sample;
            }
            ASSERT_EQ(value, expected) << i;
        }
        EXPECT_TRUE(GuardIntact(result, bytes));
    }
}

TEST(DctJpegStream, FramesTheOutputOrTheDataCannotHoldAreRefusedUntouched)
{
    const DctResult small = DecodeDct(Stream(0xC1, 12, 8, 8, kFlatBlock), 127);
    EXPECT_EQ(small.status, -1);
    EXPECT_TRUE(Logged(small, "Frame larger than the output area."));
    EXPECT_EQ(small.output, Bytes(127 + 16, kUntouched));

    // 65535 x 65535 samples from a few bytes: refused before any allocation.
    const DctResult huge = DecodeDct(Stream(0xC1, 12, 65535, 65535, kFlatBlock), 64, SIZE_MAX);
    EXPECT_EQ(huge.status, -1);
    EXPECT_TRUE(Logged(huge, "Frame larger than its data could hold.")) << huge.log;
    EXPECT_EQ(huge.output, Bytes(64 + 16, kUntouched));
}

TEST(DctJpegStream, BadCodesMissingDataAndRestartsFail)
{
    // A DC code of all ones is in no table.
    const DctResult bad = DecodeDct(Stream(0xC1, 12, 8, 8, {0xFF, 0x00, 0xFF, 0x00}), 128);
    EXPECT_EQ(bad.status, -1);
    EXPECT_TRUE(Logged(bad, "Corrupt JPEG data: bad Huffman code.")) << bad.log;

    // Two blocks announced, one coded.
    const DctResult shortData = DecodeDct(Stream(0xC1, 12, 8, 16, {0x00}), 256);
    EXPECT_EQ(shortData.status, -1);
    EXPECT_TRUE(Logged(shortData, "Premature end of JPEG data.")) << shortData.log;

    // A restart marker out of order.
    Bytes stream = FixtureStream("gray12_odd_dri3");
    ASSERT_FALSE(stream.empty());
    const Bytes second = {0xFF, 0xD1};
    const auto marker = std::search(stream.begin(), stream.end(), second.begin(), second.end());
    ASSERT_NE(marker, stream.end());
    *(marker + 1) = 0xD2;
    const DctResult restart = DecodeDct(stream, FixtureNamed("gray12_odd_dri3").FrameBytes());
    EXPECT_EQ(restart.status, -1);
    EXPECT_TRUE(Logged(restart, "Corrupt JPEG data: missing or out-of-order restart marker.")) << restart.log;
}

TEST(DctJpegStream, UnsupportedProcessesAndBadHeadersAreNamed)
{
    const std::pair<Bytes, const char*> cases[] = {
        {Stream(0xC2, 8, 8, 8, kFlatBlock), "Progressive JPEG is not supported."},
        {Stream(0xC3, 8, 8, 8, kFlatBlock), "Lossless JPEG is not a DCT process."},
        {Stream(0xC9, 8, 8, 8, kFlatBlock), "Arithmetic-coded JPEG is not supported."},
        {Stream(0xC1, 16, 8, 8, kFlatBlock), "Unsupported sample precision (8 or 12 bits only)."},
        {Stream(0xC1, 12, 0, 8, kFlatBlock), "Empty JPEG image (DNL not supported)."},
        {Stream(0xC1, 12, 8, 8, kFlatBlock, 0x51), "Bad sampling factors."},
        {Stream(0xC1, 12, 8, 8, kFlatBlock, 0x01), "Bad sampling factors."},
        {Bytes{0xFF, 0xD8, 0xFF, 0xD9}, "Premature end of JPEG data before the frame header."},
        {Bytes{0x00, 0xD8}, "Not a JPEG stream."},
    };
    for (const auto& [stream, message] : cases) {
        SCOPED_TRACE(message);
        const DctResult result = DecodeDct(stream, 1024);
        EXPECT_EQ(result.status, -1);
        EXPECT_TRUE(Logged(result, message)) << result.log;
        EXPECT_EQ(result.output, Bytes(1024 + 16, kUntouched));
    }

    // Component 2 has a 3:2 ratio to the largest factor.
    Bytes fractional;
    ljpeg_test::Soi(fractional);
    Dqt(fractional, 2);
    Tables(fractional);
    ljpeg_test::Sof(fractional, 0xC1, 12, 8, 8, {{1, 0x31}, {2, 0x21}});
    Sos(fractional, 2);
    const DctResult result = DecodeDct(fractional, 1024);
    EXPECT_EQ(result.status, -1);
    EXPECT_TRUE(Logged(result, "Fractional sampling factors are not supported.")) << result.log;
}

TEST(DctJpegStream, EveryTruncationAndRandomDamageIsHandled)
{
    const Fixture f = FixtureNamed("ycc12_420_dri2");
    const Bytes whole = FixtureStream(f.name);
    ASSERT_FALSE(whole.empty());
    const DctResult reference = DecodeDct(whole, f.FrameBytes());
    ASSERT_EQ(reference.status, 0);
    log_level = LogLevel::silent;
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        const DctResult result = DecodeDct(part, f.FrameBytes());
        // Only the end-of-image marker may be missing.
        if (cut + 2 < whole.size()) {
            ASSERT_EQ(result.status, -1) << cut;
        } else {
            ASSERT_EQ(result.output, reference.output) << cut;
        }
        ASSERT_TRUE(GuardIntact(result, f.FrameBytes())) << cut;
    }
    uint32_t state = 11;
    for (int round = 0; round < 400; ++round) {
        Bytes damaged = whole;
        for (int i = 0; i < 1 + round % 4; ++i) {
            state = state * 1103515245U + 12345U;
            damaged[(state >> 8) % damaged.size()] = static_cast<uint8_t>(state >> 24);
        }
        const DctResult result = DecodeDct(damaged, f.FrameBytes());
        ASSERT_TRUE(result.status == 0 || result.status == -1);
        ASSERT_TRUE(GuardIntact(result, f.FrameBytes())) << round;
    }
    log_level = LogLevel::notice;
}
