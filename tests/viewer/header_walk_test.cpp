#include "viewer/header_walk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/common/dicom_bytes.h"
#include "tests/common/test_temp_dir.h"
#include "viewer/hex_dump.h"

using namespace test_dicom;

namespace {

struct Walked {
    FileCheck check{};
    HeaderListing listing;
    ViewerState state;

    int rows() const { return state.next_row - 1; }
    // Element row r (1-based) as "GGGG EEEE VR LEN | description | data".
    std::string row(int r) const
    {
        const ElementGrid& g = listing.grid;
        return g.cell(r, 0) + " " + g.cell(r, 1) + " " + g.cell(r, 2) + " " + g.cell(r, 3) + " | " + g.cell(r, 4) +
               " | " + g.cell(r, 5);
    }
    std::string data(int r) const { return listing.grid.cell(r, 5); }
};

Walked walk(const std::string& bytes, const std::string& name, ViewerState start = {})
{
    Walked w;
    w.state = start;
    const std::string path = write_temp(name, bytes);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(check_dicom_file(path.c_str(), w.check), std::fclose);
    EXPECT_TRUE(file) << name;
    if (file) {
        walk_header(file.get(), w.listing, w.state);
    }
    return w;
}

const std::string pixel_value(16, '\x11');

} // namespace

