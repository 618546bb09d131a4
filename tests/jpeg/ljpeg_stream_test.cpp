// Lossless JPEG decoding of hand-built streams: round trips through the test
// encoder, restart markers, table and header checks, hostile input.
#include "jpeg/ljpeg_internal.h"
#include "tests/jpeg/decode_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

using namespace ljpeg_test;

namespace {

// A stream up to and including the scan header, for single-component images
// with the default table; the caller appends coded data.
Bytes Header(int width, int height, int precision, int psv, int sof = 0xC3)
{
    Bytes out;
    Soi(out);
    Dht(out, {{0, DefaultTable()}});
    Sof(out, sof, precision, height, width, {{1, 0x11}});
    Sos(out, {{1, 0x00}}, psv, 0);
    return out;
}

// Decodes `stream` from memory on a state the test can inspect afterwards.
int32_t DecodeOnState(LosslessJpegState& state, const Bytes& stream, Bytes& output, int32_t depth)
{
    const LogLevel saved = log_level;
    log_level = LogLevel::silent;
    state.UseBytes(stream.data(), stream.size());
    const int32_t status = state.Run(output.data(), depth, output.size());
    log_level = saved;
    return status;
}

void ExpectRoundTrip(const Image& image, const EncodeOptions& options, int depth)
{
    const Bytes stream = Encode(image, options);
    const DecodeResult result = Decode(stream, depth, FrameBytes(image, depth));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.log, "");
    EXPECT_EQ(result.output, Expected(image, depth));
}

} // namespace

// ---- Reconstruction ------------------------------------------------------

TEST(LosslessJpegRoundTrip, EveryPredictorAtEveryPrecisionAndDepth)
{
    for (int precision : {2, 8, 12, 16}) {
        for (int psv = 1; psv <= 7; ++psv) {
            SCOPED_TRACE("precision " + std::to_string(precision) + " psv " + std::to_string(psv));
            EncodeOptions options;
            options.psv = psv;
            ExpectRoundTrip(MakeImage(23, 9, 1, precision, psv), options, precision > 8 ? 16 : 8);
            ExpectRoundTrip(MakeImage(11, 5, 3, precision, psv), options, 24);
        }
    }
}

TEST(LosslessJpegRoundTrip, SixteenBitSamplesAboveSignedRangePredictUnsigned)
{
    // Neighbours on both sides of 32768 make the signed and unsigned readings
    // of predictors 5, 6 and 7 differ.
    Image image{4, 3, 1, 16, {100, 65000, 40000, 30000, 65535, 32768, 200, 50000, 1, 60000, 32767, 65534}};
    for (int psv = 1; psv <= 7; ++psv) {
        SCOPED_TRACE(psv);
        EncodeOptions options;
        options.psv = psv;
        ExpectRoundTrip(image, options, 16);
    }
}

TEST(LosslessJpegRoundTrip, CategorySixteenIsDifference32768WithoutExtraBits)
{
    // Initial prediction 32768: sample 0 is difference -32768, sample 1
    // (predicted from 0) difference +32768; both category 16. Had the decoder
    // read 16 further bits, the samples after them would come out wrong.
    Image image{4, 2, 1, 16, {0, 32768, 32770, 1, 32768, 0, 5, 65535}};
    EncodeOptions options;
    ExpectRoundTrip(image, options, 16);
}

TEST(LosslessJpegRoundTrip, OneByOneImageIsInitialPredictionPlusDifference)
{
    Bytes stream = Header(1, 1, 8, 1);
    Bytes coded;
    BitWriter writer(coded);
    writer.Put(0b000, 3); // category 0
    writer.Flush();
    stream.insert(stream.end(), coded.begin(), coded.end());
    Eoi(stream);
    const DecodeResult result = Decode(stream, 8, 1);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, Bytes{128});
}

TEST(LosslessJpegRoundTrip, CategoryOneBitGivesPlusOrMinusOne)
{
    Bytes stream = Header(3, 1, 8, 1);
    Bytes coded;
    BitWriter writer(coded);
    writer.Put(0b001, 3); // category 1, bit 1: +1
    writer.Put(1, 1);
    writer.Put(0b001, 3); // category 1, bit 0: -1
    writer.Put(0, 1);
    writer.Put(0b001, 3);
    writer.Put(0, 1);
    writer.Flush();
    stream.insert(stream.end(), coded.begin(), coded.end());
    Eoi(stream);
    EXPECT_EQ(Decode(stream, 8, 3).output, (Bytes{129, 128, 127}));
}

TEST(LosslessJpegRoundTrip, OneColumnRowsArePredictedFromAbove)
{
    for (int psv : {1, 4, 7}) {
        EncodeOptions options;
        options.psv = psv;
        ExpectRoundTrip(MakeImage(1, 17, 1, 8, 3), options, 8);
        ExpectRoundTrip(MakeImage(1, 17, 1, 12, 3), options, 16);
    }
}

