// Transfer syntax switch, sequence nesting and encapsulated data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/log.h"
#include "reader/dicom_reader.h"
#include "reader_support.h"

using namespace testing_dicom;

namespace {

class ReaderSequence : public ::testing::Test {
protected:
    void TearDown() override { dicom_close(); }
};

// Bytes padded past 132 with a trailing top-level element.
std::string padded(DicomBytes b, const char* name)
{
    b.element(0x7777, 0x0010, "LO", std::string(132, 'z'));
    return write_temp(name, b.bytes());
}

std::string tag_text(uint16_t g, uint16_t e)
{
    char text[16];
    std::snprintf(text, sizeof text, "(%04X,%04X)", g, e);
    return text;
}

// depth/sequence tag/encapsulated of one element, as "depth seqtag encaps".
std::string context(const Seen& s)
{
    return std::to_string(s.sq_depth) + " " + (s.sq_depth > 0 ? tag_text(s.sq_group, s.sq_element) : "-") + " " +
           std::to_string(s.encapsulated);
}

} // namespace

TEST_F(ReaderSequence, DefinedLengthSequenceIsCountedDown)
{
    DicomBytes b;
    b.element(0x0008, 0x0060, "CS", "CT");
    b.header(0x0008, 0x1140, "SQ", 26).item(18).element(0x0008, 0x1155, "UI", "1.2.3.4.5\0");
    b.element(0x0010, 0x0010, "PN", "A^B ");
    ASSERT_EQ(dicom_open(padded(b, "sq26.dcm").c_str()), 0);
    ASSERT_NE(dicom_element(), nullptr);
    ASSERT_EQ(dicom_skip(), 0);

    const ELEMENT* e = dicom_element(); // the sequence
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->sq_depth, 0);
    EXPECT_EQ(dicom_default_reader().state().sq_level, 1);
    EXPECT_EQ(dicom_default_reader().state().sq_remaining[1], 26U);
    ASSERT_EQ(dicom_skip(), 0);

    e = dicom_element(); // the item: its 8 header bytes counted
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->group, 0xFFFE);
    EXPECT_EQ(e->sq_depth, 1);
    EXPECT_EQ(e->sq_group, 0x0008);
    EXPECT_EQ(e->sq_element, 0x1140);
    EXPECT_EQ(dicom_default_reader().state().sq_remaining[1], 18U);
    ASSERT_EQ(dicom_skip(), 0);

    e = dicom_element(); // 8 + 10 bytes: the level closes
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->element, 0x1155);
    EXPECT_EQ(e->sq_depth, 1);
    EXPECT_EQ(dicom_default_reader().state().sq_level, 0);
    ASSERT_EQ(dicom_skip(), 0);

    e = dicom_element();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->group, 0x0010);
    EXPECT_EQ(e->sq_depth, 0);
}

TEST_F(ReaderSequence, UndefinedLengthSequenceClosesAtItsDelimiter)
{
    for (const Encoding encoding : {Encoding::ExplicitLittle, Encoding::ImplicitLittle, Encoding::ExplicitBig}) {
        DicomBytes b(encoding);
        b.element(0x0008, 0x0060, "CS", "OT"); // something to guess the encoding from
        b.header(0x0008, 0x1115, "SQ", UNDEFINED_LENGTH);
        b.item().element(0x0020, 0x000E, "UI", "1.2.3\0");
        b.header(0x0008, 0x1140, "SQ", UNDEFINED_LENGTH).item(18).element(0x0008, 0x1155, "UI", "1.2.3.4.5\0");
        b.sequence_end().item_end();
        b.sequence_end();
        b.element(0x0010, 0x0010, "PN", "A^B ");
        LogCapture log(LogLevel::warning);
        const std::vector<Seen> seen = walk(padded(b, "sq_undefined.dcm"));
        ASSERT_EQ(seen.size(), 12U);
        const std::vector<std::string> expected = {
            "0 - 0",           "0 - 0",           "1 (0008,1115) 0", "1 (0008,1115) 0",
            "1 (0008,1115) 0", "2 (0008,1140) 0", "2 (0008,1140) 0", "2 (0008,1140) 0",
            "1 (0008,1115) 0", "1 (0008,1115) 0", "0 - 0",           "0 - 0",
        };
        for (std::size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(context(seen[i]), expected[i]) << i;
        }
        EXPECT_EQ(tag_text(seen[9].group, seen[9].element), "(FFFE,E0DD)");
        EXPECT_TRUE(log.problems().empty());
    }
}

