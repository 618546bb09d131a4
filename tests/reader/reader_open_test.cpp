// Opening files, guessing the encoding, the meta group switch, the stream
// checks and the reader's end of walk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/log.h"
#include "reader/dicom_reader.h"
#include "reader_support.h"

using namespace testing_dicom;

namespace {

class ReaderOpen : public ::testing::Test {
protected:
    void TearDown() override { dicom_close(); }
};

// A no-preamble file starting with (0008,0005) and padded past 132 bytes.
DicomBytes bare_file(Encoding encoding)
{
    DicomBytes b(encoding);
    b.element(0x0008, 0x0005, "CS", "ISO_IR 100");
    b.element(0x0008, 0x0070, "LO", std::string(140, 'M'));
    b.element(0x0010, 0x0010, "PN", "Doe^John");
    return b;
}

} // namespace

TEST_F(ReaderOpen, RefusesMissingNameMissingFileAndShortFile)
{
    LogCapture log(LogLevel::warning);
    EXPECT_EQ(dicom_open(nullptr), -1);
    EXPECT_EQ(dicom_open("/nonexistent/velmor/file.dcm"), -4);
    EXPECT_EQ(dicom_default_reader().state().reader_stream, nullptr);
    DicomBytes short_file;
    short_file.raw(std::string(131, 'x'));
    EXPECT_EQ(dicom_open(write_temp("short.dcm", short_file.bytes()).c_str()), -5);
    EXPECT_EQ(dicom_default_reader().state().reader_stream, nullptr);
    const std::vector<std::string> expected = {"error: No file given", "error: Unable to open file",
                                               "error: Unexpected end of file"};
    EXPECT_EQ(log.lines(), expected);
}

TEST_F(ReaderOpen, GuessesEachEncodingWithoutPreamble)
{
    struct Case {
        Encoding encoding;
        int32_t syntax;
        const char* first_bytes;
    };
    const Case cases[] = {
        {Encoding::ImplicitLittle, 5, "\x08\x00\x05\x00\x0A\x00\x00\x00"},
        {Encoding::ExplicitLittle, 9,
         "\x08\x00\x05\x00"
         "CS\x0A\x00"},
        {Encoding::ImplicitBig, 6, "\x00\x08\x00\x05\x00\x00\x00\x0A"},
        {Encoding::ExplicitBig, 10,
         "\x00\x08\x00\x05"
         "CS\x00\x0A"},
    };
    for (const Case& c : cases) {
        const DicomBytes file = bare_file(c.encoding);
        ASSERT_EQ(file.bytes().substr(0, 8), std::string(c.first_bytes, 8));
        const std::string path = write_temp("bare.dcm", file.bytes());
        ASSERT_EQ(dicom_open(path.c_str()), 0);
        EXPECT_EQ(dicom_default_reader().state().syntax, c.syntax);
        EXPECT_EQ(dicom_default_reader().state().data_syntax, c.syntax);
        EXPECT_EQ(dicom_default_reader().state().pixel_syntax, c.syntax);
        EXPECT_EQ(dicom_default_reader().state().meta_pending, 0);
        dicom_close();

        const std::vector<Seen> seen = walk(path);
        ASSERT_EQ(seen.size(), 3U) << c.syntax;
        EXPECT_EQ(seen[1].group, 0x0008);
        EXPECT_EQ(seen[1].element, 0x0070);
        EXPECT_EQ(seen[1].length, 140U);
        EXPECT_EQ(seen[2].group, 0x0010);
        EXPECT_EQ(seen[2].length, 8U);
        // Implicit VR elements take their VR from the lookup table.
        EXPECT_EQ(vr_text(seen[2].vr), (c.syntax & SYNTAX_IMPLICIT) != 0 ? "UN" : "PN");
    }
}