TEST(LosslessJpegRoundTrip, RowsWiderThan4096SamplesGrowTheRowBuffers)
{
    EncodeOptions options;
    options.psv = 6;
    ExpectRoundTrip(MakeImage(3000, 3, 3, 8, 5), options, 24);
    ExpectRoundTrip(MakeImage(5000, 3, 1, 16, 6), options, 16);
    // A narrow image after the wide ones still decodes.
    ExpectRoundTrip(MakeImage(7, 4, 1, 12, 7), options, 16);
}

TEST(LosslessJpegRoundTrip, SofZeroAndOneAreDecodedLosslessly)
{
    for (int sof : {0xC0, 0xC1}) {
        EncodeOptions options;
        options.sofMarker = sof;
        options.psv = 4;
        ExpectRoundTrip(MakeImage(9, 6, 1, 12, 1), options, 16);
    }
}

TEST(LosslessJpegRoundTrip, PointTransformScalesTheOutputBack)
{
    Image image = MakeImage(13, 7, 1, 12, 4);
    for (uint16_t& sample : image.samples) {
        sample = static_cast<uint16_t>(sample & ~3U);
    }
    EncodeOptions options;
    options.pointTransform = 2;
    options.psv = 7;
    ExpectRoundTrip(image, options, 16);
}

TEST(LosslessJpegRoundTrip, ByteRowsMatchTheGeneralPath)
{
    // Depth 8 on one 8-bit component takes the output-byte path; depth 16 the
    // row buffers. Both must reconstruct the same samples, undefined PSVs too.
    for (int psv = 0; psv <= 9; ++psv) {
        SCOPED_TRACE(psv);
        const Image image = MakeImage(17, 6, 1, 8, 9);
        EncodeOptions options;
        options.psv = psv;
        const Bytes stream = Encode(image, options);
        const DecodeResult bytes = Decode(stream, 8, FrameBytes(image, 8));
        const DecodeResult words = Decode(stream, 16, FrameBytes(image, 16));
        ASSERT_EQ(bytes.output.size() * 2, words.output.size());
        for (std::size_t i = 0; i < bytes.output.size(); ++i) {
            ASSERT_EQ(bytes.output[i], words.output[2 * i]) << i;
        }
        if (psv >= 1 && psv <= 7) {
            EXPECT_EQ(bytes.output, Expected(image, 8));
        }
        EXPECT_EQ(bytes.log, "");
    }
}

// ---- Output depths ---------------------------------------------------------

TEST(LosslessJpegDepth, ThreeComponentsAtEachDepth)
{
    const Image image = MakeImage(6, 4, 3, 12, 2);
    const Bytes stream = Encode(image);
    EXPECT_EQ(Decode(stream, 24, FrameBytes(image, 24)).output, Expected(image, 24));
    // Depth 8 and 16 write component 0 only.
    EXPECT_EQ(Decode(stream, 8, FrameBytes(image, 8)).output, Expected(image, 8));
    EXPECT_EQ(Decode(stream, 16, FrameBytes(image, 16)).output, Expected(image, 16));
}

TEST(LosslessJpegDepth, Depth24WithOneComponentWritesZeroForTheMissingSamples)
{
    const Image image = MakeImage(5, 3, 1, 8, 2);
    const DecodeResult result = Decode(Encode(image), 24, FrameBytes(image, 24));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, Expected(image, 24));
}

TEST(LosslessJpegDepth, Depth32IsRefusedWithoutWriting)
{
    const Image image = MakeImage(5, 3, 1, 8, 2);
    const DecodeResult result = Decode(Encode(image), 32, 60);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(Count(result.log, "error: DecodeImage():Unsupported image depth.\n"), 1U);
    EXPECT_EQ(result.output, Bytes(60, kUntouched));
}

TEST(LosslessJpegDepth, FrameLargerThanTheSlotIsRefused)
{
    const Image image = MakeImage(8, 8, 1, 12, 2);
    const DecodeResult result = Decode(Encode(image), 16, FrameBytes(image, 16) - 1);
    EXPECT_EQ(result.status, -1);
    EXPECT_NE(result.log.find("LosslessJpegDecode(): Frame larger than the output area."), std::string::npos);
    EXPECT_EQ(result.output, Bytes(FrameBytes(image, 16) - 1, kUntouched));
    // A larger slot is written at its start only.
    const DecodeResult roomy = Decode(Encode(image), 16, FrameBytes(image, 16) + 4);
    EXPECT_EQ(roomy.status, 0);
    EXPECT_EQ(roomy.output[FrameBytes(image, 16)], kUntouched);
}

