// Sequential DCT streams from the test set, from the peer encoder and from
// the fixture script's encoder decode to within 2 of the peer decoder's
// samples everywhere, and within 1 on 99.9 % of them.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "tests/jpeg/dct_helpers.h"

using namespace dct_test;

namespace {

// Samples of `bytes` as 8-bit or host-order 16-bit values.
std::vector<int> Samples(const Bytes& bytes, std::size_t size, int precision)
{
    std::vector<int> samples;
    if (precision == 8) {
        samples.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    } else {
        for (std::size_t i = 0; i + 1 < size; i += 2) {
            uint16_t value = 0;
            std::memcpy(&value, bytes.data() + i, 2);
            samples.push_back(value);
        }
    }
    return samples;
}

void CheckFixture(const Fixture& f)
{
    SCOPED_TRACE(f.name);
    const Bytes stream = ReadAll(FixturePath(f.name, ".jpg"));
    const Bytes peer = ReadAll(FixturePath(f.name, ".raw"));
    ASSERT_FALSE(stream.empty()) << "fixtures missing; run the jpeg_dct_fixtures setup test";
    ASSERT_EQ(peer.size(), f.FrameBytes());
    const DctResult result = DecodeDct(stream, f.FrameBytes());
    ASSERT_EQ(result.status, 0) << result.log;
    EXPECT_TRUE(GuardIntact(result, f.FrameBytes()));

    // The peer writes 16-bit samples little endian.
    Bytes expected = peer;
    if (f.precision != 8 && std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i + 1 < expected.size(); i += 2) {
            std::swap(expected[i], expected[i + 1]);
        }
    }
    const std::vector<int> ours = Samples(result.output, f.FrameBytes(), f.precision);
    const std::vector<int> theirs = Samples(expected, expected.size(), f.precision);
    ASSERT_EQ(ours.size(), theirs.size());
    int worst = 0;
    std::size_t offByMore = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const int difference = std::abs(ours[i] - theirs[i]);
        worst = std::max(worst, difference);
        offByMore += difference > 1 ? 1 : 0;
    }
    EXPECT_LE(worst, 2);
    EXPECT_LE(static_cast<double>(offByMore), 0.001 * static_cast<double>(ours.size()));
}

void CheckFixtures(const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        const Fixture f = FixtureNamed(name);
        EXPECT_EQ(f.name, name) << "not in the manifest";
        if (f.name == name) {
            CheckFixture(f);
        }
    }
}

} // namespace

TEST(DctJpegPeer, TwelveBitFilesOfTheTestSet) { CheckFixtures({"JPGExtended", "JPEG_lossy"}); }

TEST(DctJpegPeer, TwelveBitMonochromeFromThePeerEncoder) { CheckFixtures({"ct_ee", "mr_ee", "mr_ee_q40"}); }

TEST(DctJpegPeer, EightBitColourWithAndWithoutSubsampling)
{
    CheckFixtures({"SC_rgb_dcmtk__eb_cy_s2", "SC_rgb_dcmtk__eb_cy_n2", "rgb_eb_s2", "rgb_ee_s4", "rgbodd_eb_s2"});
}

TEST(DctJpegPeer, SamplingFactorsRestartIntervalsScansAndComponents)
{
    CheckFixtures({"gray12_odd_dri3", "ycc12_420_dri2", "ycc12_422", "ycc12_411", "ycc12_12", "ycc12_420_narrow",
                   "ycc12_420_scans_dri5", "ycc8_420_dri1", "cmyk12"});
}

TEST(DctJpegPeer, DecodesOnSeveralThreadsAtOnceLikeOneByOne)
{
    const std::vector<Fixture> fixtures = Fixtures();
    ASSERT_GE(fixtures.size(), 10U);
    std::vector<Bytes> streams;
    std::vector<Bytes> serial;
    for (const Fixture& f : fixtures) {
        streams.push_back(ReadAll(FixturePath(f.name, ".jpg")));
        serial.push_back(DecodeDct(streams.back(), f.FrameBytes()).output);
    }
    std::vector<int> mismatches(3, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < mismatches.size(); ++t) {
        threads.emplace_back([&, t] {
            for (std::size_t round = 0; round < 2 * fixtures.size(); ++round) {
                const std::size_t i = (round + t * 5) % fixtures.size();
                Bytes output(fixtures[i].FrameBytes() + 16, kUntouched);
                const int32_t status =
                    DctJpegDecode(streams[i].data(), streams[i].size(), output.data(), fixtures[i].FrameBytes());
                mismatches[t] += status != 0 || output != serial[i] ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(3, 0));
}
