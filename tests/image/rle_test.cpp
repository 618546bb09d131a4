// The RLE decoder: run headers and slot bounds of one segment, whole frames
// held in memory, then frames read from an open file.
#include "image/rle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "test_support.h"

using namespace image_test;

namespace {

// Decodes a segment into a fresh slot of exactly `slot` bytes (so that the
// address sanitizer sees any write past it) and returns the slot.
struct SegmentResult {
    Bytes slot;
    uint32_t consumed;
};

SegmentResult decode_segment(const Bytes& segment, std::size_t slot, uint32_t stride = 1, uint32_t start = 0)
{
    auto exact = std::make_unique<uint8_t[]>(slot + 1); // +1: never zero-sized
    std::memset(exact.get(), 0xEE, slot);
    const uint32_t consumed = mdc_dicom_decodeRLE_segment(
        exact.get(), segment.data(), static_cast<uint32_t>(segment.size()), stride, start, slot);
    return {Bytes(exact.get(), exact.get() + slot), consumed};
}

} // namespace

TEST(RleSegment, RunHeadersDecodeAsLiteralNoOpAndReplicate)
{
    // 0 copies one byte, 128 does nothing, 255 writes its byte twice.
    SegmentResult r = decode_segment({0x00, 0x41, 0x80, 0xFF, 0x42, 0x00, 0x43}, 4);
    EXPECT_EQ(r.slot, (Bytes{0x41, 0x42, 0x42, 0x43}));
    EXPECT_EQ(r.consumed, 7U);

    // 127 copies 128 bytes.
    Bytes literal{0x7F};
    for (int i = 0; i < 128; ++i) {
        literal.push_back(static_cast<uint8_t>(i));
    }
    r = decode_segment(literal, 128);
    for (int i = 0; i < 128; ++i) {
        ASSERT_EQ(r.slot[static_cast<std::size_t>(i)], i);
    }
    EXPECT_EQ(r.consumed, 129U);

    // 129 writes its byte 128 times.
    r = decode_segment({0x81, 0x07}, 128);
    EXPECT_EQ(r.slot, Bytes(128, 0x07));
    EXPECT_EQ(r.consumed, 2U);
}

