// Single-image extraction through its public operations, on hand-built files.
#include "image/single.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <optional>

#include "reader/dicom.h"
#include "test_support.h"

using namespace image_test;

namespace {

const std::string explicit_little = "1.2.840.10008.1.2.1";
const std::string implicit_little = "1.2.840.10008.1.2";
const std::string explicit_big = "1.2.840.10008.1.2.2";
const std::string rle = "1.2.840.10008.1.2.5";
const std::string jpeg_lossless = "1.2.840.10008.1.2.4.70";
const std::string jpeg_lossy = "1.2.840.10008.1.2.4.50";

// What one dicom_open + dicom_single gave, copied out before the record is
// released, with the log lines written meanwhile.
struct Extraction {
    std::optional<single_image> record; // nothing when dicom_single failed
    Bytes pixels;                       // pixel_bytes bytes of `pixels`
    bool pixels_null = true;
    bool trailing_zeros = false; // the 4 bytes after the image data
    std::string log;
};

Extraction extract(const Bytes& file)
{
    const std::string temp = write_file(file);
    const LogCapture log(LogLevel::warning);
    Extraction result;
    EXPECT_EQ(dicom_open(temp.c_str()), 0);
    const single_image* image = dicom_single();
    if (image != nullptr) {
        result.record = *image;
        result.pixels_null = image->pixels == nullptr;
        if (image->pixels != nullptr) {
            result.pixels.assign(image->pixels, image->pixels + image->pixel_bytes);
            const uint8_t* tail = image->pixels + image->pixel_bytes;
            result.trailing_zeros = tail[0] == 0 && tail[1] == 0 && tail[2] == 0 && tail[3] == 0;
        }
    }
    dicom_single_free();
    dicom_close();
    result.log = log.text();
    return result;
}

bool logged(const Extraction& e, const std::string& message) { return e.log.find(message) != std::string::npos; }

Bytes counting(std::size_t n)
{
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    return bytes;
}

uint16_t word_at(const Bytes& bytes, std::size_t index)
{
    uint16_t word = 0;
    std::memcpy(&word, bytes.data() + 2 * index, 2);
    return word;
}

} // namespace