TEST(HeaderWalk, ExplicitVrFileListsEveryElementWithDictionaryFacts)
{
    const DicomBytes b = DicomBytes()
                             .preamble()
                             .element(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2.1") + '\0')
                             .element(0x0010, 0x0010, "PN", "Doe^John")
                             .element(0x0028, 0x0010, "US", le16(512))
                             .element(0x0028, 0x0011, "US", le16(512) + le16(512))
                             .element(0x0028, 0x0009, "AT", le16(0x0018) + le16(0x1063))
                             .element(0x0009, 0x0010, "LO", "PRIVATE ")
                             .element(0x7FE0, 0x0010, "OW", pixel_value);
    const Walked w = walk(b.bytes(), "explicit.dcm");
    EXPECT_EQ(w.check, FileCheck::part10);
    ASSERT_EQ(w.rows(), 7);
    EXPECT_EQ(
        w.row(1),
        "0002 0010 UI 20 | Transfer Syntax UID | 1.2.840.10008.1.2.1 : Raw data, Explicit VR, Little Endian");
    EXPECT_EQ(w.row(2), "0010 0010 PN 8 | Patient's Name | Doe^John");
    EXPECT_EQ(w.row(3), "0028 0010 US 2 | Rows | 512");
    EXPECT_EQ(w.row(4), "0028 0011 US 4 | Columns | 512512");
    EXPECT_EQ(w.row(5), "0028 0009 AT 4 | Frame Increment Pointer | [ 0018  1063 ]");
    EXPECT_EQ(w.row(6), "0009 0010 LO 8 | Unknown | PRIVATE ");
    // Pixel Data: header size is 8 bytes past the tag; the value follows the
    // 4-byte length.
    const int pixel_tag = static_cast<int>(b.size() - pixel_value.size() - 12);
    EXPECT_EQ(w.state.header_size, pixel_tag + 8);
    EXPECT_EQ(w.listing.header_size_text, std::to_string(pixel_tag + 8));
    EXPECT_EQ(w.data(7), "[ " + std::to_string(pixel_tag + 12) + " 16 ]");
    EXPECT_EQ(w.listing.grid.cell(7, 2), "OX");
}

TEST(HeaderWalk, ImplicitVrFileWithoutPreambleIsWalkedFromByteZero)
{
    DicomBytes b(Encoding::ImplicitLittle);
    b.element(0x0008, 0x0060, "CS", "CT")
        .element(0x0009, 0x1001, "UN", std::string("A\x01\x7F\x80z", 5) + "b")
        .element(0x0028, 0x0010, "US", le16(256))
        .element(0x0008, 0x1140, "SQ", "") // sequence: no value of its own
        .item()
        .element(0x0008, 0x1150, "UI", "1.2")
        .item_end()
        .sequence_end()
        .raw(std::string(140, ' ')); // long enough for the "DICM" check
    const Walked w = walk(b.bytes(), "implicit.dcm");
    EXPECT_EQ(w.check, FileCheck::not_part10);
    EXPECT_EQ(w.row(1), "0008 0060 CS 2 | Modality | CT");
    // A private tag of an implicit file: no VR, shown byte by byte.
    EXPECT_EQ(w.row(2), "0009 1001  6 | Unknown | A...zb");
    EXPECT_EQ(w.row(3), "0028 0010 US 2 | Rows | 256");
    EXPECT_EQ(w.row(4), "0008 1140 SQ 0 | Referenced Image Sequence | ");
    EXPECT_EQ(w.row(5), "FFFE E000 DL 0 | Item | ");
    EXPECT_EQ(w.row(6), "0008 1150 UI 3 | Referenced SOP Class UID | 1.2");
    EXPECT_EQ(w.row(7), "FFFE E00D DL 0 | Item Delimitation Item | ");
    EXPECT_EQ(w.row(8), "FFFE E0DD DL 0 | Sequence Delimitation Item | ");
    // No Pixel Data: the header size stays empty and the whole file is header.
    EXPECT_EQ(w.state.header_size, 0);
    EXPECT_EQ(w.listing.header_size_text, "");
    std::vector<std::string> whole = dump_header_lines();
    for (const std::string& line : dump_lines(reinterpret_cast<const uint8_t*>(b.bytes().data()), b.size())) {
        whole.push_back(line);
    }
    EXPECT_EQ(w.listing.dump.all_lines(), whole);
}

TEST(HeaderWalk, LengthFormsAndLengthsOver2GiB)
{
    const DicomBytes b = DicomBytes()
                             .preamble()
                             .element(0x0002, 0x0001, "OB", std::string("\x00\x01", 2))
                             .header(0x0008, 0x1140, "SQ", 0xFFFFFFFF) // undefined length
                             .item(0xFFFFFFFF)
                             .item_end()
                             .sequence_end()
                             .tag(0x0008, 0x0070)
                             .raw("LO")
                             .u16(0x8000) // 16-bit length >= 32768 counts as 0
                             .element(0x0008, 0x0080, "LO", "HOSPITAL")
                             .tag(0x0009, 0x0010)
                             .u32(0x80000000) // 2 GiB: runs past the end
                             .element(0x0010, 0x0020, "LO", "ID1 ");
    const Walked w = walk(b.bytes(), "lengths.dcm");
    ASSERT_EQ(w.rows(), 8);
    EXPECT_EQ(w.row(1), "0002 0001 OB 2 | File Meta Information Version | ");
    EXPECT_EQ(w.row(2), "0008 1140 SQ 0 | Referenced Image Sequence | ");
    EXPECT_EQ(w.row(3), "FFFE E000 DL 0 | Item | ");
    EXPECT_EQ(w.row(6), "0008 0070 LO 0 | Manufacturer | ");
    EXPECT_EQ(w.row(7), "0008 0080 LO 8 | Institution Name | HOSPITAL");
    EXPECT_EQ(w.row(8), "0009 0010  2147483648 | Unknown | .. .LO..ID1 ...");
}

TEST(HeaderWalk, ImplicitLengthThatLooksLikeCapitalLettersIsReadAsExplicit)
{
    // Bytes 41 42 00 00 (16961) read as VR "AB" with a 16-bit length of 0.
    DicomBytes b = DicomBytes().preamble();
    b.tag(0x0009, 0x0020).u32(0x00004241).element(0x0010, 0x0010, "PN", "X");
    const Walked w = walk(b.bytes(), "ab.dcm");
    ASSERT_EQ(w.rows(), 2);
    EXPECT_EQ(w.row(1), "0009 0020 AB 0 | Unknown | ");
    EXPECT_EQ(w.row(2), "0010 0010 PN 1 | Patient's Name | X");
}

TEST(HeaderWalk, LongTextValueIsCutAt80BytesAndTheWalkResumesAfterIt)
{
    std::string hundred;
    for (int i = 0; i < 100; ++i) {
        hundred += static_cast<char>('0' + i % 10);
    }
    const DicomBytes b =
        DicomBytes().preamble().element(0x0008, 0x0081, "ST", hundred).element(0x0010, 0x0010, "PN", "NEXT");
    const Walked w = walk(b.bytes(), "long_text.dcm");
    ASSERT_EQ(w.rows(), 2);
    EXPECT_EQ(w.data(1), hundred.substr(0, 80) + "...");
    EXPECT_EQ(w.listing.grid.cell(1, 3), "100");
    EXPECT_EQ(w.row(2), "0010 0010 PN 4 | Patient's Name | NEXT");
}

TEST(HeaderWalk, NumberFormats)
{
    float fl = 1.5F;
    double fd = -2.25;
    std::string fl_bytes(4, '\0'), fd_bytes(8, '\0');
    std::memcpy(fl_bytes.data(), &fl, 4);
    std::memcpy(fd_bytes.data(), &fd, 8);
    const DicomBytes b = DicomBytes()
                             .preamble()
                             .element(0x0020, 0x0022, "US", le16(65535))
                             .element(0x6000, 0x0050, "SS", le16(static_cast<uint16_t>(-3)) + le16(7))
                             .element(0x0004, 0x1200, "UL", le32(70000))
                             .element(0x0018, 0x6020, "SL", le32(static_cast<uint32_t>(-70000)))
                             .element(0x0018, 0x6030, "UL", le32(0xFFFFFFFF))
                             .element(0x0009, 0x0011, "FL", fl_bytes)
                             .element(0x0018, 0x6028, "FD", fd_bytes);
    const Walked w = walk(b.bytes(), "numbers.dcm");
    ASSERT_EQ(w.rows(), 7);
    EXPECT_EQ(w.data(1), "65535");
    EXPECT_EQ(w.data(2), "-37");
    EXPECT_EQ(w.data(3), "70000");
    EXPECT_EQ(w.data(4), "-70000");
    EXPECT_EQ(w.data(5), "-1"); // printed with "%d"
    EXPECT_EQ(w.data(6), "1.500000");
    EXPECT_EQ(w.data(7), "-2.250000");
}

TEST(HeaderWalk, LeftoverBytesOfANumericValueAreSkipped)
{
    // US of length 3: one value, and the odd byte must not start the next header.
    const DicomBytes b = DicomBytes()
                             .preamble()
                             .element(0x0028, 0x0010, "US", le16(512) + "\x7F")
                             .element(0x0018, 0x6030, "UL", le32(9) + "xy")
                             .element(0x0010, 0x0010, "PN", "AFTER");
    const Walked w = walk(b.bytes(), "leftover.dcm");
    ASSERT_EQ(w.rows(), 3);
    EXPECT_EQ(w.data(1), "512");
    EXPECT_EQ(w.data(2), "9");
    EXPECT_EQ(w.row(3), "0010 0010 PN 5 | Patient's Name | AFTER");
}

TEST(HeaderWalk, NumericValueCutByEndOfFileGivesOneErrorPiece)
{
    // Implicit US claiming 2 GB with one whole value and one byte in the file.
    DicomBytes b = DicomBytes().preamble();
    b.tag(0x0028, 0x0010).u32(0x7FFFFFF0).raw(le16(512)).u8(0x05);
    const Walked w = walk(b.bytes(), "cut_us.dcm");
    ASSERT_EQ(w.rows(), 1);
    const std::string& text = w.data(1);
    EXPECT_EQ(text.rfind("512Error: Unsigned Short value[", 0), 0U) << text;
    EXPECT_EQ(text.find("Error", text.find("Error") + 1), std::string::npos) << "exactly one error piece";
    EXPECT_EQ(text.back(), ']');

    // Nothing at all left: the error piece shows the holder's start value.
    DicomBytes at = DicomBytes().preamble();
    at.tag(0x0028, 0x0009).u32(0x40000000);
    const Walked w2 = walk(at.bytes(), "cut_at.dcm");
    ASSERT_EQ(w2.rows(), 1);
    EXPECT_EQ(w2.data(1), "Error: Tag pair [0000  0000]");

    DicomBytes fd = DicomBytes().preamble();
    fd.tag(0x0018, 0x6028).u32(0x100).raw("abc");
    EXPECT_EQ(walk(fd.bytes(), "cut_fd.dcm").data(1).rfind("Error: Double value[", 0), 0U);
}

TEST(HeaderWalk, TextAndByteValuesCutByEndOfFileEndWithTheCutMark)
{
    DicomBytes b = DicomBytes().preamble();
    b.element(0x0010, 0x0010, "PN", "").raw("");
    b.tag(0x0010, 0x0020).raw("LO").u16(40).raw("SHORT");
    const Walked w = walk(b.bytes(), "cut_text.dcm");
    ASSERT_EQ(w.rows(), 2);
    EXPECT_EQ(w.data(1), "");
    EXPECT_EQ(w.data(2), "SHORT...");
}

TEST(HeaderWalk, EveryLongFormVrReadsItsFourByteLength)
{
    // Tags missing from the dictionary take the file's VR; the walk must stay
    // in step after each of them.
    const char* const long_vrs[] = {"UN", "UT", "OF", "UC", "OD", "OL", "OV", "SV", "UR", "UV"};
    for (const char* vr : long_vrs) {
        const std::string value = std::string("ab\x01", 3) + "cdefgh"; // 9 bytes
        const DicomBytes b = DicomBytes()
                                 .preamble()
                                 .element(0x0009, 0x1010, vr, value)
                                 .element(0x0010, 0x0010, "PN", "Doe")
                                 .element(0x0028, 0x0010, "US", le16(64));
        const Walked w = walk(b.bytes(), std::string("long_") + vr + ".dcm");
        ASSERT_EQ(w.rows(), 3) << vr;
        EXPECT_EQ(w.row(1), std::string("0009 1010 ") + vr + " 9 | Unknown | ab.cdefgh") << vr;
        EXPECT_EQ(w.row(2), "0010 0010 PN 3 | Patient's Name | Doe") << vr;
        EXPECT_EQ(w.row(3), "0028 0010 US 2 | Rows | 64") << vr;
    }
    // A dictionary tag stated as UT in the file is formatted by its dictionary VR.
    const DicomBytes b =
        DicomBytes().preamble().element(0x0020, 0x4000, "UT", "Comment").element(0x0010, 0x0010, "PN", "Z");
    const Walked w = walk(b.bytes(), "long_dict.dcm");
    ASSERT_EQ(w.rows(), 2);
    EXPECT_EQ(w.row(1), "0020 4000 LT 7 | Image Comments | Comment");
}

TEST(HeaderWalk, WindowAndInterceptComeFromTheHeader)
{
    const DicomBytes b = DicomBytes()
                             .preamble()
                             .element(0x0028, 0x1050, "DS", "40\\400")
                             .element(0x0028, 0x1051, "DS", "  400 ")
                             .element(0x0028, 0x1052, "DS", "-1024.5 ");
    const Walked w = walk(b.bytes(), "window.dcm");
    EXPECT_EQ(w.state.window_level, 40);
    EXPECT_EQ(w.state.window_width, 400);
    EXPECT_EQ(w.state.rescale_intercept, -1024);

    // A second file without them keeps the window but resets the intercept.
    ViewerState carried = w.state;
    const DicomBytes plain = DicomBytes().preamble().element(0x0010, 0x0010, "PN", "X");
    const Walked second = walk(plain.bytes(), "plain.dcm", carried);
    EXPECT_EQ(second.state.window_level, 40);
    EXPECT_EQ(second.state.window_width, 400);
    EXPECT_EQ(second.state.rescale_intercept, 0);
}

TEST(HeaderWalk, BigEndianDataSetIsReadInItsByteOrderAfterTheMetaGroup)
{
    float fl = 1.5F;
    double fd = -2.25;
    uint32_t fl_bits = 0;
    uint64_t fd_bits = 0;
    std::memcpy(&fl_bits, &fl, 4);
    std::memcpy(&fd_bits, &fd, 8);
    DicomBytes data_set(Encoding::ExplicitBig);
    const auto be16 = [&](uint16_t v) { return data_set.n16(v); };
    data_set.element(0x0028, 0x0010, "US", be16(512))
        .element(0x6000, 0x0050, "SS", be16(static_cast<uint16_t>(-3)) + be16(7))
        .element(0x0004, 0x1200, "UL", data_set.n32(70000))
        .element(0x0009, 0x0011, "FL", data_set.n32(fl_bits))
        .element(0x0018, 0x6028, "FD", data_set.n64(fd_bits))
        .element(0x0028, 0x0009, "AT", be16(0x0018) + be16(0x1063))
        .header(0x0008, 0x1140, "SQ")
        .item()
        .element(0x0008, 0x1150, "UI", "1.2 ")
        .item_end()
        .sequence_end()
        .element(0x0028, 0x1050, "DS", "40")
        .element(0x0028, 0x1051, "DS", "400 ")
        .element(0x0028, 0x1052, "DS", "-1024 ")
        .element(0x0009, 0x1010, "OW", "ABCD")
        .element(0x7FE0, 0x0010, "OW", "\x01\x02\x03\x04");
    // No (0002,0000): the meta group ends at the first element of another group.
    const DicomBytes b = DicomBytes::file("1.2.840.10008.1.2.2", Encoding::ExplicitLittle, {.group_length = false})
                             .raw(data_set.bytes());
    const Walked w = walk(b.bytes(), "big_endian.dcm");
    ASSERT_EQ(w.rows(), 18);
    EXPECT_EQ(w.row(2),
              "0002 0010 UI 20 | Transfer Syntax UID | 1.2.840.10008.1.2.2 : Raw data, Explicit VR, Big Endian");
    EXPECT_EQ(w.row(3), "0028 0010 US 2 | Rows | 512");
    EXPECT_EQ(w.data(4), "-37");
    EXPECT_EQ(w.data(5), "70000");
    EXPECT_EQ(w.data(6), "1.500000");
    EXPECT_EQ(w.data(7), "-2.250000");
    EXPECT_EQ(w.data(8), "[ 0018  1063 ]");
    EXPECT_EQ(w.row(9), "0008 1140 SQ 0 | Referenced Image Sequence | ");
    EXPECT_EQ(w.row(10), "FFFE E000 DL 0 | Item | ");
    EXPECT_EQ(w.row(11), "0008 1150 UI 4 | Referenced SOP Class UID | 1.2 ");
    EXPECT_EQ(w.row(13), "FFFE E0DD DL 0 | Sequence Delimitation Item | ");
    EXPECT_EQ(w.data(17), "BADC") << "OW words in little-endian order";
    EXPECT_EQ(w.state.window_level, 40);
    EXPECT_EQ(w.state.window_width, 400);
    EXPECT_EQ(w.state.rescale_intercept, -1024);
    const int pixel_tag = static_cast<int>(b.size() - 16);
    EXPECT_EQ(w.listing.header_size_text, std::to_string(pixel_tag + 8));
    EXPECT_EQ(w.data(18), "[ " + std::to_string(pixel_tag + 12) + " 4 ]");

    // The same data set under the little-endian syntax is read little-endian.
    const DicomBytes little =
        DicomBytes::file("1.2.840.10008.1.2.1", Encoding::ExplicitBig, {.group_length = false, .version = false})
            .element(0x0028, 0x0010, "US", be16(512));
    const Walked l = walk(little.bytes(), "little_endian.dcm");
    ASSERT_EQ(l.rows(), 2);
    EXPECT_EQ(l.row(2), "2800 1000 US 512 | Unknown | 2Error: Unsigned Short value[2]");
}

TEST(HeaderWalk, ParseLeadingInt)
{
    EXPECT_EQ(parse_leading_int("40\\400"), 40);
    EXPECT_EQ(parse_leading_int("-1024.5"), -1024);
    EXPECT_EQ(parse_leading_int("   +17x"), 17);
    EXPECT_EQ(parse_leading_int("abc"), 0);
    EXPECT_EQ(parse_leading_int(""), 0);
    EXPECT_EQ(parse_leading_int("-"), 0);
    EXPECT_EQ(parse_leading_int("99999999999999"), INT32_MAX);
    EXPECT_EQ(parse_leading_int("-99999999999999"), INT32_MIN);
}

TEST(HeaderWalk, TransferSyntaxNames)
{
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.1"), " : Raw data, Explicit VR, Little Endian");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.2"), " : Raw data, Explicit VR, Big Endian");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.5"), " : Lossless Run Length Encoding(RLE)");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2"), " : Raw data, Implicit VR, Little Endian");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.4.50"), " : JPEG compression, Lossy JPEG");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.4.57"), " : JPEG compression, Lossy JPEG");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.4.64"), " : JPEG compression, Lossy JPEG");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.4.65"), " : JPEG compression, Loss-less JPEG");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.4.70"), " : JPEG compression, Loss-less JPEG");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.4.100"), " : Unknown");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.4.90"), " : Unknown");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.4.5"), " : Unknown");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.1 "), " : Unknown");
    EXPECT_STREQ(transfer_syntax_names("1.2.840.10008.1.2.4."), " : Unknown");
    EXPECT_STREQ(transfer_syntax_names(""), " : Unknown");
    // Nothing past the UID's end is read: bytes after its NUL do not count.
    const char short_uid[] = "1.2.840.10008.1.2.9\0"
                             "55";
    EXPECT_STREQ(transfer_syntax_names(short_uid), " : Unknown");
}