TEST_F(ReaderOpen, MetaGroupIsExplicitUnlessItsFirstElementHasNoVr)
{
    DicomBytes explicit_meta;
    explicit_meta.preamble().meta("1.2.840.10008.1.2.1").element(0x0008, 0x0060, "CS", "CT");
    ASSERT_EQ(dicom_open(write_temp("explicit_meta.dcm", explicit_meta.bytes()).c_str()), 0);
    EXPECT_EQ(dicom_default_reader().state().syntax, 9);
    EXPECT_EQ(dicom_default_reader().state().meta_pending, -1);
    dicom_close();

    // No (0002,0000): the meta group starts with (0002,0001) OB and is still
    // explicit; an implicit data set follows its transfer syntax.
    DicomBytes no_group_length;
    no_group_length.preamble();
    no_group_length.element(0x0002, 0x0001, "OB", std::string("\0\1", 2));
    no_group_length.element(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2\0", 18));
    no_group_length.set_encoding(Encoding::ImplicitLittle);
    no_group_length.element(0x0008, 0x0060, "CS", "CT");
    const std::vector<Seen> without = walk(write_temp("no_group_length.dcm", no_group_length.bytes()));
    ASSERT_EQ(without.size(), 3U);
    EXPECT_EQ(without[0].length, 2U);
    EXPECT_EQ(vr_text(without[0].vr), "OB");
    EXPECT_EQ(without[1].length, 18U);
    EXPECT_EQ(without[2].group, 0x0008);
    EXPECT_EQ(without[2].length, 2U);

    // The meta group written implicit: the transfer syntax ".1" then keeps it.
    DicomBytes implicit_meta(Encoding::ImplicitLittle);
    implicit_meta.preamble();
    implicit_meta.element(0x0002, 0x0000, "UL", implicit_meta.n32(30));
    implicit_meta.element(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2.1\0", 20));
    implicit_meta.element(0x0008, 0x0060, "CS", "CT");
    const std::string path = write_temp("implicit_meta.dcm", implicit_meta.bytes());
    ASSERT_EQ(dicom_open(path.c_str()), 0);
    EXPECT_EQ(dicom_default_reader().state().syntax, 5);
    dicom_close();
    const std::vector<Seen> seen = walk(path);
    ASSERT_EQ(seen.size(), 3U);
    EXPECT_EQ(seen[1].length, 20U);
    EXPECT_EQ(seen[2].group, 0x0008);
    EXPECT_EQ(seen[2].length, 2U);
    EXPECT_EQ(vr_text(seen[2].vr), "UN");
}

TEST_F(ReaderOpen, FirstDataSetElementIsReadOnceInItsOwnEncoding)
{
    DicomBytes file;
    file.preamble().meta("1.2.840.10008.1.2");
    const std::size_t data_start = file.size();
    file.set_encoding(Encoding::ImplicitLittle);
    file.element(0x0008, 0x0060, "CS", "MR");
    file.element(0x0010, 0x0010, "PN", "Doe^Jane");
    LogCapture log;
    const std::vector<Seen> seen = walk(write_temp("switch.dcm", file.bytes()));
    ASSERT_EQ(seen.size(), 5U);
    EXPECT_EQ(seen[3].offset, static_cast<int32_t>(data_start));
    EXPECT_EQ(seen[3].group, 0x0008);
    EXPECT_EQ(seen[3].length, 2U);
    EXPECT_EQ(seen[4].length, 8U);
    EXPECT_EQ(log.count("debug: dicom_transfer()"), 1);
    EXPECT_TRUE(log.problems().empty());
}

TEST_F(ReaderOpen, DataSetOfAMediaDirectoryStartsAtGroup0004)
{
    // A directory's data set begins with group 0x0004: its encoding applies there.
    DicomBytes file;
    file.preamble().meta("1.2.840.10008.1.2");
    file.set_encoding(Encoding::ImplicitLittle);
    file.element(0x0004, 0x1130, "CS", "");
    file.element(0x0004, 0x1200, "UL", file.n32(0));
    file.element(0x0004, 0x1220, "SQ", "");
    const std::vector<Seen> seen = walk(write_temp("dir.dcm", file.bytes()));
    ASSERT_EQ(seen.size(), 6U);
    EXPECT_EQ(seen[3].length, 0U);
    EXPECT_EQ(seen[4].length, 4U);
    EXPECT_EQ(vr_text(seen[5].vr), "SQ");
    EXPECT_EQ(dicom_default_reader().state().failure, 0);
}

TEST_F(ReaderOpen, LogsThePreambleTextWithinItsBytes)
{
    // A preamble without any NUL: its text ends at byte 128, before "DICM".
    DicomBytes file;
    file.preamble(std::string(128, 'P')).meta("1.2.840.10008.1.2.1");
    LogCapture log(LogLevel::info);
    ASSERT_EQ(dicom_open(write_temp("preamble.dcm", file.bytes()).c_str()), 0);
    const std::vector<std::string> expected = {"info: Dicom preamble", "info: " + std::string(128, 'P')};
    EXPECT_EQ(log.lines(), expected);
}

TEST_F(ReaderOpen, EndOfFileAtAnElementBoundaryEndsSilently)
{
    DicomBytes file = bare_file(Encoding::ExplicitLittle);
    LogCapture log;
    const std::vector<Seen> seen = walk(write_temp("end.dcm", file.bytes()));
    EXPECT_EQ(seen.size(), 3U);
    EXPECT_TRUE(log.problems().empty());
    EXPECT_EQ(dicom_default_reader().state().failure, 0);
    EXPECT_EQ(dicom_default_reader().state().reader_stream, nullptr);
    EXPECT_EQ(dicom_close(), 0);
}

TEST_F(ReaderOpen, HeaderCutByTheEndOfFileIsAnError)
{
    DicomBytes file = bare_file(Encoding::ExplicitLittle);
    file.raw(std::string("\x10\x00\x20\x00LO", 6)); // tag and VR, no length
    LogCapture log(LogLevel::warning);
    const std::vector<Seen> seen = walk(write_temp("cut_header.dcm", file.bytes()));
    EXPECT_EQ(seen.size(), 3U);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"error: Unexpected end of file"});
    EXPECT_EQ(dicom_default_reader().state().failure, -2);
}