TEST_F(ReaderSequence, ZeroLengthSequenceClosesOnTheNextElement)
{
    DicomBytes b;
    b.header(0x0040, 0xA730, "SQ", UNDEFINED_LENGTH).item();
    b.header(0x0040, 0xA088, "SQ", 0);
    b.element(0x0040, 0xA075, "PN", "Observer^X");
    b.element(0x0040, 0xA010, "CS", "HAS ");
    b.item_end().sequence_end();
    b.element(0x0010, 0x0010, "PN", "A^B ");
    LogCapture log(LogLevel::warning);
    const std::vector<Seen> seen = walk(padded(b, "sq_zero.dcm"));
    ASSERT_GE(seen.size(), 7U);
    EXPECT_EQ(context(seen[2]), "1 (0040,A730) 0"); // the empty sequence
    EXPECT_EQ(context(seen[3]), "2 (0040,A088) 0"); // reported inside it
    EXPECT_EQ(context(seen[4]), "1 (0040,A730) 0");
    EXPECT_EQ(context(seen[6]), "1 (0040,A730) 0");
    EXPECT_EQ(context(seen[7]), "0 - 0");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"warning: Incorrect sequence length"});
}

TEST_F(ReaderSequence, NestsTo255LevelsAndNoFurther)
{
    DicomBytes b;
    for (int level = 0; level < 256; ++level) {
        b.header(0x0008, 0x1140, "SQ", UNDEFINED_LENGTH).item();
    }
    b.element(0x0008, 0x1155, "UI", "1.2\0");
    for (int level = 0; level < 256; ++level) {
        b.item_end().sequence_end();
    }
    b.element(0x0010, 0x0010, "PN", "A^B ");
    LogCapture log(LogLevel::warning);
    const std::vector<Seen> seen = walk(write_temp("deep.dcm", b.bytes()));
    ASSERT_EQ(seen.size(), 2U * 256 + 1 + 2U * 256 + 1);
    EXPECT_EQ(seen[2 * 254].sq_depth, 254U); // the 255th sequence opens level 255
    EXPECT_EQ(seen[2 * 255].sq_depth, 255U); // the 256th opens nothing
    EXPECT_EQ(seen[2 * 256].sq_depth, 255U);
    EXPECT_EQ(seen[2 * 256].element, 0x1155);
    EXPECT_EQ(seen.back().sq_depth, 0U);
    // 256 delimiters for 255 levels: the last finds no sequence open.
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"warning: Deep sequence hierarchy",
                                                     "warning: Incorrect sequence delimiter"}));
}

TEST_F(ReaderSequence, PrematureItemIsPassedOver)
{
    DicomBytes b;
    b.header(0x0008, 0x1140, "SQ", UNDEFINED_LENGTH);
    b.header(0xFFFE, 0x0000, "", 0x12345678).raw("junk");
    b.item().element(0x0008, 0x1155, "UI", "1.2\0").item_end().sequence_end();
    b.element(0x0010, 0x0010, "PN", "A^B ");
    const std::string path = padded(b, "premature.dcm");
    LogCapture log(LogLevel::warning);
    ASSERT_EQ(dicom_open(path.c_str()), 0);
    ASSERT_NE(dicom_element(), nullptr);
    ASSERT_EQ(dicom_skip(), 0);
    ELEMENT* e = dicom_element();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->element, 0x0000);
    EXPECT_EQ(e->length, 0U);
    EXPECT_EQ(e->vm, 0U);
    EXPECT_EQ(e->sq_depth, 1);
    ASSERT_EQ(dicom_skip(), 0);
    e = dicom_element();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->element, 0xE000);
    EXPECT_EQ(e->offset, 12 + 12);
    dicom_close();
    const std::vector<Seen> seen = walk(path);
    EXPECT_EQ(seen.size(), 8U);
    EXPECT_EQ(seen[6].sq_depth, 0U);
    EXPECT_EQ(log.count("warning: Skip PHILIPS premature item bug"), 2);
    EXPECT_EQ(log.problems().size(), 2U);
}

TEST_F(ReaderSequence, PrematureItemAtTheEndOfTheFile)
{
    DicomBytes b;
    b.element(0x0008, 0x0070, "LO", std::string(140, 'M'));
    b.header(0x0008, 0x1140, "SQ", UNDEFINED_LENGTH);
    b.header(0xFFFE, 0x0000, "", 0).raw("ab"); // 2 of its 4 extra bytes
    LogCapture log(LogLevel::warning);
    const std::vector<Seen> seen = walk(write_temp("premature_end.dcm", b.bytes()));
    EXPECT_EQ(seen.size(), 2U);
    EXPECT_EQ(dicom_default_reader().state().failure, -2);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"warning: Skip PHILIPS premature item bug",
                                                     "error: Unexpected end of file"}));
}