TEST(HeaderWalk, GridGrowsToHoldEveryElementRow)
{
    DicomBytes b = DicomBytes().preamble();
    for (uint16_t e = 1; e <= 150; ++e) {
        b.element(0x0009, e, "SH", "V" + std::to_string(e));
    }
    Walked w = walk(b.bytes(), "many.dcm");
    EXPECT_EQ(w.rows(), 150);
    EXPECT_GE(w.listing.grid.row_count(), 151);
    EXPECT_EQ(w.data(150), "V150");
    EXPECT_EQ(w.listing.grid.cell(150, 1), "0096");

    // The next walk starts from a clean grid of 100 rows.
    const DicomBytes small = DicomBytes().preamble().element(0x0010, 0x0010, "PN", "X");
    const std::string path = write_temp("small.dcm", small.bytes());
    FileCheck check{};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(check_dicom_file(path.c_str(), check), std::fclose);
    ASSERT_TRUE(file);
    walk_header(file.get(), w.listing, w.state);
    EXPECT_EQ(w.rows(), 1);
    EXPECT_EQ(w.listing.grid.row_count(), grid_min_rows);
    EXPECT_EQ(w.data(2), "");
    EXPECT_EQ(w.listing.grid.cell(0, 0), "Grp ID");
}

TEST(HeaderWalk, PixelDataPositionEndsTheWalk)
{
    // Value starting at byte 1024, length 524288; the file holds only part of it.
    DicomBytes b = DicomBytes().preamble();
    b.element(0x0009, 0x0010, "OB", std::string(1024 - 132 - 12 - 12, 'p'));
    b.header(0x7FE0, 0x0010, "OW", 524288).raw(std::string(64, 'x'));
    b.element(0x0010, 0x0010, "PN", "NEVER");
    ASSERT_EQ(b.bytes().find('x'), 1024U);
    const Walked w = walk(b.bytes(), "pixel.dcm");
    ASSERT_EQ(w.rows(), 2);
    EXPECT_EQ(w.data(2), "[ 1024 524288 ]");
    EXPECT_EQ(w.state.header_size, 1020);
    EXPECT_EQ(w.listing.header_size_text, "1020");
    // 1020 bytes: 63 full lines, then 12 bytes.
    const std::vector<std::string> dump = w.listing.dump.all_lines();
    ASSERT_EQ(dump.size(), 2U + 63U + 1U);
    EXPECT_EQ(dump.back().substr(0, 9), "000003F0 ");
}