// ---- Predictor selection values -------------------------------------------

TEST(LosslessJpegPredictor, UndefinedPsvLogsOncePerDecode)
{
    for (const int psv : {8, 9, 255}) {
        const Image image = MakeImage(5, 4, 1, 12, 3);
        EncodeOptions options;
        options.psv = psv;
        const DecodeResult result = Decode(Encode(image, options), 16, FrameBytes(image, 16));
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(Count(result.log, "error: QuickPredict():Warning: Undefined PSV\n\n"), 1U);
        EXPECT_EQ(result.output, Expected(image, 16));
    }
    // One column: no sample is predicted, nothing to warn about.
    EncodeOptions options;
    options.psv = 9;
    const Image column = MakeImage(1, 4, 1, 12, 3);
    EXPECT_EQ(Decode(Encode(column, options), 16, FrameBytes(column, 16)).log, "");
}

TEST(LosslessJpegPredictor, PsvZeroPredictsNothingAndLogsNothing)
{
    const Image image = MakeImage(5, 4, 1, 12, 3);
    EncodeOptions options;
    options.psv = 0;
    const DecodeResult result = Decode(Encode(image, options), 16, FrameBytes(image, 16));
    EXPECT_EQ(result.log, "");
    EXPECT_EQ(result.output, Expected(image, 16));
}

// ---- Restart markers --------------------------------------------------------

TEST(LosslessJpegRestart, MarkersInOrderRestartThePrediction)
{
    EncodeOptions options;
    options.psv = 7;
    options.restartRows = 2;
    // 21 rows: ten markers, so the numbers wrap past RST7.
    ExpectRoundTrip(MakeImage(9, 21, 1, 8, 4), options, 8);
    ExpectRoundTrip(MakeImage(9, 21, 3, 12, 4), options, 24);
    options.restartRows = 1;
    ExpectRoundTrip(MakeImage(4, 5, 1, 16, 4), options, 16);
}

TEST(LosslessJpegRestart, FillBytesBeforeTheMarkerAreSkipped)
{
    EncodeOptions options;
    options.restartRows = 2;
    options.doubleFillBeforeRestart = true; // 0xFF 0xFF 0xD0
    ExpectRoundTrip(MakeImage(6, 6, 1, 8, 4), options, 8);
}

TEST(LosslessJpegRestart, MarkerOutOfOrderStopsDecoding)
{
    const Image image = MakeImage(6, 6, 1, 8, 4);
    EncodeOptions options;
    options.restartRows = 2;
    options.restartNumbers = {0, 2};
    const DecodeResult result = Decode(Encode(image, options), 8, FrameBytes(image, 8));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(Count(result.log, "error: ProcessRestart(): Corrupt JPEG data.  Exiting...\n"), 1U);
    const Bytes expected = Expected(image, 8);
    // Rows 0 to 3 decoded, rows 4 and 5 keep what the slot held.
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + 24, result.output.begin()));
    EXPECT_EQ(Bytes(result.output.begin() + 24, result.output.end()), Bytes(12, kUntouched));
}

TEST(LosslessJpegRestart, MissingMarkerStopsDecoding)
{
    const Image image = MakeImage(6, 4, 1, 8, 4);
    Bytes stream = Encode(image); // no markers in the data...
    Bytes withDri;
    Soi(withDri);
    Dri(withDri, 12); // ...but two-row intervals declared
    withDri.insert(withDri.end(), stream.begin() + 2, stream.end());
    const DecodeResult result = Decode(withDri, 8, FrameBytes(image, 8));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(Count(result.log, "ProcessRestart(): Corrupt JPEG data.  Exiting..."), 1U);
}

TEST(LosslessJpegRestart, IntervalsShorterThanARowAreNotLookedFor)
{
    for (const auto& [interval, rows] : {std::pair{300, 0}, std::pair{1024, 2}}) {
        Bytes stream;
        Soi(stream);
        Dri(stream, interval);
        const Bytes body = Encode(MakeImage(512, 1, 1, 8, 1));
        stream.insert(stream.end(), body.begin() + 2, body.end());
        auto state = std::make_unique<LosslessJpegState>();
        Bytes output(512);
        EXPECT_EQ(DecodeOnState(*state, stream, output, 8), 0);
        EXPECT_EQ(state->ljpegDecoder.intervalRows, rows);
    }
}

// ---- Huffman tables --------------------------------------------------------

