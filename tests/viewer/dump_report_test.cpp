#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "viewer/display_info.h"
#include "viewer/element_grid.h"
#include "viewer/encoding.h"
#include "viewer/hex_dump.h"
#include "viewer/report.h"

TEST(HexDump, ThousandBytesGive62FullLinesAndAnEightByteTail)
{
    std::vector<uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i);
    }
    const std::vector<std::string> lines = dump_lines(bytes.data(), bytes.size());
    ASSERT_EQ(lines.size(), 63U);
    for (std::size_t k = 0; k < 62; ++k) {
        EXPECT_EQ(lines[k].size(), 73U) << k;
    }
    EXPECT_EQ(lines[0], "00000000 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ................");
    EXPECT_EQ(lines[2], "00000020 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F  !\"#$%&'()*+,-./");
    // 0x7F stands for itself; 0x80 and above become ".".
    EXPECT_EQ(lines[7], "00000070 70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F pqrstuvwxyz{|}~\x7F");
    EXPECT_EQ(lines[8].substr(57), "................");
    EXPECT_EQ(lines[61].substr(0, 9), "000003D0 ");
    EXPECT_EQ(lines[62], "000003E0 E0 E1 E2 E3 E4 E5 E6 E7 ........");
}

TEST(HexDump, ShowsDicmAtOffset128AndABareOffsetForAWholeLine)
{
    std::vector<uint8_t> bytes(132, 0);
    bytes[128] = 'D';
    bytes[129] = 'I';
    bytes[130] = 'C';
    bytes[131] = 'M';
    const std::vector<std::string> lines = dump_lines(bytes.data(), bytes.size());
    ASSERT_EQ(lines.size(), 9U);
    EXPECT_EQ(lines[8], "00000080 44 49 43 4D DICM");
    const std::vector<std::string> sixteen = dump_lines(bytes.data(), 16);
    ASSERT_EQ(sixteen.size(), 2U);
    EXPECT_EQ(sixteen[1], "00000010 ");
    EXPECT_EQ(dump_lines(nullptr, 0), std::vector<std::string>{"00000000 "});
    EXPECT_EQ(dump_header_lines()[0].size(), 73U);
    EXPECT_EQ(dump_header_lines()[1].size(), 73U);
}

TEST(Report, WritesMemoSeparatorAndRowsWithCrLf)
{
    ElementGrid grid;
    grid.set_cell(1, 0, "0010");
    grid.set_cell(1, 1, "0010");
    grid.set_cell(1, 2, "PN");
    grid.set_cell(1, 3, "4");
    grid.set_cell(1, 4, "Patient's Name");
    grid.set_cell(1, 5, "Doe^");
    grid.set_cell(2, 0, "0008");
    grid.set_cell(2, 1, "0090");
    grid.set_cell(2, 2, "PN");
    grid.set_cell(2, 3, "0");
    grid.set_cell(2, 4, "Referring Physician's Name");
    const std::string report = build_report({"line one", "line two"}, grid, 3);
    const std::string header_row = std::string("(Grp ID:Elm ID)  VR  Length  \t") + "\x90\xE0\x96\xBE" + " \t[ " +
                                   "\x83\x66\x81\x5B\x83\x5E" + " ]\r\n";
    EXPECT_EQ(report, "line one\r\nline two\r\n\r\n"
                      "------------------------------------------------------\r\n" +
                          header_row +
                          "(0010:0010)  PN  4  \tPatient's Name \t[ Doe^ ]\r\n"
                          "(0008:0090)  PN  0  \tReferring Physician's Name \t[  ]\r\n");
}

TEST(Report, LineFeedsInCellsAreWrittenAsCrLf)
{
    ElementGrid grid;
    grid.set_cell(1, 4, "Text\n");
    grid.set_cell(1, 5, "one\ntwo\r\nthree");
    const std::string report = build_report({}, grid, 2);
    EXPECT_EQ(report.substr(report.rfind(")  ")), ")      \tText\r\n \t[ one\r\ntwo\r\r\nthree ]\r\n");
}

TEST(Report, RowsBeyondTheFirstHundredAreWritten)
{
    ElementGrid grid;
    grid.set_cell(120, 5, "far");
    const std::string report = build_report({"x"}, grid, 121);
    EXPECT_NE(report.find("(:)      \t \t[ far ]\r\n"), std::string::npos);
    std::size_t lines = 0;
    for (char c : report) {
        lines += (c == '\n');
    }
    EXPECT_EQ(lines, 1U + 1U + 1U + 121U);
}