TEST(SingleImage, DefaultsWithoutTheDescribingElements)
{
    DicomBytes file = dicom_file(explicit_little);
    file.us(0x0028, 0x0010, 2).us(0x0028, 0x0011, 2).us(0x0028, 0x0100, 8);
    file.element(0x7FE0, 0x0010, "OB", {1, 2, 3, 4});
    const Extraction e = extract(file.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(e.record->photometric, 0);
    EXPECT_EQ(e.record->frames, 1);
    EXPECT_EQ(e.record->samples_per_pixel, 1);
    EXPECT_EQ(e.record->pixel_bytes, 4U);
    EXPECT_EQ(e.pixels, (Bytes{1, 2, 3, 4}));
    EXPECT_TRUE(e.trailing_zeros);
    EXPECT_FALSE(logged(e, "Incorrect PixelData length"));
}

TEST(SingleImage, CollectsEveryDescribingElement)
{
    DicomBytes file = dicom_file(explicit_little);
    file.text(0x0018, 0x0050, "DS", " 2.5");
    file.text(0x0020, 0x1041, "DS", "-12.75");
    file.us(0x0028, 0x0002, 3);
    file.text(0x0028, 0x0004, "CS", "RGB");
    file.us(0x0028, 0x0006, 1);
    file.text(0x0028, 0x0008, "IS", " 2 ");
    file.us(0x0028, 0x0010, 1).us(0x0028, 0x0011, 2);
    file.text(0x0028, 0x0030, "DS", "0.5\\0.75");
    file.us(0x0028, 0x0100, 8).us(0x0028, 0x0101, 7).us(0x0028, 0x0102, 6).us(0x0028, 0x0103, 1);
    file.element(0x7FE0, 0x0010, "OB", counting(12));
    const Extraction e = extract(file.byte_vector());
    ASSERT_TRUE(e.record);
    const single_image& r = *e.record;
    EXPECT_FLOAT_EQ(r.slice_thickness, 2.5F);
    EXPECT_FLOAT_EQ(r.slice_location, -12.75F);
    EXPECT_EQ(r.samples_per_pixel, 3);
    EXPECT_EQ(r.photometric, 3);
    EXPECT_EQ(r.planar_configuration, 1);
    EXPECT_EQ(r.frames, 2);
    EXPECT_EQ(r.rows, 1);
    EXPECT_EQ(r.columns, 2);
    EXPECT_FLOAT_EQ(r.pixel_spacing, 0.5F);
    EXPECT_EQ(r.bits_allocated, 8);
    EXPECT_EQ(r.bits_stored, 7);
    EXPECT_EQ(r.high_bit, 6);
    EXPECT_EQ(r.pixel_representation, 1);
    EXPECT_EQ(e.pixels, counting(12));
    EXPECT_FALSE(logged(e, "Incorrect PixelData length"));
}

TEST(SingleImage, PhotometricNamesMatchByPrefixAfterTrimming)
{
    const std::vector<std::pair<std::string, int32_t>> cases = {
        {"MONOCHROME2 ", 0},
        {"MONOCHROME1", 1},
        {"PALETTE COLOR", 2},
        {"  HSV", 4},
        {"ARGB", 5},
        {"CMYK", 6},
        {"RGBX", 3},
        {"YBR_FULL", 8},
        {"monochrome2", 7},
        {"YBR_FULL_422", 9},
        {"YBR_PARTIAL_420 ", 10},
        {"YBR_RCT", 11},
        {"YBR_ICT", 12},
        {"YBR_PARTIAL_422", 7},
    };
    for (const auto& [name, index] : cases) {
        DicomBytes file = dicom_file(explicit_little);
        file.text(0x0028, 0x0004, "CS", name).us(0x0028, 0x0100, 8);
        file.element(0x7FE0, 0x0010, "OB", {});
        const Extraction e = extract(file.byte_vector());
        ASSERT_TRUE(e.record) << name;
        EXPECT_EQ(e.record->photometric, index) << name;
        EXPECT_EQ(logged(e, "warning: Unknown PhotometricInterpretation."), index == 7) << name;
    }
    EXPECT_STREQ(photometric_names[7], "UNKNOWN");
}

TEST(SingleImage, PaletteDescriptorsAndDataAreKept)
{
    DicomBytes file = dicom_file(explicit_little);
    file.us(0x0028, 0x1101, {256, 0xFFF0, 16});
    file.us(0x0028, 0x1102, {4, 0, 8});
    file.us(0x0028, 0x1103, {4, 0}); // wrong VM
    file.us(0x0028, 0x1201, {1, 2});
    file.us(0x0028, 0x1201, {10, 20, 30}); // a later element replaces the first
    file.us(0x0028, 0x1203, {7});
    file.us(0x0028, 0x0100, 8);
    file.element(0x7FE0, 0x0010, "OB", {});

    const std::string temp = write_file(file.byte_vector());
    const LogCapture log(LogLevel::warning);
    ASSERT_EQ(dicom_open(temp.c_str()), 0);
    const single_image* image = dicom_single();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->palette[0].entries, 256);
    EXPECT_EQ(image->palette[0].first_mapped, 0xFFF0);
    EXPECT_EQ(image->palette[0].entry_bits, 16);
    EXPECT_EQ(image->palette[1].entries, 4);
    EXPECT_EQ(image->palette[2].entries, 0);
    EXPECT_TRUE(log.contains("warning: Wrong VM for PaletteColorLookupTableDescriptor."));
    ASSERT_NE(image->palette[0].data, nullptr);
    EXPECT_EQ(image->palette[0].data[2], 30);
    EXPECT_EQ(image->palette[1].data, nullptr);
    ASSERT_NE(image->palette[2].data, nullptr);
    EXPECT_EQ(image->palette[2].data[0], 7);
    EXPECT_EQ(image->pixels, nullptr); // empty pixel data
    dicom_single_free();
    EXPECT_EQ(image->palette[0].data, nullptr);
    EXPECT_EQ(image->frames, 0);
    dicom_single_free(); // a second release does nothing
    dicom_close();
}