TEST(LosslessJpegHuffman, BadCodeIsLoggedAndTakenAsCategoryZero)
{
    // One code, "0" for category 0; the data is all ones.
    Table table;
    table.bits[1] = 1;
    table.values = {0};
    Bytes stream;
    Soi(stream);
    Dht(stream, {{0, table}});
    Sof(stream, 0xC3, 8, 1, 2, {{1, 0x11}});
    Sos(stream, {{1, 0x00}}, 1, 0);
    stream.insert(stream.end(), {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00});
    Eoi(stream);
    const DecodeResult result = Decode(stream, 8, 2);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(Count(result.log, "error: HuffDecode():Corrupt JPEG data: bad Huffman code.\n"), 2U);
    EXPECT_EQ(result.output, (Bytes{128, 128}));
}

TEST(LosslessJpegHuffman, SingleOneBitCodeFillsHalfTheLookahead)
{
    Table table;
    table.bits[1] = 1;
    table.values = {0};
    Bytes stream;
    Soi(stream);
    Dht(stream, {{0, table}});
    Sof(stream, 0xC3, 8, 1, 1, {{1, 0x11}});
    Sos(stream, {{1, 0x00}}, 1, 0);
    stream.push_back(0x00);
    Eoi(stream);
    auto state = std::make_unique<LosslessJpegState>();
    Bytes output(1);
    ASSERT_EQ(DecodeOnState(*state, stream, output, 8), 0);
    for (int look = 0; look < 256; ++look) {
        EXPECT_EQ(state->huffmanSlots[0].lookupLength[look], look < 0x80 ? 1 : 0) << look;
    }
}

TEST(LosslessJpegHuffman, TableOf256SymbolsIsAcceptedAnd257Refused)
{
    Table full;
    full.bits[8] = 255;
    full.bits[9] = 1;
    for (int i = 0; i < 256; ++i) {
        full.values.push_back(static_cast<uint8_t>(16 - i % 17));
    }
    full.Derive();
    EncodeOptions options;
    options.table = full;
    options.psv = 5;
    ExpectRoundTrip(MakeImage(7, 5, 1, 16, 8), options, 16);

    Table over = full;
    over.bits[9] = 2;
    over.values.push_back(0);
    options.table = over;
    const DecodeResult result = Decode(Encode(MakeImage(7, 5, 1, 16, 8), options), 16, 70);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(Count(result.log, "error: GetDht():Bogus DHT counts\n"), 1U);
}

TEST(LosslessJpegHuffman, OverfullTablesNeverReachOutsideTheirSymbols)
{
    // More codes than the code lengths can hold: the derived codes overflow
    // their lengths. Decoding random data with such tables must stay inside
    // the tables and give a defined result.
    const std::vector<std::vector<std::pair<int, int>>> shapes = {
        {{1, 3}, {9, 200}},
        {{2, 5}, {16, 251}},
        {{8, 255}, {16, 1}},
        {{1, 1}, {2, 1}, {12, 254}},
    };
    uint32_t state = 3;
    for (const auto& shape : shapes) {
        Table table;
        for (const auto& [length, count] : shape) {
            table.bits[length] = static_cast<uint8_t>(count);
            for (int i = 0; i < count; ++i) {
                table.values.push_back(static_cast<uint8_t>(i % 17));
            }
        }
        Bytes stream;
        Soi(stream);
        Dht(stream, {{0, table}});
        Sof(stream, 0xC3, 16, 6, 9, {{1, 0x11}});
        Sos(stream, {{1, 0x00}}, 7, 0);
        for (int i = 0; i < 200; ++i) {
            state = state * 1103515245U + 12345U;
            stream.push_back(static_cast<uint8_t>(state >> 16));
            if (stream.back() == 0xFF) {
                stream.push_back(0x00);
            }
        }
        Eoi(stream);
        EXPECT_EQ(Decode(stream, 16, 6 * 9 * 2).status, 0);
    }
}

TEST(LosslessJpegHuffman, TwoTablesInOneSegmentAndRedefinition)
{
    const Image image = MakeImage(5, 5, 2, 8, 1);
    Table broken; // would decode everything wrongly if it were used
    broken.bits[2] = 3;
    broken.values = {3, 2, 1};
    Bytes stream;
    Soi(stream);
    Dht(stream, {{0, broken}, {1, DefaultTable()}});
    Dht(stream, {{0, DefaultTable()}});
    Sof(stream, 0xC3, 8, 5, 5, {{1, 0x11}, {2, 0x11}});
    Sos(stream, {{1, 0x00}, {2, 0x10}}, 1, 0);
    EncodeScan(stream, image, {});
    Eoi(stream);
    EXPECT_EQ(Decode(stream, 24, FrameBytes(image, 24)).output, Expected(image, 24));
}