TEST_F(ReaderSequence, EncapsulatedDataIsOpaqueAndItsDelimiterClosesNoSequence)
{
    DicomBytes b;
    b.header(0x0088, 0x0200, "SQ", UNDEFINED_LENGTH).item();
    b.header(0x7FE0, 0x0010, "OB", UNDEFINED_LENGTH).item(0).item(4).raw("\xFF\xD8\xFF\xD9").sequence_end();
    b.item_end().sequence_end();
    b.header(0x7FE0, 0x0010, "OB", UNDEFINED_LENGTH).item(0).sequence_end();
    b.element(0x7FE1, 0x0010, "LO", "after ");
    LogCapture log(LogLevel::warning);
    const std::vector<Seen> seen = walk(padded(b, "encapsulated.dcm"));
    ASSERT_EQ(seen.size(), 13U);
    const std::vector<std::string> expected = {
        "0 - 0",
        "1 (0088,0200) 0",
        "1 (0088,0200) 0",
        "1 (0088,0200) -1",
        "1 (0088,0200) -1",
        "1 (0088,0200) -1",
        "1 (0088,0200) 0",
        "1 (0088,0200) 0",
        "0 - 0",
        "0 - -1",
        "0 - -1",
        "0 - 0",
        "0 - 0",
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(context(seen[i]), expected[i]) << i;
    }
    EXPECT_TRUE(log.problems().empty());
}

TEST_F(ReaderSequence, ImplicitUnlistedSequenceOfUndefinedLengthIsEncapsulated)
{
    DicomBytes b(Encoding::ImplicitLittle);
    b.element(0x0008, 0x0060, "", "OT");
    b.header(0x0009, 0x1010, "", UNDEFINED_LENGTH).item(10).element(0x0009, 0x0010, "", "AB");
    b.sequence_end();
    b.element(0x0010, 0x0010, "", "A^B ");
    const std::vector<Seen> seen = walk(padded(b, "implicit_private.dcm"));
    ASSERT_EQ(seen.size(), 6U);
    EXPECT_EQ(vr_text(seen[1].vr), "UN");
    EXPECT_EQ(context(seen[2]), "0 - -1");
    EXPECT_EQ(seen[2].length, 10U);
    EXPECT_EQ(context(seen[3]), "0 - -1");
    EXPECT_EQ(context(seen[4]), "0 - 0");
}

namespace {

struct SyntaxCase {
    const char* uid;
    int32_t syntax, data_syntax, pixel_syntax, compression;
    const char* warning; // or null
};

// A DICM file with the given transfer syntax and one data element encoded
// as the syntax requires.
std::string syntax_file(const SyntaxCase& c)
{
    DicomBytes b;
    b.preamble().meta(c.uid);
    const bool big = (c.syntax & SYNTAX_BIG) != 0;
    const bool implicit = (c.syntax & SYNTAX_IMPLICIT) != 0;
    b.set_encoding(big ? (implicit ? Encoding::ImplicitBig : Encoding::ExplicitBig)
                       : (implicit ? Encoding::ImplicitLittle : Encoding::ExplicitLittle));
    b.element(0x0028, 0x0010, "US", b.n16(512));
    return write_temp("syntax.dcm", b.bytes());
}

} // namespace

