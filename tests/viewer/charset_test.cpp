// Character sets: the decoder on hand-built values, and the header walk that
// applies (0008,0005) by nesting level, with both report encodings.
#include "viewer/charset.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "tests/common/dicom_bytes.h"
#include "tests/common/test_temp_dir.h"
#include "viewer/encoding.h"
#include "viewer/header_walk.h"
#include "viewer/report.h"

using namespace test_dicom;

namespace {

std::string decode(const char* charset, const std::string& bytes, TextShape shape, bool cut = false)
{
    const std::optional<CharacterSet> set = CharacterSet::from_value(charset);
    EXPECT_TRUE(set) << charset;
    return set ? set->decode(bytes, shape, cut) : std::string("<unknown set>");
}

const std::string to_cyrillic = "\x1B-L";
const std::string replacement = "\xEF\xBF\xBD";

} // namespace

TEST(CharacterSet, KnowsTheDeclaredSetsAndRefusesOthers)
{
    for (const char* known : {"ISO_IR 100", "ISO_IR 203 ", "\\ISO 2022 IR 87", "ISO 2022 IR 13\\ISO 2022 IR 87",
                              "GB18030", "ISO_IR 192\\ISO 2022 IR 87", "ISO 2022 IR 6\\ISO 2022 IR 149"}) {
        EXPECT_TRUE(CharacterSet::from_value(known)) << known;
    }
    for (const char* unknown :
         {"", "  ", "ISO_IR 999", "ISO 2022 IR 87\\SHIFT_JIS", "iso_ir 100", "ISO_IR 100\\ISO_IR 99\\"}) {
        EXPECT_FALSE(CharacterSet::from_value(unknown)) << unknown;
    }
}

TEST(CharacterSet, SingleByteAndMultiByteSets)
{
    EXPECT_EQ(decode("ISO_IR 100",
                     "\xC4neas^R\xFC"
                     "diger",
                     TextShape::person_name),
              "Äneas^Rüdiger");
    EXPECT_EQ(decode("ISO_IR 144", "\xBB\xEE", TextShape::multi_valued), "Лю");
    EXPECT_EQ(decode("ISO_IR 203", "\xA4", TextShape::multi_valued), "€");
    EXPECT_EQ(decode("ISO_IR 166", "\xA1", TextShape::multi_valued), "ก");
    EXPECT_EQ(decode("ISO_IR 13", "\xD4\\~", TextShape::multi_valued), "ﾔ\\~");
    EXPECT_EQ(decode("GB18030", "\xCD\xF5", TextShape::person_name), "王");
    EXPECT_EQ(decode("ISO_IR 192", "\xE7\x8E\x8B", TextShape::person_name), "王");
    EXPECT_EQ(decode("ISO_IR 6", "abc\0def", TextShape::multi_valued), "abc") << "ends at the first zero byte";
    EXPECT_EQ(decode("ISO_IR 192",
                     "a\xFF"
                     "b",
                     TextShape::multi_valued),
              "a" + replacement + "b");
}

TEST(CharacterSet, EscapeStateResetsAtValueComponentGroupAndControlCharacter)
{
    // 0xBB is Л after ESC - L (ISO 8859-5), » in the first set (Latin-1).
    const char* latin_cyrillic = "ISO 2022 IR 100\\ISO 2022 IR 144";
    const std::string bytes = to_cyrillic + "\xBB";
    EXPECT_EQ(decode(latin_cyrillic, bytes + "\\\xBB", TextShape::multi_valued), "Л\\»");
    EXPECT_EQ(decode(latin_cyrillic, bytes + "\\\xBB", TextShape::single_valued), "Л\\Л");
    EXPECT_EQ(decode(latin_cyrillic, bytes + "=\xBB", TextShape::person_name), "Л=»");
    EXPECT_EQ(decode(latin_cyrillic, bytes + "^\xBB", TextShape::person_name), "Л^»");
    EXPECT_EQ(decode(latin_cyrillic, bytes + "^\xBB", TextShape::multi_valued), "Л^Л");
    EXPECT_EQ(decode(latin_cyrillic, bytes + "\r\n\xBB", TextShape::single_valued), "Л\r\n»");
    EXPECT_EQ(decode(latin_cyrillic, bytes + "\\" + bytes, TextShape::multi_valued), "Л\\Л");

    // JIS X 0208: "$^" is one character, so "^" does not end it.
    const char* japanese = "\\ISO 2022 IR 87";
    EXPECT_EQ(decode(japanese, "\x1B$B;3ED\x1B(B^\x1B$B$^\x1B(B=x", TextShape::person_name), "山田^ま=x");
    EXPECT_EQ(decode(japanese, "\x1B$B;3\rx", TextShape::single_valued), "山\rx");
    EXPECT_EQ(decode("ISO 2022 IR 13\\ISO 2022 IR 87", "\xD4\x1B$B;3\x1B(J\\", TextShape::single_valued), "ﾔ山\\")
        << "ESC ( J keeps 0x5C a backslash";
    EXPECT_EQ(decode("\\ISO 2022 IR 149", "\x1B$)C\xC8\xAB^\xB1\xE6", TextShape::person_name), "홍^±æ")
        << "after \"^\" the high bytes are the first set's again";
    EXPECT_EQ(decode("\\ISO 2022 IR 159", "\x1B$(D\x30\x21\x1B(B", TextShape::single_valued), "丂");
    EXPECT_EQ(decode("\\ISO 2022 IR 58", "\x1B$)A\xCD\xF5", TextShape::single_valued), "王");
}