TEST(LosslessJpegHuffman, TableClassOneAndBadIndexAreRefused)
{
    Bytes stream;
    Soi(stream);
    Dht(stream, {{0x10, DefaultTable()}});
    DecodeResult result = Decode(stream, 8, 1);
    EXPECT_EQ(result.status, -1);
    EXPECT_NE(result.log.find("GetDht():Huffman table for lossless JPEG is not defined.\n"), std::string::npos);
    EXPECT_NE(result.log.find("GetDht():Bogus DHT index\n"), std::string::npos);

    stream.clear();
    Soi(stream);
    Dht(stream, {{4, DefaultTable()}});
    result = Decode(stream, 8, 1);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(Count(result.log, "GetDht():Bogus DHT index"), 1U);
    EXPECT_EQ(Count(result.log, "not defined"), 0U);
}

TEST(LosslessJpegHuffman, UndefinedOrOutOfRangeTableSelectorIsRefused)
{
    for (int selector : {0x20, 0x50, 0xF0}) {
        Bytes stream;
        Soi(stream);
        Dht(stream, {{0, DefaultTable()}});
        Sof(stream, 0xC3, 8, 2, 2, {{1, 0x11}});
        Sos(stream, {{1, selector}}, 1, 0);
        stream.insert(stream.end(), 8, 0);
        Eoi(stream);
        const DecodeResult result = Decode(stream, 8, 4);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(Count(result.log, "error: HuffDecoderInit(): Use of undefined Huffman table.\n"), 1U);
        EXPECT_EQ(result.output, Bytes(4, kUntouched));
    }
}

TEST(LosslessJpegHuffman, CategoryAbove16IsRefused)
{
    Table table = DefaultTable();
    table.values[5] = 17;
    Bytes stream = Header(2, 2, 8, 1);
    stream.erase(stream.begin() + 2, stream.end());
    Dht(stream, {{0, table}});
    Sof(stream, 0xC3, 8, 2, 2, {{1, 0x11}});
    Sos(stream, {{1, 0x00}}, 1, 0);
    stream.insert(stream.end(), 8, 0x55);
    const DecodeResult result = Decode(stream, 8, 4);
    EXPECT_EQ(result.status, -1);
    EXPECT_NE(result.log.find("HuffDecoderInit(): Difference category above 16"), std::string::npos);
}

// ---- Headers ---------------------------------------------------------------

TEST(LosslessJpegHeader, NotAJpegStream)
{
    const DecodeResult result = Decode(Bytes{0xFF, 0xD9, 0xFF, 0xD8}, 8, 1);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(Count(result.log, "error: ReadFileHeader():Not a JPEG file.\n"), 1U);
}

TEST(LosslessJpegHeader, DqtIsReportedAndScannedThrough)
{
    const Image image = MakeImage(6, 4, 1, 8, 2);
    const Bytes body = Encode(image);
    Bytes stream;
    Soi(stream);
    // A DQT whose table bytes hold 0xFF 0x00 (not a marker).
    stream.insert(stream.end(), {0xFF, 0xDB, 0x00, 0x07, 0x00, 0x10, 0xFF, 0x00, 0x20});
    stream.insert(stream.end(), body.begin() + 2, body.end());
    const DecodeResult result = Decode(stream, 8, FrameBytes(image, 8));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(Count(result.log, "error: ProcessTables():Not a lossless JPEG file.\n"), 1U);
    EXPECT_EQ(result.output, Expected(image, 8));
}

TEST(LosslessJpegHeader, ApplicationSegmentsAndStrayMarkersAreSkipped)
{
    const Image image = MakeImage(6, 4, 1, 8, 2);
    const Bytes body = Encode(image);
    Bytes stream;
    Soi(stream);
    stream.insert(stream.end(), {0xFF, 0xE0, 0x00, 0x06, 0xFF, 0xDA, 0xFF, 0xC0}); // APP0 holding marker bytes
    stream.insert(stream.end(), {0xFF, 0xFE, 0x00, 0x03, 0xFF});                   // COM
    stream.insert(stream.end(), {0xFF, 0xD3});                                     // RST3
    stream.insert(stream.end(), body.begin() + 2, body.end());
    const DecodeResult result = Decode(stream, 8, FrameBytes(image, 8));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(Count(result.log, "ProcessTables():Warning: unexpected marker."), 1U);
    EXPECT_EQ(result.output, Expected(image, 8));
}

TEST(LosslessJpegHeader, UnsupportedFrameTypeIsRefused)
{
    const Image image = MakeImage(4, 4, 1, 8, 2);
    for (int sof : {0xC2, 0xC5, 0xCB}) {
        EncodeOptions options;
        options.sofMarker = sof;
        const DecodeResult result = Decode(Encode(image, options), 8, 16);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(Count(result.log, "error: ReadFileHeader():Unsupported SOF marker type.\n"), 1U);
        EXPECT_EQ(Count(result.log, "GetSos():Invalid component number in SOS."), 1U);
        EXPECT_EQ(result.output, Bytes(16, kUntouched));
    }
}