TEST(SingleImage, IconImageSequenceNeverTouchesTheRecord)
{
    DicomBytes file = dicom_file(explicit_little);
    file.us(0x0028, 0x0010, 2);
    // Another sequence before the pixel data: its Rows counts.
    file.header(0x0008, 0x1140, "SQ").item().us(0x0028, 0x0011, 3).item_end().sequence_end();
    file.header(0x0088, 0x0200, "SQ").item();
    file.us(0x0028, 0x0010, 99).us(0x0028, 0x0100, 16);
    file.element(0x7FE0, 0x0010, "OB", {9, 9}); // the icon's own pixels
    // A sequence nested in the icon's item: its elements are ordinary.
    file.header(0x0040, 0xA730, "SQ").item().us(0x0028, 0x0101, 5).item_end().sequence_end();
    file.item_end().sequence_end();
    file.us(0x0028, 0x0100, 8);
    file.element(0x7FE0, 0x0010, "OB", counting(6));
    const Extraction e = extract(file.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(e.record->rows, 2);
    EXPECT_EQ(e.record->columns, 3);
    EXPECT_EQ(e.record->bits_allocated, 8);
    EXPECT_EQ(e.record->bits_stored, 5);
    EXPECT_EQ(e.pixels, counting(6));
}

TEST(SingleImage, DisplayAttributesAreCollectedInEveryEncoding)
{
    for (const auto& [syntax, encoding] :
         {std::pair{explicit_little, Encoding::ExplicitLittle},
          std::pair{implicit_little, Encoding::ImplicitLittle}, std::pair{explicit_big, Encoding::ExplicitBig}}) {
        DicomBytes file = dicom_file(syntax, encoding);
        file.text(0x0008, 0x0060, "CS", "CT");
        // A window inside another sequence is not the image's.
        file.header(0x0008, 0x1140, "SQ").item().text(0x0028, 0x1050, "DS", "7").item_end().sequence_end();
        file.text(0x0028, 0x1050, "DS", "40\\-600.5").text(0x0028, 0x1051, "DS", "400\\1500");
        file.text(0x0028, 0x1055, "LO", "SOFT\\LUNG").text(0x0028, 0x1056, "CS", "SIGMOID");
        // Two Modality LUT items (the first alone counts) and two VOI LUTs.
        file.header(0x0028, 0x3000, "SQ");
        file.item().us(0x0028, 0x3002, {2, 0, 16}).element(0x0028, 0x3006, "OW", file.n16(7) + file.n16(0x1234));
        file.text(0x0028, 0x3004, "LO", "OD").item_end();
        file.item().us(0x0028, 0x3002, {9, 9, 9}).item_end().sequence_end();
        file.header(0x0028, 0x3010, "SQ");
        file.item().us(0x0028, 0x3002, {1, 5, 8}).us(0x0028, 0x3006, {200}).text(0x0028, 0x3003, "LO", "A");
        file.item_end().item().text(0x0028, 0x3003, "LO", "B").item_end().sequence_end();
        file.text(0x2050, 0x0020, "CS", "INVERSE");
        file.us(0x6002, 0x0010, 3)
            .us(0x6002, 0x0011, 4)
            .element(0x6002, 0x0050, "SS", file.n16(0xFFFE) + file.n16(2));
        file.text(0x6002, 0x0015, "IS", "2").us(0x6002, 0x0051, 3).element(0x6002, 0x3000, "OW", file.n16(0x8001));
        file.us(0x6000, 0x0100, 16).us(0x6000, 0x0102, 13);
        file.us(0x0028, 0x0010, 1).us(0x0028, 0x0011, 1).us(0x0028, 0x0100, 8);
        file.element(0x7FE0, 0x0010, "OB", {1, 0});
        const Extraction e = extract(file.byte_vector());
        ASSERT_TRUE(e.record) << syntax;
        const DisplayAttributes& d = e.record->display;
        EXPECT_EQ(d.modality, "CT");
        EXPECT_EQ(d.window_centers, (std::vector<double>{40, -600.5})) << syntax;
        EXPECT_EQ(d.window_widths, (std::vector<double>{400, 1500}));
        EXPECT_EQ(d.window_names, (std::vector<std::string>{"SOFT", "LUNG"}));
        EXPECT_EQ(d.voi_lut_function, "SIGMOID");
        ASSERT_TRUE(d.modality_lut);
        EXPECT_EQ(d.modality_lut->descriptor, (std::vector<uint16_t>{2, 0, 16}));
        EXPECT_EQ(d.modality_lut->data, (std::vector<uint16_t>{7, 0x1234})) << syntax;
        EXPECT_EQ(d.modality_lut->type, "OD");
        ASSERT_EQ(d.voi_luts.size(), 2U);
        EXPECT_EQ(d.voi_luts[0].data, (std::vector<uint16_t>{200}));
        EXPECT_EQ(d.voi_luts[0].explanation, "A");
        EXPECT_TRUE(d.voi_luts[1].descriptor.empty());
        EXPECT_EQ(d.presentation_lut_shape, "INVERSE");
        ASSERT_EQ(d.overlays.size(), 2U);
        EXPECT_EQ(d.overlays[0].group, 0x6000) << "in group order";
        EXPECT_EQ(d.overlays[0].bit_position, 13);
        EXPECT_FALSE(d.overlays[0].data);
        const OverlayItem& plane = d.overlays[1];
        EXPECT_EQ(plane.rows, 3);
        EXPECT_EQ(plane.columns, 4);
        EXPECT_EQ(plane.origin_row, -2);
        EXPECT_EQ(plane.origin_column, 2);
        EXPECT_EQ(plane.frames, 2);
        EXPECT_EQ(plane.first_frame, 3);
        EXPECT_EQ(plane.data, (std::optional<std::vector<uint8_t>>{{0x01, 0x80}})) << syntax;
    }
}

TEST(SingleImage, PixelDataGroupsEvenAreTakenOddAreSkipped)
{
    DicomBytes file = dicom_file(explicit_little);
    file.image(1, 2, 8);
    file.element(0x7F11, 0x0010, "OB", {0xAA, 0xAA});
    file.element(0x7F10, 0x0010, "OB", {1, 2});
    file.us(0x0028, 0x0010, 50); // after the pixel data: never read
    file.element(0x7FE0, 0x0010, "OB", {3, 4});
    const Extraction e = extract(file.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(e.pixels, (Bytes{1, 2}));
    EXPECT_EQ(e.record->rows, 1);

    DicomBytes odd_only = dicom_file(explicit_little);
    odd_only.image(1, 2, 8).element(0x7F11, 0x0010, "OB", {1, 2});
    EXPECT_FALSE(extract(odd_only.byte_vector()).record);
}

TEST(SingleImage, WrongPixelVrIsFixedBeforeLoading)
{
    // Big endian: OB with 16 bits allocated is loaded as words in host order.
    DicomBytes words = dicom_file(explicit_big, Encoding::ExplicitBig);
    words.image(1, 2, 16).element(0x7FE0, 0x0010, "OB", {0x12, 0x34, 0xAB, 0xCD});
    Extraction e = extract(words.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_TRUE(logged(e, "warning: Incorrect OB value representation (fixed)"));
    EXPECT_EQ(word_at(e.pixels, 0), 0x1234);
    EXPECT_EQ(word_at(e.pixels, 1), 0xABCD);

    // Little endian OW with 8 bits allocated is loaded byte for byte.
    DicomBytes bytes = dicom_file(explicit_little);
    bytes.image(1, 4, 8).element(0x7FE0, 0x0010, "OW", {1, 2, 3, 4});
    e = extract(bytes.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_TRUE(logged(e, "warning: Incorrect OW value representation (fixed)"));
    EXPECT_EQ(e.pixels, (Bytes{1, 2, 3, 4}));

    // Big endian OW words hold two 8-bit samples, the first in the low byte.
    DicomBytes big_bytes = dicom_file(explicit_big, Encoding::ExplicitBig);
    big_bytes.image(1, 4, 8).element(0x7FE0, 0x0010, "OW", {1, 2, 3, 4});
    e = extract(big_bytes.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(e.pixels, (Bytes{2, 1, 4, 3}));

    // Big endian 32-bit samples come out in host order whole.
    for (const char* vr : {"OW", "OL"}) {
        DicomBytes longs = dicom_file(explicit_big, Encoding::ExplicitBig);
        longs.image(1, 1, 32).element(0x7FE0, 0x0010, vr, {0x12, 0x34, 0x56, 0x78});
        e = extract(longs.byte_vector());
        ASSERT_TRUE(e.record) << vr;
        uint32_t sample = 0;
        std::memcpy(&sample, e.pixels.data(), 4);
        EXPECT_EQ(sample, 0x12345678U) << vr;
    }

    // Implicit VR: 16 and 12 bits load as words, anything else as bytes.
    DicomBytes implicit = dicom_file(implicit_little, Encoding::ImplicitLittle);
    implicit.image(1, 2, 16).element(0x7FE0, 0x0010, nullptr, {0x34, 0x12, 0xCD, 0xAB});
    e = extract(implicit.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(word_at(e.pixels, 0), 0x1234);
    EXPECT_FALSE(logged(e, "warning"));
}

TEST(SingleImage, NativeLengthIsCheckedButDataKeptAsStored)
{
    DicomBytes short_data = dicom_file(explicit_little);
    short_data.image(4, 4, 8).element(0x7FE0, 0x0010, "OB", {1, 2, 3, 4});
    Extraction e = extract(short_data.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_TRUE(logged(e, "warning: Incorrect PixelData length"));
    EXPECT_EQ(e.pixels, (Bytes{1, 2, 3, 4}));

    // 12 bits allocated count as 1.5 bytes: 2 x 2 samples in 6 bytes.
    DicomBytes packed = dicom_file(explicit_little);
    packed.image(2, 2, 12).element(0x7FE0, 0x0010, "OW", counting(6));
    e = extract(packed.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_FALSE(logged(e, "Incorrect PixelData length"));

    // Products that overflow 32 bits are compared exactly.
    DicomBytes huge = dicom_file(explicit_little);
    huge.image(65535, 65535, 16).text(0x0028, 0x0008, "IS", "1024");
    huge.element(0x7FE0, 0x0010, "OW", counting(8));
    e = extract(huge.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_TRUE(logged(e, "Incorrect PixelData length"));
}

TEST(SingleImage, ReaderFailuresGiveNoRecord)
{
    // The file ends before any pixel data.
    DicomBytes no_pixels = dicom_file(explicit_little);
    no_pixels.image(2, 2, 8);
    EXPECT_FALSE(extract(no_pixels.byte_vector()).record);

    // Pixel data longer than the rest of the file.
    DicomBytes cut = dicom_file(explicit_little);
    cut.image(2, 2, 8);
    Bytes bytes = cut.byte_vector();
    DicomBytes header_only = dicom_file(explicit_little);
    header_only.image(2, 2, 8).element(0x7FE0, 0x0010, "OB", counting(100));
    bytes = header_only.byte_vector();
    bytes.resize(bytes.size() - 50);
    EXPECT_FALSE(extract(bytes).record);
}

TEST(SingleImage, DicomPixelRefusesEncapsulatedData)
{
    DicomBytes file = dicom_file(rle);
    file.image(2, 2, 8).header(0x7FE0, 0x0010, "OB").fragment("").sequence_end();
    const std::string temp = write_file(file.byte_vector());
    const LogCapture log(LogLevel::warning);
    ASSERT_EQ(dicom_open(temp.c_str()), 0);
    ELEMENT* element = nullptr;
    while ((element = dicom_element()) != nullptr && element->group != 0x7FE0) {
        dicom_skip();
    }
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(dicom_pixel(element), -3);
    EXPECT_TRUE(log.contains("emergency: Encapsulated PixelData is not implemented yet"));
    dicom_single_free();
    dicom_close();
}

// Encapsulated data --------------------------------------------------------

namespace {

// An 8-bit frame of `n` equal bytes as one RLE segment.
Bytes flat_frame(uint8_t value, uint8_t n) { return rle_frame({{static_cast<uint8_t>(257 - n), value}}); }

DicomBytes rle_file(uint16_t rows, uint16_t columns, const char* frames)
{
    DicomBytes file = dicom_file(rle);
    file.image(rows, columns, 8);
    if (frames != nullptr) {
        file.text(0x0028, 0x0008, "IS", frames);
    }
    file.header(0x7FE0, 0x0010, "OB");
    return file;
}

} // namespace

TEST(SingleImageEncapsulated, FramesDecodeIntoTheirSlots)
{
    DicomBytes file = rle_file(2, 2, "2");
    file.fragment("").fragment(flat_frame(5, 4)).fragment(flat_frame(6, 4)).sequence_end();
    const Extraction e = extract(file.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(e.record->pixel_bytes, 8U);
    EXPECT_EQ(e.pixels, (Bytes{5, 5, 5, 5, 6, 6, 6, 6}));
    EXPECT_TRUE(e.trailing_zeros);
}

TEST(SingleImageEncapsulated, OffsetTableMustHoldOneEntryPerFrame)
{
    Bytes table;
    put32(table, 0);
    put32(table, 80);
    DicomBytes good = rle_file(2, 2, "2");
    good.fragment(table).fragment(flat_frame(5, 4)).fragment(flat_frame(6, 4)).sequence_end();
    Extraction e = extract(good.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(e.pixels, (Bytes{5, 5, 5, 5, 6, 6, 6, 6}));

    DicomBytes bad = rle_file(2, 2, "1");
    bad.fragment(table).fragment(flat_frame(5, 4)).sequence_end();
    e = extract(bad.byte_vector());
    EXPECT_FALSE(e.record);
    EXPECT_FALSE(logged(e, "error")); // no message of its own
}

TEST(SingleImageEncapsulated, MissingFramesStayZero)
{
    DicomBytes file = rle_file(2, 2, "3");
    file.fragment("").fragment(flat_frame(5, 4)); // the file ends here
    Extraction e = extract(file.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(e.pixels, (Bytes{5, 5, 5, 5, 0, 0, 0, 0, 0, 0, 0, 0}));

    // With the delimiter present it is handed to the decoder as a frame.
    DicomBytes delimited = rle_file(2, 2, "3");
    delimited.fragment("").fragment(flat_frame(5, 4)).sequence_end();
    e = extract(delimited.byte_vector());
    EXPECT_FALSE(e.record);
    EXPECT_TRUE(logged(e, "error: Decompression failed"));
}

TEST(SingleImageEncapsulated, FramesTheirDecoderCannotReadFail)
{
    for (const std::string& syntax : {jpeg_lossy, jpeg_lossless}) {
        DicomBytes file = dicom_file(syntax);
        file.image(2, 2, 8).header(0x7FE0, 0x0010, "OB").fragment("").fragment(flat_frame(5, 4));
        file.sequence_end();
        const Extraction e = extract(file.byte_vector());
        EXPECT_FALSE(e.record) << syntax;
        EXPECT_TRUE(logged(e, "error: Decompression failed")) << syntax;
    }
}

TEST(SingleImageEncapsulated, SyntaxesWithoutACodecAreNamed)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {explicit_little, "error: Unsupported transfer syntax 1.2.840.10008.1.2.1 (Explicit VR Little Endian)\n"},
        {"1.2.840.10008.1.2.4.92",
         "error: Unsupported transfer syntax 1.2.840.10008.1.2.4.92 (JPEG 2000 Part 2 Multi-component Image "
         "Compression (Lossless Only))\n"},
        {"1.2.840.10008.1.2.4.94", "(JPIP Referenced)"},
        {"1.2.840.10008.1.2.4.999", "error: Unsupported transfer syntax UID\n"},
    };
    for (const auto& [syntax, message] : cases) {
        DicomBytes file = dicom_file(syntax);
        file.image(2, 2, 8).header(0x7FE0, 0x0010, "OB").fragment("").fragment(flat_frame(5, 4));
        file.sequence_end();
        const Extraction e = extract(file.byte_vector());
        EXPECT_FALSE(e.record) << syntax;
        EXPECT_TRUE(logged(e, message)) << syntax << e.log;
    }
}

TEST(SingleImageEncapsulated, DecoderFailuresReleaseTheRecord)
{
    DicomBytes file = rle_file(2, 2, nullptr);
    file.fragment("").fragment(rle_header(16, {})).sequence_end();
    const Extraction e = extract(file.byte_vector());
    EXPECT_FALSE(e.record);
    const std::size_t rule = e.log.find("error: RLE - Maximum of 32 bits images supported");
    const std::size_t failed = e.log.find("error: Decompression failed");
    ASSERT_NE(rule, std::string::npos);
    ASSERT_NE(failed, std::string::npos);
    EXPECT_LT(rule, failed);
}

TEST(SingleImageEncapsulated, ImagesThatCannotFitInMemoryFailCleanly)
{
    // 65535 x 65535 x 4 bytes x 2^31-1 frames: far beyond any buffer.
    for (const char* frames : {"2147483647", "99999999999", "-1"}) {
        DicomBytes file = dicom_file(rle);
        file.image(65535, 65535, 32).text(0x0028, 0x0008, "IS", frames);
        file.header(0x7FE0, 0x0010, "OB").fragment("").fragment(flat_frame(5, 4)).sequence_end();
        const Extraction e = extract(file.byte_vector());
        EXPECT_FALSE(e.record) << frames;
        EXPECT_TRUE(logged(e, "error: Out of memory.")) << frames;
    }
}

TEST(SingleImageEncapsulated, FramesTheFileCannotHoldAreRefusedBeforeAllocating)
{
    // 512 x 512 bytes x 1000 frames (262 MB) from one 70-byte fragment: no
    // decoder turns the rest of this file into that much.
    DicomBytes file = rle_file(512, 512, "1000");
    file.fragment("").fragment(flat_frame(5, 4)).sequence_end();
    Extraction e = extract(file.byte_vector());
    EXPECT_FALSE(e.record);
    EXPECT_TRUE(logged(e, "error: Encapsulated PixelData too short for the announced frames"));

    // At the most an RLE segment can expand (128 bytes from every 2) the
    // frames of a cut file still load, the missing ones as zeros.
    Bytes runs;
    for (int i = 0; i < 20; ++i) {
        runs.push_back(0x81);
        runs.push_back(9);
    }
    DicomBytes dense = rle_file(40, 64, "2");       // 2560 bytes a frame from 112 in the file
    dense.fragment("").fragment(rle_frame({runs})); // the second frame is cut off
    e = extract(dense.byte_vector());
    ASSERT_TRUE(e.record);
    ASSERT_EQ(e.pixels.size(), 5120U);
    EXPECT_EQ(Bytes(e.pixels.begin(), e.pixels.begin() + 2560), Bytes(2560, 9));
    EXPECT_EQ(Bytes(e.pixels.begin() + 2560, e.pixels.end()), Bytes(2560, 0));
}

TEST(SingleImageEncapsulated, HostileFramesStayInsideTheirSlots)
{
    // Every frame floods far more than its 3-byte slot; the neighbouring
    // frame keeps its own bytes and nothing lands past the buffer.
    const Bytes flood{0x81, 0x77, 0x81, 0x77, 0x81, 0x77};
    DicomBytes file = rle_file(1, 3, "2");
    file.fragment("").fragment(rle_frame({flood})).fragment(rle_frame({{0x02, 1, 2, 3}})).sequence_end();
    Extraction e = extract(file.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(e.pixels, (Bytes{0x77, 0x77, 0x77, 1, 2, 3}));
    EXPECT_TRUE(e.trailing_zeros);
    EXPECT_TRUE(logged(e, "RLE - Segment overflows the frame (cut)"));

    // Four segments into a slot of 1-byte samples: still bounded.
    DicomBytes four = rle_file(1, 3, nullptr);
    four.fragment("").fragment(rle_frame({flood, flood, flood, flood})).sequence_end();
    e = extract(four.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(e.pixels.size(), 3U);
    EXPECT_TRUE(e.trailing_zeros);

    // 12 bits allocated: the slot has one byte per sample.
    DicomBytes twelve = dicom_file(rle);
    twelve.image(2, 2, 12).header(0x7FE0, 0x0010, "OB").fragment("");
    twelve.fragment(rle_frame({flood, flood})).sequence_end();
    e = extract(twelve.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(e.record->pixel_bytes, 4U);
    EXPECT_TRUE(e.trailing_zeros);
}

TEST(SingleImageEncapsulated, SixteenBitFramesReadAsTheirUncompressedTwin)
{
    DicomBytes file = dicom_file(rle);
    file.image(1, 2, 16).header(0x7FE0, 0x0010, "OB").fragment("");
    file.fragment(rle_frame({{0x01, 0x12, 0xAB}, {0x01, 0x34, 0xCD}})).sequence_end();
    const Extraction e = extract(file.byte_vector());
    ASSERT_TRUE(e.record);
    EXPECT_EQ(word_at(e.pixels, 0), 0x1234);
    EXPECT_EQ(word_at(e.pixels, 1), 0xABCD);
}

// Extraction handing its bytes to a sink ----------------------------------

namespace {

// Puts the pieces together; refuses the piece numbered `refuse_at`.
class collected_pixels final : public pixel_sink {
public:
    explicit collected_pixels(int refuse_at = -1) : refuse_at_(refuse_at) {}
    bool put(uint64_t offset, const uint8_t* bytes, std::size_t size) override
    {
        if (pieces++ == refuse_at_) {
            return false;
        }
        if (offset + size > pixels.size()) {
            pixels.resize(offset + size);
            given.resize(offset + size);
        }
        std::copy(bytes, bytes + size, pixels.begin() + static_cast<std::ptrdiff_t>(offset));
        for (std::size_t i = offset; i < offset + size; ++i) {
            twice = twice || given[i];
            given[i] = true;
        }
        return true;
    }
    Bytes pixels;
    std::vector<bool> given;
    bool twice = false;
    int pieces = 0;

private:
    int refuse_at_;
};

struct Streamed {
    std::optional<single_image> record;
    collected_pixels sink;
    std::string log;
};

void stream(const Bytes& file, unsigned threads, Streamed& result)
{
    const std::string temp = write_file(file);
    const LogCapture log(LogLevel::warning);
    EXPECT_EQ(dicom_open(temp.c_str()), 0);
    dicom_single_threads(threads);
    const single_image* image = dicom_single_to(result.sink);
    dicom_single_threads(1);
    if (image != nullptr) {
        result.record = *image;
    }
    dicom_single_free();
    dicom_close();
    result.log = log.text();
}

} // namespace

TEST(SingleImageStreamed, HandsOutEveryByteOfTheWholeImageOnce)
{
    DicomBytes frames = rle_file(2, 2, "3");
    frames.fragment("")
        .fragment(flat_frame(5, 4))
        .fragment(flat_frame(6, 4))
        .fragment(flat_frame(7, 4))
        .sequence_end();
    DicomBytes cut = rle_file(2, 2, "3");
    cut.fragment("").fragment(flat_frame(5, 4)); // frames 2 and 3 cut off: zeros
    DicomBytes native = dicom_file(explicit_little);
    native.image(4, 4, 8).element(0x7FE0, 0x0010, "OB", counting(16));
    for (const Bytes& file : {frames.byte_vector(), cut.byte_vector(), native.byte_vector()}) {
        const Extraction whole = extract(file);
        ASSERT_TRUE(whole.record);
        for (const unsigned threads : {1U, 2U}) {
            Streamed streamed;
            stream(file, threads, streamed);
            ASSERT_TRUE(streamed.record) << streamed.log;
            EXPECT_EQ(streamed.record->pixels, nullptr);
            EXPECT_EQ(streamed.record->pixel_bytes, whole.record->pixel_bytes);
            EXPECT_EQ(streamed.sink.pixels, whole.pixels);
            EXPECT_FALSE(streamed.sink.twice);
        }
    }
}

TEST(SingleImageStreamed, StopsWhenTheSinkRefusesOrAFrameFails)
{
    DicomBytes frames = rle_file(2, 2, "2");
    frames.fragment("").fragment(flat_frame(5, 4)).fragment(flat_frame(6, 4)).sequence_end();
    Streamed refused{std::nullopt, collected_pixels(0), ""};
    stream(frames.byte_vector(), 1, refused);
    EXPECT_FALSE(refused.record);
    EXPECT_EQ(refused.sink.pieces, 1); // nothing after the refusal
    EXPECT_EQ(refused.log.find("Decompression failed"), std::string::npos) << refused.log;

    DicomBytes bad_second = rle_file(2, 2, "2");
    bad_second.fragment("").fragment(flat_frame(5, 4)).fragment(rle_header(16, {})).sequence_end();
    Streamed failed;
    stream(bad_second.byte_vector(), 1, failed);
    EXPECT_FALSE(failed.record);
    EXPECT_NE(failed.log.find("error: Decompression failed"), std::string::npos) << failed.log;
}