TEST_F(ReaderOpen, OpeningWhileOpenGoesOnFromTheOpenStream)
{
    DicomBytes first = bare_file(Encoding::ExplicitLittle);
    ASSERT_EQ(dicom_open(write_temp("first.dcm", first.bytes()).c_str()), 0);
    std::FILE* stream = dicom_default_reader().state().reader_stream;
    ASSERT_NE(dicom_element(), nullptr);
    ASSERT_EQ(dicom_skip(), 0);
    // The name is not used: the 132 bytes come from the open stream, which
    // holds no "DICM", so the reader rewinds it and guesses again.
    EXPECT_EQ(dicom_open("/nonexistent/other.dcm"), 0);
    EXPECT_EQ(dicom_default_reader().state().reader_stream, stream);
    const ELEMENT* e = dicom_element();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->offset, 0);
    EXPECT_EQ(e->element, 0x0005);
}

TEST_F(ReaderOpen, ClosedReaderRefusesLoadsAndSkips)
{
    LogCapture log(LogLevel::warning);
    EXPECT_EQ(dicom_element(), nullptr);
    EXPECT_EQ(dicom_load(VR_US), -1);
    EXPECT_EQ(dicom_skip(), -1);
    EXPECT_EQ(dicom_close(), 0);
    const std::vector<std::string> expected = {"warning: Stream closed - attempt to load",
                                               "warning: Stream closed - attempt to skip"};
    EXPECT_EQ(log.lines(), expected);
}

TEST_F(ReaderOpen, EveryOperationLogsItsEntryInCallOrder)
{
    DicomBytes file = bare_file(Encoding::ExplicitLittle);
    const std::string path = write_temp("entries.dcm", file.bytes());
    LogCapture log(LogLevel::debug);
    ASSERT_EQ(dicom_open(path.c_str()), 0);
    ELEMENT* e = dicom_element();
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(dicom_load(VR_UN), 0);
    std::free(e->value);
    ASSERT_NE(dicom_element(), nullptr);
    dicom_skip();
    dicom_close();
    const std::vector<std::string> expected = {
        "debug: dicom_open()",    "debug: dicom_encapsulated()", "debug: dicom_sequence()",
        "debug: dicom_element()", "debug: dicom_encapsulated()", "debug: dicom_sequence()",
        "debug: dicom_load()",    "debug: dicom_endian()",       "debug: dicom_vm()",
        "debug: dicom_element()", "debug: dicom_encapsulated()", "debug: dicom_sequence()",
        "debug: dicom_skip()",    "debug: dicom_close()",
    };
    EXPECT_EQ(log.lines(), expected);
}