TEST(LosslessJpegHeader, PrecisionTwoToSixteenOnly)
{
    for (int precision : {1, 17, 0}) {
        const DecodeResult result = Decode(Header(2, 2, precision, 1), 16, 8);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(Count(result.log, "error: GetSof():Unsupported JPEG data precision.\n"), 1U);
    }
}

TEST(LosslessJpegHeader, FrameChecks)
{
    struct Case {
        Bytes frame;
        const char* message;
    };
    Bytes empty;
    Sof(empty, 0xC3, 8, 0, 4, {{1, 0x11}});
    Bytes badLength;
    Sof(badLength, 0xC3, 8, 4, 4, {{1, 0x11}});
    badLength[3] = 12;
    Bytes five;
    Sof(five, 0xC3, 8, 4, 4, {{1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}, {5, 0x11}});
    Bytes subsampled;
    Sof(subsampled, 0xC3, 8, 4, 4, {{1, 0x11}, {2, 0x21}});
    const Case cases[] = {
        {empty, "GetSof():Empty JPEG image (DNL not supported)."},
        {badLength, "GetSof():Bogus SOF length."},
        {five, "GetSof():Too many components in frame"},
        // The component that is sampled 2 by 1 is not even in the scan.
        {subsampled, "DecoderStructInit(): Downsampling is not supported. \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Bytes stream;
        Soi(stream);
        Dht(stream, {{0, DefaultTable()}});
        stream.insert(stream.end(), c.frame.begin(), c.frame.end());
        Sos(stream, {{1, 0x00}}, 1, 0);
        stream.insert(stream.end(), 16, 0);
        Eoi(stream);
        const DecodeResult result = Decode(stream, 8, 16);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(Count(result.log, c.message), 1U);
        EXPECT_EQ(result.output, Bytes(16, kUntouched));
    }
}

TEST(LosslessJpegHeader, ScanChecks)
{
    struct Case {
        Bytes scan;
        const char* message;
    };
    Bytes unknown;
    Sos(unknown, {{7, 0x00}}, 1, 0);
    Bytes badLength;
    Sos(badLength, {{1, 0x00}}, 1, 0);
    badLength[3] = 9;
    Bytes none;
    Sos(none, {}, 1, 0);
    Bytes pointTransform;
    Sos(pointTransform, {{1, 0x00}}, 1, 8);
    Bytes dri;
    dri.insert(dri.end(), {0xFF, 0xDD, 0x00, 0x05, 0, 1, 0});
    const Case cases[] = {
        {unknown, "GetSos():Invalid component number in SOS."},
        {badLength, "GetSos():Bogus SOS length."},
        {none, "GetSos():Bogus SOS length."},
        {pointTransform, "DecoderStructInit(): Point transform not below the precision."},
        {dri, "GetDri():Bogus length in DRI."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Bytes stream;
        Soi(stream);
        Dht(stream, {{0, DefaultTable()}});
        Sof(stream, 0xC3, 8, 4, 4, {{1, 0x11}});
        stream.insert(stream.end(), c.scan.begin(), c.scan.end());
        stream.insert(stream.end(), 16, 0);
        Eoi(stream);
        const DecodeResult result = Decode(stream, 8, 16);
        EXPECT_EQ(result.status, -1);
        EXPECT_EQ(Count(result.log, c.message), 1U);
    }
}

TEST(LosslessJpegHeader, EndOfImageOrOtherMarkerBeforeTheScan)
{
    Bytes stream;
    Soi(stream);
    Dht(stream, {{0, DefaultTable()}});
    Sof(stream, 0xC3, 8, 4, 4, {{1, 0x11}});
    Bytes eoi = stream;
    Eoi(eoi);
    DecodeResult result = Decode(eoi, 8, 16);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.log, "");

    Bytes sof = stream;
    Sof(sof, 0xC3, 8, 4, 4, {{1, 0x11}});
    result = Decode(sof, 8, 16);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(Count(result.log, "error: ReadScanHeader():Unsupported marker type.\n"), 1U);
}

// ---- Hostile and truncated input -------------------------------------------

TEST(LosslessJpegInput, EveryTruncationIsHandled)
{
    // Each prefix is read in place from an exactly sized copy, so that the
    // sanitizers see any read beyond its last byte.
    const Image image = MakeImage(7, 6, 3, 12, 2);
    EncodeOptions options;
    options.restartRows = 2;
    const Bytes stream = Encode(image, options);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        const Bytes prefix(stream.begin(), stream.begin() + static_cast<long>(cut));
        const DecodeResult result = Decode(prefix, 24, FrameBytes(image, 24));
        EXPECT_TRUE(result.status == 0 || result.status == -1);
        if (result.status == -1) {
            EXPECT_NE(result.log, "");
        }
    }
    EXPECT_EQ(Decode(stream, 24, FrameBytes(image, 24)).output, Expected(image, 24));
}