TEST(CharacterSet, IllFormedUtf8BecomesOneReplacementPerSequence)
{
    // The old 5- and 6-byte forms, overlong forms, surrogates and code points
    // past U+10FFFF: each lead byte with its continuation bytes is one U+FFFD.
    const std::pair<std::string, std::string> cases[] = {
        {"a\xFD\x8F\x8F\x8F\x8F\x8F"
         "b",
         "a" + replacement + "b"},
        {"\xF8\x88\x80\x80\x80", replacement},
        {"\xC0\xAF\xE0\x80\xAF", replacement + replacement},
        {"\xED\xA0\x80"
         "x",
         replacement + "x"},
        {"\xF4\x90\x80\x80", replacement},
        {"\xF0\x9F\x98\x80\xED\x9F\xBF", "\xF0\x9F\x98\x80\xED\x9F\xBF"},
    };
    for (const auto& [bytes, text] : cases) {
        for (const TextShape shape : {TextShape::multi_valued, TextShape::person_name}) {
            const std::string decoded = decode("ISO_IR 192", bytes, shape);
            EXPECT_EQ(decoded, text);
            EXPECT_TRUE(is_utf8(decoded));
        }
    }
    EXPECT_FALSE(is_utf8("\xFD\x8F\x8F\x8F\x8F\x8F"));
    EXPECT_FALSE(is_utf8("\xED\xA0\x80"));
}

TEST(CharacterSet, CutValuesEndAtACharacterBoundary)
{
    EXPECT_EQ(decode("ISO_IR 192", "ab\xE7\x8E", TextShape::multi_valued, true), "ab");
    EXPECT_EQ(decode("ISO_IR 192", "ab\xE7\x8E", TextShape::multi_valued, false), "ab" + replacement);
    EXPECT_EQ(decode("\\ISO 2022 IR 87", "\x1B$B;3E", TextShape::single_valued, true), "山");
    EXPECT_EQ(decode("\\ISO 2022 IR 87", "a\x1B$", TextShape::single_valued, true), "a");
    EXPECT_EQ(decode("GB18030", "a\x81\x30\x81", TextShape::single_valued, true), "a");
}

namespace {

struct Walked {
    HeaderListing listing;
    ViewerState state;
    std::string data(int row) const { return listing.grid.cell(row, 5); }
    std::string report(ReportEncoding encoding) const
    {
        return build_report({}, listing.grid, state.next_row, encoding);
    }
};

Walked walk_bytes(const DicomBytes& bytes)
{
    Walked w;
    const std::string path = write_temp("charset_walk.dcm", bytes.bytes());
    FileCheck check{};
    std::FILE* file = check_dicom_file(path.c_str(), check);
    EXPECT_NE(file, nullptr);
    if (file != nullptr) {
        walk_header(file, w.listing, w.state);
        std::fclose(file);
    }
    std::remove(path.c_str());
    return w;
}

} // namespace