TEST_F(ReaderSequence, EveryTransferSyntaxMapping)
{
    const char* lossy[] = {".50", ".51", ".52", ".53", ".54", ".55", ".56",
                           ".59", ".60", ".61", ".62", ".63", ".64"};
    const char* lossless[] = {".57", ".58", ".65", ".66", ".70"};
    std::vector<SyntaxCase> cases = {
        {"1.2.840.10008.1.2", 5, 5, 5, 0, nullptr},
        {"1.2.840.10008.1.2.1", 9, 9, 9, 0, nullptr},
        {"1.2.840.10008.1.2.2", 10, 10, 10, 0, nullptr},
        {"1.2.840.10008.1.2.5", 9, 9, 9, 128, nullptr},
        {"1.2.840.10008.1.2.4.80", 9, 9, 9, 16, nullptr},
        {"1.2.840.10008.1.2.4.90", 9, 9, 9, 16, nullptr},
        {"1.2.840.10008.1.2.4.100", 9, 9, 9, 16, nullptr},
        {"1.2.840.10008.1.2.4.5", 9, 9, 9, 16, nullptr},
        {"1.2.840.10008.1.2.4.700", 9, 9, 9, 32, nullptr}, // prefix comparison
        {"1.2.840.10008.1.2.3", 9, 9, 9, 0, "warning: Unknown transfer syntax"},
        {"1.2.840.10008.1.20", 5, 5, 5, 0, nullptr},
    };
    for (const char* tail : lossy) {
        cases.push_back({nullptr, 9, 9, 9, 64, nullptr});
        cases.back().uid = strdup((std::string("1.2.840.10008.1.2.4") + tail).c_str());
    }
    for (const char* tail : lossless) {
        cases.push_back({nullptr, 9, 9, 9, 32, nullptr});
        cases.back().uid = strdup((std::string("1.2.840.10008.1.2.4") + tail).c_str());
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const SyntaxCase& c = cases[i];
        dicom_default_reader().state().compression = -7;
        LogCapture log(LogLevel::warning);
        const std::vector<Seen> seen = walk(syntax_file(c));
        ASSERT_EQ(seen.size(), 4U) << c.uid;
        EXPECT_EQ(seen[3].length, 2U) << c.uid;
        EXPECT_EQ(dicom_default_reader().state().syntax, c.syntax) << c.uid;
        EXPECT_EQ(dicom_default_reader().state().data_syntax, c.data_syntax) << c.uid;
        EXPECT_EQ(dicom_default_reader().state().pixel_syntax, c.pixel_syntax) << c.uid;
        EXPECT_EQ(dicom_default_reader().state().compression, c.compression) << c.uid;
        if (c.warning != nullptr) {
            EXPECT_EQ(log.lines(), (std::vector<std::string>{c.warning, std::string("warning: ") + c.uid}));
        } else {
            EXPECT_TRUE(log.problems().empty()) << c.uid;
        }
        if (i >= 11) {
            std::free(const_cast<char*>(c.uid));
        }
    }
}

TEST_F(ReaderSequence, TransferSyntaxOutsideDicomOrMissing)
{
    dicom_default_reader().state().compression = COMPRESSION_RLE;
    {
        LogCapture log(LogLevel::warning);
        const std::vector<Seen> seen = walk(syntax_file({"1.3.6.1.4.1.9590.100.1.2", 9, 9, 9, 0, nullptr}));
        EXPECT_EQ(seen.size(), 4U);
        EXPECT_EQ(log.lines(), std::vector<std::string>{"warning: Transfer syntax is not DICOM"});
        EXPECT_EQ(dicom_default_reader().state().compression, COMPRESSION_RLE); // untouched
    }
    {
        LogCapture log(LogLevel::warning);
        const std::vector<Seen> seen = walk(syntax_file({"", 9, 9, 9, 0, nullptr}));
        EXPECT_EQ(seen.size(), 3U);
        EXPECT_EQ(log.lines(), std::vector<std::string>{"warning: No transfer syntax found"});
    }
    // A bare data set applies no transfer syntax and keeps the last kind.
    DicomBytes bare;
    bare.element(0x0008, 0x0070, "LO", std::string(140, 'M'));
    EXPECT_EQ(walk(write_temp("bare.dcm", bare.bytes())).size(), 1U);
    EXPECT_EQ(dicom_default_reader().state().compression, COMPRESSION_RLE);
}

TEST_F(ReaderSequence, ByteSwappedPixelDataSyntax)
{
    DicomBytes b;
    b.preamble().meta("1.2.840.113619.5.2");
    b.set_encoding(Encoding::ImplicitLittle);
    b.element(0x0028, 0x0010, "US", b.n16(2));
    b.element(0x0028, 0x0011, "US", b.n16(1));
    b.element(0x7FE0, 0x0010, "OW", std::string("\x01\x02\x03\x04", 4));
    dicom_default_reader().state().compression = COMPRESSION_RLE;
    ASSERT_EQ(dicom_open(write_temp("swapped.dcm", b.bytes()).c_str()), 0);
    std::vector<std::string> values;
    while (ELEMENT* e = dicom_element()) {
        if (e->group == 0x0002) {
            ASSERT_EQ(dicom_skip(), 0);
            continue;
        }
        ASSERT_EQ(dicom_load(e->group == 0x7FE0 ? VR_OW : VR_US), 0);
        values.emplace_back(static_cast<const char*>(e->value), e->length);
        std::free(e->value);
    }
    EXPECT_EQ(dicom_default_reader().state().data_syntax, 5);
    EXPECT_EQ(dicom_default_reader().state().pixel_syntax, 6);
    EXPECT_EQ(dicom_default_reader().state().compression, COMPRESSION_RLE);
    ASSERT_EQ(values.size(), 3U);
    uint16_t rows = 0;
    std::memcpy(&rows, values[0].data(), 2);
    EXPECT_EQ(rows, 2);
    uint16_t pixels[2];
    std::memcpy(pixels, values[2].data(), 4);
    EXPECT_EQ(pixels[0], 0x0102);
    EXPECT_EQ(pixels[1], 0x0304);
}