TEST(Report, MemoTextSplitsIntoLinesAsTheMemoCountsThem)
{
    EXPECT_TRUE(split_memo_lines("").empty());
    EXPECT_EQ(split_memo_lines("a"), std::vector<std::string>{"a"});
    EXPECT_EQ(split_memo_lines("a\n"), std::vector<std::string>{"a"});
    EXPECT_EQ(split_memo_lines("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(split_memo_lines("\n"), std::vector<std::string>{""});
    EXPECT_EQ(split_memo_lines("a\r\nb"), (std::vector<std::string>{"a", "b"}));
}

TEST(Encoding, Cp932BothWaysWithVisibleReplacement)
{
    EXPECT_EQ(utf8_to_cp932("説明"), "\x90\xE0\x96\xBE");
    EXPECT_EQ(utf8_to_cp932("データ"), "\x83\x66\x81\x5B\x83\x5E");
    EXPECT_EQ(cp932_to_utf8("\x83\x66\x81\x5B\x83\x5E"), "データ");
    EXPECT_EQ(cp932_to_utf8("ASCII \x7F"), "ASCII \x7F");
    // Bytes that start no CP932 character, and a cut double-byte character.
    EXPECT_EQ(cp932_to_utf8("a\x80"
                            "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(cp932_to_utf8("J\xA0rg\xFD"), "J\xEF\xBF\xBDrg\xEF\xBF\xBD");
    EXPECT_EQ(cp932_to_utf8("x\x83"), "x\xEF\xBF\xBD");
    // Characters the code page lacks become '?'.
    EXPECT_EQ(utf8_to_cp932("a\xF0\x9F\x98\x80"
                            "b"),
              "a?b");
    EXPECT_EQ(utf8_to_cp932("a\xFF"
                            "b"),
              "a?b");
}

TEST(ElementGrid, HeaderRowAndGrowth)
{
    ElementGrid grid;
    EXPECT_EQ(grid.row_count(), 100);
    EXPECT_EQ(grid.cell(0, 0), "Grp ID");
    EXPECT_EQ(grid.cell(0, 4), "\x90\xE0\x96\xBE");
    EXPECT_EQ(grid.cell(5000, 0), "");
    EXPECT_EQ(grid.cell(-1, 0), "");
    grid.set_cell(250, 3, "x");
    EXPECT_EQ(grid.row_count(), 251);
    grid.set_cell(1, 6, "ignored");
    EXPECT_EQ(grid.cell(1, 6), "");
    grid.clear_element_rows();
    EXPECT_EQ(grid.row_count(), 100);
    EXPECT_EQ(grid.cell(0, 5), "\x83\x66\x81\x5B\x83\x5E");
}

TEST(ElementGrid, CellsOfAnyLengthAndRewritesKeepTheirNeighbours)
{
    ElementGrid grid;
    const std::string long_cell(70000, 'v');
    grid.set_row(3, {"0008", "0005", "CS", "", std::string(200, 'd'), long_cell}, 1U << 5);
    grid.set_cell(3, 3, std::string("a\0b", 3)); // a zero byte is a byte like any other
    EXPECT_EQ(grid.cell(3, 0), "0008");
    EXPECT_EQ(grid.cell(3, 3), std::string("a\0b", 3));
    EXPECT_EQ(grid.cell(3, 4), std::string(200, 'd'));
    EXPECT_EQ(grid.cell(3, 5), long_cell);
    EXPECT_TRUE(grid.holds_utf8(3, 5));
    EXPECT_FALSE(grid.holds_utf8(3, 3));
    grid.set_cell(3, 5, "plain");
    EXPECT_FALSE(grid.holds_utf8(3, 5));
    EXPECT_EQ(grid.cell(3, 4), std::string(200, 'd'));
    EXPECT_EQ(grid.cell(2, 0), ""); // a row never written
}

TEST(DisplayInfo, GrayPaletteNormalAndInverted)
{
    DisplayInfo info;
    EXPECT_EQ(info.header_size, 40U);
    EXPECT_EQ(info.width, 256);
    EXPECT_EQ(info.height, 256);
    EXPECT_EQ(info.bit_count, 8);
    init_gray_palette(info, false);
    for (int i = 0; i < 256; ++i) {
        const auto& e = info.palette[static_cast<std::size_t>(i)];
        EXPECT_EQ(e[0], i);
        EXPECT_EQ(e[1], i);
        EXPECT_EQ(e[2], i);
        EXPECT_EQ(e[3], 1);
    }
    init_gray_palette(info, true);
    EXPECT_EQ(info.palette[0][0], 255);
    EXPECT_EQ(info.palette[255][2], 0);
    EXPECT_EQ(info.palette[10][3], 1);
}