TEST(HeaderWalk, ReadTextValueNeverReadsPastTheFile)
{
    const std::string path = write_temp("text.bin", "0123456789");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    ASSERT_TRUE(file);
    char buffer[value_buffer_size];
    EXPECT_EQ(read_text_value(file.get(), 4, buffer, text_value_limit), 4U);
    EXPECT_STREQ(buffer, "0123");
    // A huge length reads what is there and leaves the file at its end.
    EXPECT_EQ(read_text_value(file.get(), INT32_MAX, buffer, text_value_limit), 6U);
    EXPECT_STREQ(buffer, "456789");
    EXPECT_EQ(std::ftell(file.get()), 10);
    EXPECT_EQ(read_text_value(file.get(), 0, buffer, text_value_limit), 0U);
    EXPECT_STREQ(buffer, "");
}

TEST(FileCheck, TellsTheFourOutcomesApart)
{
    FileCheck check{};
    EXPECT_EQ(check_dicom_file((test_temp_path("does_not_exist.dcm")).c_str(), check), nullptr);
    EXPECT_EQ(check, FileCheck::cannot_open);

    const std::string short_path = write_temp("short.dcm", std::string(131, '\0'));
    EXPECT_EQ(check_dicom_file(short_path.c_str(), check), nullptr);
    EXPECT_EQ(check, FileCheck::too_short);

    const std::string exact = write_temp("exact.dcm", DicomBytes().preamble().bytes());
    std::FILE* f = check_dicom_file(exact.c_str(), check);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(check, FileCheck::part10);
    EXPECT_EQ(std::ftell(f), 132);
    std::fclose(f);

    const std::string bare = write_temp("bare.dcm", std::string(200, 'Z'));
    f = check_dicom_file(bare.c_str(), check);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(check, FileCheck::not_part10);
    EXPECT_EQ(std::ftell(f), 0);
    std::fclose(f);
}