TEST(CharsetWalk, DeclaredSetDecodesUndeclaredOrUnknownKeepsTheBytes)
{
    const std::string name = "\xC4neas";
    const Walked latin1 = walk_bytes(DicomBytes()
                                         .preamble()
                                         .element(0x0008, 0x0005, "CS", "ISO_IR 100")
                                         .element(0x0010, 0x0010, "PN", name + " "));
    EXPECT_EQ(latin1.data(2), "Äneas ");
    EXPECT_TRUE(latin1.listing.grid.holds_utf8(2, 5));
    EXPECT_NE(latin1.report(ReportEncoding::cp932).find("[ ?neas  ]\r\n"), std::string::npos);
    EXPECT_NE(latin1.report(ReportEncoding::utf8).find("[ Äneas  ]\r\n"), std::string::npos);

    // Shift-JIS bytes without a declared set, or under a set we do not know,
    // stay as they are; the UTF-8 report converts them from code page 932.
    const std::string sjis = "\x8E\x52\x93\x63";
    for (const char* declared : {"", "ISO_IR 999"}) {
        DicomBytes b = DicomBytes().preamble();
        if (*declared != '\0') {
            b.element(0x0008, 0x0005, "CS", declared);
        }
        const Walked w = walk_bytes(b.element(0x0010, 0x0010, "PN", sjis + "\xFF"));
        const int row = *declared != '\0' ? 2 : 1;
        EXPECT_EQ(w.data(row), sjis + "\xFF") << declared;
        EXPECT_FALSE(w.listing.grid.holds_utf8(row, 5));
        EXPECT_NE(w.report(ReportEncoding::cp932).find("[ " + sjis + "\xFF ]"), std::string::npos);
        EXPECT_NE(w.report(ReportEncoding::utf8).find("[ 山田" + replacement + " ]"), std::string::npos);
    }
}

TEST(CharsetWalk, AnItemCarriesItsOwnSetForTheElementsInsideIt)
{
    const std::string value = "\xBB";
    // Defined lengths: the item and the sequence end by position.
    DicomBytes item_content;
    item_content.element(0x0008, 0x0005, "CS", "ISO_IR 144").element(0x0010, 0x0020, "LO", value + " ");
    DicomBytes defined = DicomBytes().preamble().element(0x0008, 0x0005, "CS", "ISO_IR 100");
    defined.header(0x0008, 0x1115, "SQ", static_cast<uint32_t>(item_content.size() + 8))
        .item(static_cast<uint32_t>(item_content.size()))
        .raw(item_content.bytes())
        .element(0x0010, 0x0010, "PN", value + " ");
    const Walked d = walk_bytes(defined);
    ASSERT_EQ(d.state.next_row, 7);
    EXPECT_EQ(d.data(5), "Л ");
    EXPECT_EQ(d.data(6), "» ") << "after the sequence the data set's set is back";

    // Undefined lengths: delimiters end them.
    DicomBytes undefined = DicomBytes().preamble().element(0x0008, 0x0005, "CS", "ISO_IR 100");
    undefined.header(0x0008, 0x1115, "SQ", 0xFFFFFFFF)
        .item(0xFFFFFFFF)
        .raw(item_content.bytes())
        .element(0x0010, 0x0030, "LO", value + " ")
        .item_end()
        .item(0xFFFFFFFF)
        .element(0x0010, 0x0040, "LO", value + " ")
        .item_end()
        .sequence_end()
        .element(0x0010, 0x0010, "PN", value + " ");
    const Walked u = walk_bytes(undefined);
    ASSERT_EQ(u.state.next_row, 13);
    EXPECT_EQ(u.data(5), "Л ");
    EXPECT_EQ(u.data(6), "Л ");
    EXPECT_EQ(u.data(9), "» ") << "a second item inherits from the data set";
    EXPECT_EQ(u.data(12), "» ");
}

TEST(CharsetWalk, ALongValueIsCutAtACharacterBoundary)
{
    std::string value = "a";
    for (int i = 0; i < 50; ++i) {
        value += "\xC3\xA9";
    }
    const Walked w = walk_bytes(
        DicomBytes().preamble().element(0x0008, 0x0005, "CS", "ISO_IR 192").element(0x0010, 0x4000, "LT", value));
    std::string expected = "a";
    for (int i = 0; i < 39; ++i) {
        expected += "é";
    }
    EXPECT_EQ(w.data(2), expected + "...");
}
