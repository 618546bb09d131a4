// Lossless JPEG streams made by the peer encoder from real images decode to
// exactly the pixel data that the peer decoder gives. The fixtures are made
// by make_fixtures.py (the jpeg_fixtures setup test).
#include "tests/jpeg/decode_helpers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

using namespace ljpeg_test;

namespace {

struct Fixture {
    std::string name;
    int depth = 0;
    std::string group;
};

Bytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Fixture> FixturesOf(const std::string& group)
{
    std::vector<Fixture> found;
    std::ifstream manifest(std::string(VELMOR_JPEG_FIXTURES) + "/manifest.txt");
    Fixture f;
    while (manifest >> f.name >> f.depth >> f.group) {
        if (f.group == group) {
            found.push_back(f);
        }
    }
    return found;
}

// Decodes every fixture of the group and compares with the peer's pixels.
// Returns the decoded pixels of all of them, for further checks.
std::vector<Bytes> CheckGroup(const std::string& group)
{
    const std::vector<Fixture> fixtures = FixturesOf(group);
    // Seven selection values with point transform 0, three with 2.
    EXPECT_EQ(fixtures.size(), 10U) << "fixtures missing; run the jpeg_fixtures setup test";
    std::vector<Bytes> decoded;
    for (const Fixture& f : fixtures) {
        SCOPED_TRACE(f.name);
        const std::string base = std::string(VELMOR_JPEG_FIXTURES) + "/" + f.name;
        const Bytes stream = ReadAll(base + ".jpg");
        const Bytes expected = ReadAll(base + ".raw");
        EXPECT_FALSE(stream.empty());
        EXPECT_FALSE(expected.empty());
        const DecodeResult result = Decode(stream, f.depth, expected.size());
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.log, "");
        EXPECT_TRUE(result.output == expected);
        decoded.push_back(result.output);
    }
    return decoded;
}

} // namespace

TEST(LosslessJpegPeer, SignedSixteenBitCt) { CheckGroup("ct"); }

TEST(LosslessJpegPeer, SignedSixteenBitMr) { CheckGroup("mr"); }

TEST(LosslessJpegPeer, EightBitMonochrome) { CheckGroup("gray8"); }

TEST(LosslessJpegPeer, EightBitRgb)
{
    CheckGroup("rgb");
    CheckGroup("rgbodd");
}

TEST(LosslessJpegPeer, TwelveBitPrecision) { CheckGroup("u12"); }

TEST(LosslessJpegPeer, UnsignedSixteenBitAboveSignedRange)
{
    const std::vector<Bytes> decoded = CheckGroup("u16");
    ASSERT_FALSE(decoded.empty());
    // The image really holds samples at and above 32768.
    int high = 0;
    for (std::size_t i = 0; i + 1 < decoded[0].size(); i += 2) {
        high += decoded[0][i + 1] >= 0x80 ? 1 : 0;
    }
    EXPECT_GT(high, 100);
}