TEST(LosslessJpegInput, TruncatedHeadersAreReportedAsPrematureEnd)
{
    Bytes stream = Header(4, 4, 8, 1);
    stream.resize(stream.size() - 2); // cut inside the scan header
    DecodeResult result = Decode(stream, 8, 16);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(Count(result.log, "GetSos():Premature end of JPEG data."), 1U);

    Bytes soiOnly;
    Soi(soiOnly);
    result = Decode(soiOnly, 8, 16);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(Count(result.log, "ProcessTables():Premature end of JPEG data."), 1U);
}

TEST(LosslessJpegInput, DataEndingEarlyDecodesFromZeroBits)
{
    // All coded data missing: every code is read from zero bits (category 0),
    // so each sample repeats the initial prediction.
    const DecodeResult result = Decode(Header(3, 2, 8, 1), 8, 6);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, Bytes(6, 128));
    EXPECT_EQ(result.log, "");
}

// ---- Reading the fragment from a file ---------------------------------------

TEST(LosslessJpegFile, TheFileEntryDecodesAsFromMemoryAndLeavesTheFileAfterTheFragment)
{
    const Image image = MakeImage(7, 6, 3, 12, 2);
    EncodeOptions options;
    options.restartRows = 2;
    const Bytes stream = Encode(image, options);
    for (const std::size_t cut :
         {std::size_t{0}, std::size_t{2}, std::size_t{40}, stream.size() / 2, stream.size() - 2, stream.size()}) {
        SCOPED_TRACE(cut);
        const Bytes prefix(stream.begin(), stream.begin() + static_cast<long>(cut));
        const DecodeResult memory = Decode(prefix, 24, FrameBytes(image, 24));
        const DecodeResult file = DecodeFile(prefix, 24, FrameBytes(image, 24));
        EXPECT_EQ(file.status, memory.status);
        EXPECT_EQ(file.output, memory.output);
        EXPECT_EQ(Messages(file.log), Messages(memory.log));
        EXPECT_EQ(file.position, static_cast<long>(cut));
    }
}

TEST(LosslessJpegInput, ShortReadCountsAsEndOfData)
{
    // The fragment claims more bytes than the file holds (7 follow the stream).
    const Image image = MakeImage(5, 5, 1, 8, 2);
    Bytes stream = Encode(image);
    stream.resize(stream.size() - 2); // drop EOI
    const DecodeResult result =
        DecodeFile(stream, 8, FrameBytes(image, 8), static_cast<int32_t>(stream.size()) + 100);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, Expected(image, 8));
    EXPECT_EQ(result.position, static_cast<long>(stream.size()) + 7);
}

TEST(LosslessJpegInput, NegativeLengthIsRefused)
{
    const DecodeResult result = DecodeFile(Header(2, 2, 8, 1), 8, 4, -5 - 0x7FFF);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.position, 0);
    EXPECT_EQ(Count(result.log, "error: LosslessJpegDecode(): Negative fragment length.\n"), 1U);
}

TEST(LosslessJpegInput, GarbageStreamsNeverCrash)
{
    // Random bytes after a valid header and random headers: only the absence of
    // out-of-bounds access (under the sanitizers) and a defined result matter.
    uint32_t state = 7;
    auto next = [&state] {
        state = state * 1103515245U + 12345U;
        return static_cast<uint8_t>(state >> 16);
    };
    for (int round = 0; round < 300; ++round) {
        Bytes stream = round % 2 == 0 ? Header(9, 7, 8 + round % 9, round % 10) : Bytes{0xFF, 0xD8};
        const int extra = 1 + round % 97;
        for (int i = 0; i < extra; ++i) {
            const uint8_t byte = next();
            stream.push_back(byte);
            if (round % 3 == 0 && byte == 0x10) {
                stream.insert(stream.end(), {0xFF, static_cast<uint8_t>(0xC0 + next() % 32)});
            }
        }
        const DecodeResult result = Decode(stream, 8 * (1 + round % 3), 9 * 7 * 3);
        EXPECT_TRUE(result.status == 0 || result.status == -1);
    }
}

// ---- Decoding from memory, on several threads -------------------------------