TEST(RleSegment, LastRunsThatRunOutOfSegmentEndIt)
{
    // A literal announcing 5 bytes with 2 left copies those 2.
    SegmentResult r = decode_segment({0x04, 0x01, 0x02}, 6);
    EXPECT_EQ(r.slot, (Bytes{0x01, 0x02, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(r.consumed, 3U);

    // A replicate header as the last byte writes nothing.
    r = decode_segment({0x00, 0x09, 0xFE}, 4);
    EXPECT_EQ(r.slot, (Bytes{0x09, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(r.consumed, 3U);

    // Run header 0 and its byte as the last two bytes.
    r = decode_segment({0xFF, 0x01, 0x00, 0x02}, 3);
    EXPECT_EQ(r.slot, (Bytes{0x01, 0x01, 0x02}));
}

TEST(RleSegment, InterleavesByStartAndStride)
{
    const SegmentResult r = decode_segment({0xFE, 0x05, 0x00, 0x06}, 12, 3, 1);
    EXPECT_EQ(r.slot, (Bytes{0xEE, 5, 0xEE, 0xEE, 5, 0xEE, 0xEE, 5, 0xEE, 0xEE, 6, 0xEE}));
}

TEST(RleSegment, NeverWritesAtOrPastTheSlotEnd)
{
    // A replicate run of 128 into a 10-byte slot: cut, reported by consuming
    // less than the segment.
    SegmentResult r = decode_segment({0x81, 0x33}, 10);
    EXPECT_EQ(r.slot, Bytes(10, 0x33));
    EXPECT_LT(r.consumed, 2U);

    // A literal run past the slot.
    r = decode_segment({0x03, 1, 2, 3, 4}, 3);
    EXPECT_EQ(r.slot, (Bytes{1, 2, 3}));
    EXPECT_LT(r.consumed, 5U);

    // Strided: start 2, stride 3 in 7 bytes has room for positions 2 and 5.
    r = decode_segment({0xFC, 0x44}, 7, 3, 2);
    EXPECT_EQ(r.slot, (Bytes{0xEE, 0xEE, 0x44, 0xEE, 0xEE, 0x44, 0xEE}));
    EXPECT_LT(r.consumed, 2U);

    // A start beyond the slot writes nothing at all.
    r = decode_segment({0x00, 0x01}, 2, 4, 3);
    EXPECT_EQ(r.slot, (Bytes{0xEE, 0xEE}));

    // Filling the slot exactly, then a no-op padding byte, is no overflow.
    r = decode_segment({0xFD, 0x01, 0x80}, 4);
    EXPECT_EQ(r.slot, Bytes(4, 0x01));
    EXPECT_EQ(r.consumed, 3U);
}

namespace {

// A frame decoded from memory into an exact slot (zero-filled first).
struct FrameResult {
    int16_t status;
    Bytes slot;
};

FrameResult decode_frame(const Bytes& frame, std::size_t slot)
{
    auto exact = std::make_unique<uint8_t[]>(slot + 1);
    std::memset(exact.get(), 0, slot);
    FrameResult result{};
    result.status = rle_decode_frame(frame.data(), frame.size(), 0, exact.get(), slot);
    result.slot.assign(exact.get(), exact.get() + slot);
    return result;
}

} // namespace

TEST(RleFrame, OneSegmentIsTheFrame)
{
    const Bytes frame = rle_frame({{0xFD, 0x10, 0x01, 0x20, 0x21}});
    const FrameResult r = decode_frame(frame, 6);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.slot, (Bytes{0x10, 0x10, 0x10, 0x10, 0x20, 0x21}));
}

TEST(RleFrame, ThreeSegmentsInterleavePerPixel)
{
    const Bytes frame = rle_frame({{0x01, 'r', 'R'}, {0xFF, 'g'}, {0x01, 'b', 'B'}});
    const FrameResult r = decode_frame(frame, 6);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.slot, (Bytes{'r', 'g', 'b', 'R', 'g', 'B'}));
}

TEST(RleFrame, MultiByteSamplesLandInHostOrder)
{
    // Segment 0 holds the most significant bytes.
    const Bytes words = rle_frame({{0x01, 0x12, 0xAB}, {0x01, 0x34, 0xCD}});
    FrameResult r = decode_frame(words, 4);
    ASSERT_EQ(r.status, 0);
    uint16_t samples[2];
    std::memcpy(samples, r.slot.data(), sizeof samples);
    EXPECT_EQ(samples[0], 0x1234);
    EXPECT_EQ(samples[1], 0xABCD);

    const Bytes longs = rle_frame({{0x00, 0x01}, {0x00, 0x02}, {0x00, 0x03}, {0x00, 0x04}});
    r = decode_frame(longs, 4);
    ASSERT_EQ(r.status, 0);
    uint32_t sample = 0;
    std::memcpy(&sample, r.slot.data(), sizeof sample);
    EXPECT_EQ(sample, 0x01020304U);
}

TEST(RleSegment, AnEmptySlotTakesNothing)
{
    // No slot at all (null, 0 bytes): no run is copied, none consumed.
    const Bytes segment{0x01, 7, 8, 0xFE, 9};
    EXPECT_EQ(mdc_dicom_decodeRLE_segment(nullptr, segment.data(), 5, 1, 0, 0), 0U);
    uint8_t byte = 0xEE;
    EXPECT_EQ(mdc_dicom_decodeRLE_segment(&byte, segment.data(), 5, 1, 0, 0), 0U);
    EXPECT_EQ(byte, 0xEE);
}

TEST(RleFrame, NoSegmentsDecodesNothing)
{
    FrameResult r = decode_frame(rle_header(0, {}), 8);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.slot, Bytes(8, 0));

    // Bytes after the header of a frame without segments are stepped over.
    Bytes longer = rle_header(0, {});
    append(longer, Bytes(36, 0x55));
    r = decode_frame(longer, 8);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.slot, Bytes(8, 0));
}

TEST(RleFrame, SixteenSegmentsAreRefusedBeforeTheOffsets)
{
    const LogCapture log;
    Bytes frame = rle_header(16, {64, 66, 68, 70, 72});
    append(frame, Bytes(10, 0));
    const FrameResult r = decode_frame(frame, 8);
    EXPECT_EQ(r.status, -1);
    EXPECT_TRUE(log.contains("error: RLE - Maximum of 32 bits images supported"));
    EXPECT_FALSE(log.contains("offsets"));
}

TEST(RleFrame, ColourSamplesOfSeveralBytesLandInHostOrderPixelByPixel)
{
    // Three 16-bit samples (6 segments), then three 32-bit ones (12), one pixel.
    std::vector<Bytes> segments;
    for (uint8_t j = 0; j < 6; ++j) {
        segments.push_back({0x00, static_cast<uint8_t>(0x10 + j)});
    }
    FrameResult r = decode_frame(rle_frame(segments), 6);
    ASSERT_EQ(r.status, 0);
    uint16_t words[3];
    std::memcpy(words, r.slot.data(), sizeof words);
    EXPECT_EQ(words[0], 0x1011);
    EXPECT_EQ(words[1], 0x1213);
    EXPECT_EQ(words[2], 0x1415);

    segments.clear();
    for (uint8_t j = 0; j < 12; ++j) {
        segments.push_back({0x00, static_cast<uint8_t>(0x20 + j)});
    }
    const Bytes frame = rle_frame(segments);
    r = decode_frame(frame, 12);
    ASSERT_EQ(r.status, 0);
    uint32_t longs[3];
    std::memcpy(longs, r.slot.data(), sizeof longs);
    EXPECT_EQ(longs[0], 0x20212223U);
    EXPECT_EQ(longs[2], 0x28292A2BU);

    // A sample width given as 4 gives the same bytes as the one guessed from
    // the 12 segments; a width of 1 keeps the bytes in segment order.
    Bytes slot(12, 0);
    EXPECT_EQ(rle_decode_frame(frame.data(), frame.size(), 4, slot.data(), slot.size()), 0);
    EXPECT_EQ(slot, r.slot);
    Bytes bytes(12, 0);
    EXPECT_EQ(rle_decode_frame(frame.data(), frame.size(), 1, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(bytes, (Bytes{0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B}));
}

TEST(RleFrame, MemoryFramesAreCheckedLikeStreamedOnes)
{
    const LogCapture log;
    Bytes slot(4, 0);
    const Bytes short_frame(40, 0);
    EXPECT_EQ(rle_decode_frame(short_frame.data(), short_frame.size(), 0, slot.data(), slot.size()), -1);
    Bytes unsound = rle_header(2, {64, 90});
    append(unsound, Bytes(8, 0));
    EXPECT_EQ(rle_decode_frame(unsound.data(), unsound.size(), 0, slot.data(), slot.size()), -1);
    EXPECT_TRUE(log.contains("error: RLE - Frame shorter than its header"));
    EXPECT_TRUE(log.contains("error: RLE - Bad segment offsets"));
    EXPECT_EQ(slot, Bytes(4, 0));
}

TEST(RleFrame, UnsoundOffsetsAreRefused)
{
    const std::vector<std::vector<uint32_t>> bad = {
        {64, 66, 65},  // do not ascend
        {64, 66, 300}, // beyond the item (length 72)
        {60, 66, 68},  // inside the header
        {64, 80, 68},  // a negative size
    };
    for (const auto& offsets : bad) {
        const LogCapture log;
        Bytes frame = rle_header(3, offsets);
        append(frame, Bytes(8, 0));
        const FrameResult r = decode_frame(frame, 8);
        EXPECT_EQ(r.status, -1) << offsets[0] << "," << offsets[1] << "," << offsets[2];
        EXPECT_TRUE(log.contains("error: RLE - Bad segment offsets"));
        EXPECT_EQ(r.slot, Bytes(8, 0));
    }
}

TEST(RleFrame, AGapBeforeTheFirstSegmentIsSteppedOver)
{
    Bytes frame = rle_header(1, {68});
    append(frame, {0xAA, 0xAA, 0xAA, 0xAA, 0x01, 0x05, 0x06});
    const FrameResult r = decode_frame(frame, 2);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.slot, (Bytes{0x05, 0x06}));
}

TEST(RleFrame, HostileSegmentsStayInsideTheSlot)
{
    const LogCapture log;
    // Each of the 3 segments decodes 256 bytes into a 30-byte slot.
    const Bytes flood{0x81, 0x11, 0x81, 0x22};
    const Bytes frame = rle_frame({flood, flood, flood});
    const FrameResult r = decode_frame(frame, 30);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.slot, Bytes(30, 0x11));
    EXPECT_TRUE(log.contains("warning: RLE - Segment overflows the frame (cut)"));
}

// ---- Frames read from an open file -----------------------------------------

namespace {

// Decodes one frame of `length` bytes from byte `start` of `file` on through
// mdc_dicom_decomp_rle, into an exact zero-filled slot.
struct FileResult {
    int16_t status;
    Bytes slot;
    long position; // the file's position afterwards
};

FileResult decode_frame_file(const Bytes& file, uint32_t length, std::size_t slot, long start = 0)
{
    const std::string temp = write_file(file);
    std::FILE* stream = std::fopen(temp.c_str(), "rb");
    EXPECT_NE(stream, nullptr);
    FileResult result{-9, {}, -1};
    if (stream == nullptr) {
        return result;
    }
    std::fseek(stream, start, SEEK_SET);
    auto exact = std::make_unique<uint8_t[]>(slot + 1);
    std::memset(exact.get(), 0, slot);
    result.status = mdc_dicom_decomp_rle(stream, exact.get(), length, slot);
    result.slot.assign(exact.get(), exact.get() + slot);
    result.position = std::ftell(stream);
    std::fclose(stream);
    return result;
}

} // namespace

TEST(RleFile, AFrameReadFromAFileDecodesAsInMemory)
{
    // Behind the frame the file goes on: the decode stops at the frame's end.
    Bytes longer = rle_header(0, {});
    append(longer, Bytes(36, 0x55));
    Bytes gap = rle_header(1, {68});
    append(gap, {0xAA, 0xAA, 0xAA, 0xAA, 0x01, 0x05, 0x06});
    Bytes unsound = rle_header(3, {64, 80, 68});
    append(unsound, Bytes(8, 0));
    const std::vector<Bytes> frames = {
        rle_frame({{0xFD, 0x10, 0x01, 0x20, 0x21}}),
        rle_frame({{0x01, 'r', 'R'}, {0xFF, 'g'}, {0x01, 'b', 'B'}}),
        rle_frame({{0x01, 0x12, 0xAB}, {0x01, 0x34, 0xCD}}),
        rle_frame({{0x81, 0x11, 0x81, 0x22}, {0x81, 0x11}, {0x81, 0x11}}),
        rle_header(0, {}),
        longer,
        gap,
        unsound,
    };
    for (const Bytes& frame : frames) {
        SCOPED_TRACE(frame.size());
        Bytes file(7 + frame.size() + 20, 0x77);
        std::fill_n(file.begin(), 7, 0x01);
        std::copy(frame.begin(), frame.end(), file.begin() + 7);
        const FrameResult memory = decode_frame(frame, 6);
        const FileResult read = decode_frame_file(file, static_cast<uint32_t>(frame.size()), 6, 7);
        EXPECT_EQ(read.status, memory.status);
        EXPECT_EQ(read.slot, memory.slot);
        EXPECT_EQ(read.position, 7 + static_cast<long>(frame.size()));
    }
}

TEST(RleFile, AFrameShorterThanItsHeaderIsRefused)
{
    const LogCapture log;
    const Bytes frame = rle_frame({{0x00, 0x01}});
    const FileResult r = decode_frame_file(frame, 40, 4);
    EXPECT_EQ(r.status, -1);
    EXPECT_TRUE(log.contains("error: RLE - Frame shorter than its header"));
}

TEST(RleFile, AFileEndingInsideTheHeaderIsAHeaderFault)
{
    // The count cut: 2 bytes left.
    {
        const LogCapture log;
        const Bytes file = rle_frame({{0x00, 0x01}});
        const FileResult r = decode_frame_file(file, 66, 4, static_cast<long>(file.size()) - 2);
        EXPECT_EQ(r.status, -1);
        EXPECT_TRUE(log.contains("error: RLE - Failure numberSegments"));
        EXPECT_EQ(r.slot, Bytes(4, 0));
    }
    // The count, then half an offset.
    {
        const LogCapture log;
        const FileResult r = decode_frame_file({0x02, 0, 0, 0, 64, 0}, 200, 4);
        EXPECT_EQ(r.status, -1);
        EXPECT_TRUE(log.contains("error: RLE - Failure offsets"));
        EXPECT_EQ(r.slot, Bytes(4, 0));
    }
    // No stream at all.
    const LogCapture log;
    uint8_t slot[2] = {};
    EXPECT_EQ(mdc_dicom_decomp_rle(nullptr, slot, 66, sizeof slot), -1);
    EXPECT_TRUE(log.contains("error: RLE - Failure numberSegments"));
}

TEST(RleFile, ASegmentCutByTheEndOfTheFileDecodesWhatIsThere)
{
    const LogCapture log;
    Bytes file(140, 0x01);
    Bytes frame = rle_header(1, {64});
    append(frame, {0x03, 0x01, 0x02}); // the item claims 4 more bytes than the file has
    append(file, frame);
    const FileResult r = decode_frame_file(file, static_cast<uint32_t>(frame.size()) + 4, 4, 140);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.slot, (Bytes{0x01, 0x02, 0x00, 0x00}));
    EXPECT_TRUE(log.contains("warning: RLE - Segment cut short by end of file"));
    EXPECT_EQ(r.position, static_cast<long>(file.size()));
}

TEST(RleFile, AHugeLengthIsBoundedByTheBytesThere)
{
    // Huge offsets with the item length to match: the segment is bounded by
    // the file, not by its claimed size.
    Bytes big = rle_header(1, {64});
    append(big, {0xFF, 0x01});
    const FileResult huge = decode_frame_file(big, 0xFFFFFF00U, 2);
    EXPECT_EQ(huge.status, 0);
    EXPECT_EQ(huge.slot, (Bytes{0x01, 0x01}));

    // The same from a pipe, whose size nobody knows before its end.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_EQ(::write(ends[1], big.data(), big.size()), static_cast<ssize_t>(big.size()));
    ::close(ends[1]);
    std::FILE* pipe = ::fdopen(ends[0], "rb");
    ASSERT_NE(pipe, nullptr);
    uint8_t slot[2] = {};
    EXPECT_EQ(mdc_dicom_decomp_rle(pipe, slot, 0xFFFFFF00U, sizeof slot), 0);
    std::fclose(pipe);
    EXPECT_EQ(Bytes(slot, slot + 2), (Bytes{0x01, 0x01}));
}