TEST(LosslessJpegMemory, BufferDecodesAreSafeOnSeveralThreads)
{
    // Different frame sizes, precisions, predictors and restart intervals, so
    // that any state shared between decodes would mix them up.
    std::vector<Image> images;
    std::vector<Bytes> streams;
    for (int i = 0; i < 6; ++i) {
        images.push_back(
            MakeImage(40 + 13 * i, 30 + 7 * i, 1 + i % 3, std::min(8 + 2 * i, 16), static_cast<uint32_t>(i)));
        EncodeOptions options;
        options.psv = 1 + i;
        options.restartRows = i % 2 == 0 ? 0 : 3;
        streams.push_back(Encode(images.back(), options));
    }
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const int depth = images[i].components == 1 ? 16 : 24;
        Bytes output(FrameBytes(images[i], depth), kUntouched);
        ASSERT_EQ(
            LosslessJpegDecodeBuffer(streams[i].data(), streams[i].size(), output.data(), depth, output.size()),
            0);
        EXPECT_EQ(output, Expected(images[i], depth));
    }

    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 40; ++round) {
                const std::size_t i = static_cast<std::size_t>(t + round) % streams.size();
                const int depth = images[i].components == 1 ? 16 : 24;
                Bytes output(FrameBytes(images[i], depth));
                const int32_t status = LosslessJpegDecodeBuffer(streams[i].data(), streams[i].size(),
                                                                output.data(), depth, output.size());
                failures[static_cast<std::size_t>(t)] +=
                    status != 0 || output != Expected(images[i], depth) ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

// ---- Decoding in bands of rows --------------------------------------------

namespace {

struct Bands {
    Bytes frame;
    std::vector<std::size_t> sizes;
    std::size_t refuseAt = SIZE_MAX;
};

bool TakeBand(void* context, const uint8_t* rows, std::size_t size)
{
    auto& bands = *static_cast<Bands*>(context);
    if (bands.sizes.size() == bands.refuseAt) {
        return false;
    }
    bands.sizes.push_back(size);
    bands.frame.insert(bands.frame.end(), rows, rows + size);
    return true;
}

} // namespace

TEST(LosslessJpegBands, BandsAddUpToTheWholeFrameDecode)
{
    // Frames of several 256 KiB bands, the 8-bit one on the path that
    // predicts from the output rows above, one with restart intervals.
    struct Case {
        Image image;
        int depth;
        int restartRows;
    };
    const std::vector<Case> cases = {{MakeImage(1000, 300, 1, 8, 3), 8, 0},
                                     {MakeImage(700, 400, 1, 12, 4), 16, 7},
                                     {MakeImage(300, 400, 3, 8, 5), 24, 0},
                                     {MakeImage(5, 3, 1, 16, 6), 16, 0}};
    for (const Case& c : cases) {
        EncodeOptions options;
        options.psv = 4;
        options.restartRows = c.restartRows;
        const Bytes stream = Encode(c.image, options);
        Bands bands;
        ASSERT_EQ(LosslessJpegDecodeBands(stream.data(), stream.size(), c.depth, FrameBytes(c.image, c.depth),
                                          TakeBand, &bands),
                  0);
        EXPECT_EQ(bands.frame, Expected(c.image, c.depth)) << c.image.width;
        for (const std::size_t size : bands.sizes) {
            EXPECT_EQ(size % (FrameBytes(c.image, c.depth) / static_cast<std::size_t>(c.image.height)), 0U);
        }
    }
}

TEST(LosslessJpegBands, AnEarlyStopEndsInZerosARefusalStops)
{
    const Image image = MakeImage(6, 6, 1, 8, 4);
    EncodeOptions options;
    options.restartRows = 2;
    options.restartNumbers = {0, 2}; // rows 4 and 5 are never decoded
    const Bytes stream = Encode(image, options);
    Bands bands;
    ASSERT_EQ(LosslessJpegDecodeBands(stream.data(), stream.size(), 8, 36, TakeBand, &bands), 0);
    Bytes expected = Expected(image, 8);
    std::fill(expected.begin() + 24, expected.end(), uint8_t{0});
    EXPECT_EQ(bands.frame, expected);

    // Decoded into a slot, the count of bytes written says where it stopped.
    Bytes slot(36, kUntouched);
    std::size_t written = 0;
    ASSERT_EQ(LosslessJpegDecodeBuffer(stream.data(), stream.size(), slot.data(), 8, slot.size(), &written), 0);
    EXPECT_EQ(written, 24U);

    const Bytes large = Encode(MakeImage(1000, 600, 1, 8, 2));
    Bands refusing;
    refusing.refuseAt = 1;
    EXPECT_EQ(LosslessJpegDecodeBands(large.data(), large.size(), 8, 600000, TakeBand, &refusing), -1);
    EXPECT_EQ(refusing.sizes.size(), 1U);
    Bands small;
    EXPECT_EQ(LosslessJpegDecodeBands(large.data(), large.size(), 8, 599999, TakeBand, &small), -1);
    EXPECT_TRUE(small.sizes.empty());
}
