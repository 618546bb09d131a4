// Loading and skipping values: block layouts, byte order, value multiplicity,
// splitting and cleaning, lengths the file cannot hold, and the long-form VRs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/log.h"
#include "reader/dicom_reader.h"
#include "reader_support.h"

using namespace testing_dicom;

namespace {

class ReaderValue : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (void* block : owned_) {
            std::free(block);
        }
        dicom_close();
    }

    // Opens the built bytes (padded past 132 bytes with a trailing element).
    void open(DicomBytes bytes, const char* name = "value.dcm")
    {
        bytes.element(0x7777, 0x0010, "LO", std::string(132, 'z'));
        ASSERT_EQ(dicom_open(write_temp(name, bytes.bytes()).c_str()), 0);
    }

    ELEMENT* next()
    {
        ELEMENT* e = dicom_element();
        EXPECT_NE(e, nullptr);
        return e;
    }

    // Loads the current element and keeps its block for freeing.
    int load(int32_t hint = VR_UN)
    {
        const int status = dicom_load(hint);
        if (status == 0 && current_ != nullptr && current_->value != nullptr &&
            current_->value != static_cast<void*>(dicom_default_reader().state().transfer_syntax)) {
            owned_.push_back(current_->value);
        }
        return status;
    }

    ELEMENT* element_and_remember()
    {
        current_ = dicom_element();
        return current_;
    }

    static std::vector<std::string> components(const ELEMENT& e)
    {
        std::vector<std::string> out;
        auto* const* slots = static_cast<char* const*>(e.value);
        for (uint32_t i = 0; i < e.vm; ++i) {
            out.emplace_back(slots[i]);
        }
        return out;
    }

    std::vector<void*> owned_;
    ELEMENT* current_ = nullptr;
};

} // namespace

TEST_F(ReaderValue, SplitsStringsAndDropsThePaddingSpace)
{
    DicomBytes b;
    b.element(0x0028, 0x0030, "DS", std::string("1.5\\2.5 "));
    b.element(0x0008, 0x0018, "UI", std::string("1.2.3\0", 6));
    b.element(0x0008, 0x0070, "LO", std::string("odd"));
    open(b);
    ELEMENT* e = element_and_remember();
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(e->vm, 2U);
    EXPECT_EQ(components(*e), (std::vector<std::string>{"1.5", "2.5"}));
    // One block: the pointer table, then the text.
    EXPECT_EQ(static_cast<char**>(e->value)[0], static_cast<char*>(e->value) + 2 * sizeof(char*));

    element_and_remember();
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(e->vm, 1U);
    EXPECT_EQ(components(*e), std::vector<std::string>{"1.2.3"});

    element_and_remember();
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(components(*e), std::vector<std::string>{"odd"});
}

TEST_F(ReaderValue, CleanTrimsComponentsAndOpensPersonNames)
{
    DicomBytes b;
    b.element(0x0010, 0x0010, "PN", std::string(" Doe^John \\\tRoe^Jane\t"));
    b.element(0x0008, 0x0008, "CS", std::string("  \\A^B "));
    b.element(0x0008, 0x2111, "ST", std::string(" keep me "));
    open(b);
    ELEMENT* e = element_and_remember();
    ASSERT_EQ(load(), 0);
    dicom_clean();
    EXPECT_EQ(components(*e), (std::vector<std::string>{"Doe John", "Roe Jane"}));

    element_and_remember();
    ASSERT_EQ(load(), 0);
    dicom_clean();
    EXPECT_EQ(components(*e), (std::vector<std::string>{"", "A^B"}));

    element_and_remember();
    ASSERT_EQ(load(), 0);
    dicom_clean();
    EXPECT_STREQ(static_cast<char*>(e->value), " keep me ");
}

TEST_F(ReaderValue, BinaryValuesComeInHostOrderWithFourZeroBytes)
{
    DicomBytes b(Encoding::ExplicitBig);
    b.element(0x0028, 0x0010, "US", b.n16(512) + b.n16(0x1234));
    b.element(0x0028, 0x0009, "AT", b.n16(0x0018) + b.n16(0x1063) + b.n16(0x0020) + b.n16(0x0013));
    b.element(0x0018, 0x0088, "FD", b.n64(0x400921FB54442D18ULL));
    b.element(0x0028, 0x0011, "OB", std::string("\x01\x02\x03", 3));
    b.element(0x0018, 0x9219, "SL", b.n32(0xFFFFFFFE));
    open(b);
    ELEMENT* e = element_and_remember();
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(e->vm, 2U);
    const auto* us = static_cast<const uint16_t*>(e->value);
    EXPECT_EQ(us[0], 512);
    EXPECT_EQ(us[1], 0x1234);
    EXPECT_EQ(us[2], 0);
    EXPECT_EQ(us[3], 0);

    element_and_remember();
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(e->vm, 2U);
    const auto* at = static_cast<const uint16_t*>(e->value);
    EXPECT_EQ(at[0], 0x0018);
    EXPECT_EQ(at[1], 0x1063);
    EXPECT_EQ(at[3], 0x0013);

    element_and_remember();
    ASSERT_EQ(load(), 0);
    double pi = 0;
    std::memcpy(&pi, e->value, sizeof pi);
    EXPECT_DOUBLE_EQ(pi, 3.141592653589793);

    element_and_remember();
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(e->vm, 1U);
    EXPECT_EQ(std::memcmp(e->value, "\x01\x02\x03\0\0\0\0", 7), 0);

    element_and_remember();
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(*static_cast<const int32_t*>(e->value), -2);
    EXPECT_EQ(e->vm, 1U);
}

TEST_F(ReaderValue, ZeroLengthLoadsNothing)
{
    DicomBytes b;
    b.element(0x0008, 0x0050, "SH", "");
    open(b);
    ELEMENT* e = element_and_remember();
    e->value = &owned_; // anything: the load must clear it
    e->vm = 7;
    ASSERT_EQ(load(), 0);
    EXPECT_EQ(e->value, nullptr);
    EXPECT_EQ(e->vm, 0U);
}

TEST_F(ReaderValue, ImplicitValuesTakeTheCallersHint)
{
    DicomBytes b(Encoding::ImplicitLittle);
    b.element(0x0028, 0x0010, "US", b.n16(256));
    b.header(0x0008, 0x1140, "SQ", UNDEFINED_LENGTH).sequence_end();
    b.element(0x0028, 0x0011, "US", b.n16(128));
    open(b);
    ELEMENT* e = element_and_remember();
    EXPECT_EQ(e->vr, VR_UN);
    ASSERT_EQ(load(VR_US), 0);
    EXPECT_EQ(e->vr, VR_US);
    EXPECT_EQ(e->vm, 1U);
    EXPECT_EQ(*static_cast<uint16_t*>(e->value), 256);

    element_and_remember();
    EXPECT_EQ(e->vr, VR_SQ);
    e->value = nullptr;
    ASSERT_EQ(load(VR_US), 0);
    EXPECT_EQ(e->vr, VR_SQ);
    EXPECT_EQ(e->value, nullptr);
    element_and_remember(); // the delimiter
    EXPECT_EQ(e->group, 0xFFFE);
    ASSERT_EQ(dicom_skip(), 0);
    element_and_remember();
    // dicom_skip keeps UN; only a load applies a hint.
    EXPECT_EQ(e->vr, VR_UN);
    ASSERT_EQ(dicom_skip(), 0);
    EXPECT_EQ(e->vr, VR_UN);
}

TEST_F(ReaderValue, LoadAndSkipLeaveSequencesItemsAndUndefinedLengthsAlone)
{
    DicomBytes b;
    b.header(0x0008, 0x1140, "SQ", 26).item(18).element(0x0008, 0x1155, "UI", "1.2.3.4.5\0");
    b.header(0x0040, 0xA730, "SQ", UNDEFINED_LENGTH).item().item_end().sequence_end();
    b.header(0x7FE0, 0x0010, "OB", UNDEFINED_LENGTH).item(4).raw("abcd").sequence_end();
    b.element(0x0010, 0x0010, "PN", "X^Y ");
    open(b);
    // Each op on each structural element: status 0, stream not moved, value untouched.
    int structural = 0;
    for (ELEMENT* e = element_and_remember(); e != nullptr && e->group != 0x0010; e = element_and_remember()) {
        const bool has_value = (e->group == 0x0008 && e->element == 0x1155) ||
                               (e->group == 0xFFFE && e->encapsulated != 0 && e->element == 0xE000);
        if (has_value) {
            ASSERT_EQ(load(VR_OB), 0);
            continue;
        }
        ++structural;
        const int64_t before = dicom_bytes_left();
        e->value = nullptr;
        EXPECT_EQ(dicom_load(VR_OB), 0);
        EXPECT_EQ(dicom_bytes_left(), before);
        EXPECT_EQ(e->value, nullptr);
        EXPECT_EQ(dicom_skip(), 0);
        EXPECT_EQ(dicom_bytes_left(), before);
    }
    EXPECT_EQ(structural, 8); // 2 SQ, 3 items, 1 item end, pixel data, 1 delimiter
    ASSERT_NE(current_, nullptr);
    EXPECT_EQ(current_->group, 0x0010);
}

TEST_F(ReaderValue, EncapsulatedFragmentsLoadTheirBytes)
{
    DicomBytes b;
    b.header(0x7FE0, 0x0010, "OB", UNDEFINED_LENGTH).item(0).item(6).raw("\xFF\xD8rest").sequence_end();
    open(b);
    element_and_remember();
    ELEMENT* e = element_and_remember();
    EXPECT_EQ(e->encapsulated, -1);
    ASSERT_EQ(load(VR_OB), 0);
    EXPECT_EQ(e->value, nullptr);
    element_and_remember();
    ASSERT_EQ(load(VR_OB), 0);
    EXPECT_EQ(e->vr, VR_OB);
    EXPECT_EQ(std::memcmp(e->value, "\xFF\xD8rest\0\0\0\0", 10), 0);
}

TEST_F(ReaderValue, LengthThirteenAndOddLengths)
{
    DicomBytes b;
    b.header(0x0009, 0x0010, "LO", 13).raw("GEMS_IDEN_"); // 13 said, 10 written
    b.element(0x0010, 0x0020, "LO", "ABCDEFG");
    b.header(0x0043, 0x1029, "OB", UNDEFINED_LENGTH).sequence_end();
    b.element(0x0010, 0x0030, "LO", std::string(140, 'x'));
    LogCapture log(LogLevel::warning);
    const std::vector<Seen> seen = walk(write_temp("odd.dcm", b.bytes()));
    ASSERT_EQ(seen.size(), 5U);
    const int32_t offsets[] = {0, 18, 33, 45, 53};
    const uint32_t lengths[] = {10, 7, UNDEFINED_LENGTH, 0, 140};
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].offset, offsets[i]) << i;
        EXPECT_EQ(seen[i].length, lengths[i]) << i;
    }
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"warning: Fix naughty GE tag length", "warning: Tag with uneven length"}));
}

TEST_F(ReaderValue, TransferSyntaxValueBelongsToTheReader)
{
    DicomBytes b;
    b.preamble().meta("1.2.840.10008.1.2.1");
    b.element(0x0008, 0x0060, "CS", "OT");
    ASSERT_EQ(dicom_open(write_temp("ts.dcm", b.bytes()).c_str()), 0);
    ELEMENT* e = element_and_remember();
    ASSERT_EQ(dicom_skip(), 0);
    element_and_remember();
    ASSERT_EQ(e->element, 0x0001);
    ASSERT_EQ(dicom_skip(), 0);
    element_and_remember();
    ASSERT_EQ(e->element, 0x0010);
    ASSERT_NE(e->value, nullptr);
    EXPECT_EQ(e->value, dicom_default_reader().state().transfer_syntax);
    EXPECT_STREQ(dicom_default_reader().state().transfer_syntax[0], "1.2.840.10008.1.2.1");
    // The caller can still load the value: a second block, its own.
    ASSERT_EQ(load(), 0);
    EXPECT_NE(e->value, dicom_default_reader().state().transfer_syntax);
    EXPECT_STREQ(static_cast<char**>(e->value)[0], "1.2.840.10008.1.2.1");
    element_and_remember();
    EXPECT_EQ(e->group, 0x0008);
    EXPECT_EQ(dicom_default_reader().state().compression, COMPRESSION_NONE);
}

TEST_F(ReaderValue, TransferSyntaxWithANonStringVrIsNotTaken)
{
    DicomBytes b;
    b.preamble();
    b.element(0x0002, 0x0000, "UL", b.n32(28));
    b.element(0x0002, 0x0010, "OB", "1.2.840.10008.1.2.2\0");
    b.element(0x0008, 0x0060, "CS", "OT");
    LogCapture log(LogLevel::warning);
    const std::vector<Seen> seen = walk(write_temp("ts_ob.dcm", b.bytes()));
    ASSERT_EQ(seen.size(), 3U);
    EXPECT_EQ(seen[2].length, 2U);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"warning: No transfer syntax found"});
}

TEST_F(ReaderValue, LengthsBeyondTheFileAreRefusedBeforeAllocation)
{
    for (const uint32_t huge : {0xFFFFFFF0U, 0x7FFFFFFEU, 0x10000U}) {
        DicomBytes b;
        b.element(0x0008, 0x0060, "CS", "OT");
        b.header(0x7FE0, 0x0010, "OW", huge).raw(std::string(200, '\x55'));
        LogCapture log(LogLevel::warning);
        ASSERT_EQ(dicom_open(write_temp("huge.dcm", b.bytes()).c_str()), 0);
        element_and_remember();
        ASSERT_EQ(dicom_skip(), 0);
        ELEMENT* e = element_and_remember();
        e->value = nullptr;
        EXPECT_EQ(dicom_load(VR_OW), -3);
        EXPECT_EQ(e->value, nullptr);
        EXPECT_EQ(dicom_default_reader().state().reader_stream, nullptr);
        EXPECT_EQ(dicom_default_reader().state().failure, -2);
        EXPECT_EQ(log.lines(), std::vector<std::string>{"error: Unexpected end of file"});
        EXPECT_EQ(dicom_element(), nullptr);
    }
}

TEST_F(ReaderValue, SkipPastTheEndIsAnUnexpectedEndOfFile)
{
    DicomBytes b;
    b.element(0x0008, 0x0060, "CS", "OT");
    b.header(0x7FE0, 0x0010, "OW", 201).raw(std::string(200, '\x55'));
    LogCapture log(LogLevel::warning);
    const std::vector<Seen> seen = walk(write_temp("skip_past.dcm", b.bytes()));
    EXPECT_EQ(seen.size(), 2U);
    EXPECT_EQ(dicom_default_reader().state().failure, -2);
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"warning: Tag with uneven length", "error: Unexpected end of file"}));
    // A value that ends exactly at the end of the file is sound.
    DicomBytes exact;
    exact.element(0x0008, 0x0060, "CS", "OT");
    exact.header(0x7FE0, 0x0010, "OW", 200).raw(std::string(200, '\x55'));
    ASSERT_EQ(dicom_open(write_temp("exact.dcm", exact.bytes()).c_str()), 0);
    element_and_remember();
    ASSERT_EQ(dicom_skip(), 0);
    element_and_remember();
    ASSERT_EQ(load(VR_OW), 0);
    EXPECT_EQ(dicom_element(), nullptr);
    EXPECT_EQ(dicom_default_reader().state().failure, 0);
}

TEST_F(ReaderValue, LongFormVrsTakeTheirFourByteLength)
{
    for (const Encoding encoding : {Encoding::ExplicitLittle, Encoding::ExplicitBig}) {
        DicomBytes file(encoding);
        file.element(0x0008, 0x0060, "CS", "OT");
        file.element(0x0009, 0x1001, "UN", std::string(70000, 'u'));
        file.element(0x0020, 0x4000, "UT", "text\\with\\two ");
        file.element(0x7FE0, 0x0008, "OF", file.n32(0x3F800000) + file.n32(0x40000000));
        file.element(0x0040, 0xA160, "UC", "one\\two ");
        file.element(0x7FE0, 0x0009, "OD", file.n64(0x3FF0000000000000ULL));
        file.element(0x0066, 0x0040, "OL", file.n32(7) + file.n32(9));
        file.element(0x0008, 0x0120, "UR", "http://example.org/a");
        file.element(0x0072, 0x0082, "SV", file.n64(static_cast<uint64_t>(-5)) + file.n64(6));
        file.element(0x0072, 0x0083, "UV", file.n64(1ULL << 40));
        file.element(0x0042, 0x0011, "OV", file.n64(3));
        file.element(0x0010, 0x0010, "PN", "Doe^John");
        file.element(0x0028, 0x0010, "US", file.n16(64));

        LogCapture log(LogLevel::warning);
        const std::string path = write_temp("long_form.dcm", file.bytes());
        const std::vector<Seen> seen = walk(path);
        ASSERT_EQ(seen.size(), 13U);
        const char* vrs[] = {"CS", "UN", "UT", "OF", "UC", "OD", "OL", "UR", "SV", "UV", "OV", "PN", "US"};
        const uint32_t lengths[] = {2, 70000, 14, 8, 8, 8, 8, 20, 16, 8, 8, 8, 2};
        for (std::size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(vr_text(seen[i].vr), vrs[i]) << i;
            EXPECT_EQ(seen[i].length, lengths[i]) << i;
        }
        EXPECT_EQ(dicom_default_reader().state().failure, 0);
        EXPECT_TRUE(log.problems().empty());

        // Values in host order by unit; UT, UC and UR unsplit with vm 1.
        ASSERT_EQ(dicom_open(path.c_str()), 0);
        std::vector<uint32_t> vm;
        std::vector<std::string> bytes;
        while (ELEMENT* e = dicom_element()) {
            ASSERT_EQ(dicom_load(VR_UN), 0);
            vm.push_back(e->vm);
            const bool split = e->vr == VR_CS || e->vr == VR_PN;
            bytes.emplace_back(split ? "" : std::string(static_cast<const char*>(e->value), e->length + 4));
            std::free(e->value);
        }
        ASSERT_EQ(bytes.size(), 13U);
        EXPECT_EQ(bytes[2], std::string("text\\with\\two ") + std::string(4, '\0'));
        EXPECT_EQ(vm[2], 1U);
        float of[2];
        std::memcpy(of, bytes[3].data(), 8);
        EXPECT_EQ(of[0], 1.0F);
        EXPECT_EQ(of[1], 2.0F);
        EXPECT_EQ(vm[3], 1U);
        EXPECT_EQ(bytes[4].substr(0, 9), std::string("one\\two \0", 9));
        EXPECT_EQ(vm[4], 1U);
        double od = 0;
        std::memcpy(&od, bytes[5].data(), 8);
        EXPECT_EQ(od, 1.0);
        uint32_t ol[2];
        std::memcpy(ol, bytes[6].data(), 8);
        EXPECT_EQ(ol[0], 7U);
        EXPECT_EQ(ol[1], 9U);
        EXPECT_EQ(bytes[7], std::string("http://example.org/a") + std::string(4, '\0'));
        EXPECT_EQ(vm[7], 1U);
        int64_t sv[2];
        std::memcpy(sv, bytes[8].data(), 16);
        EXPECT_EQ(sv[0], -5);
        EXPECT_EQ(sv[1], 6);
        EXPECT_EQ(vm[8], 2U);
        uint64_t uv = 0;
        std::memcpy(&uv, bytes[9].data(), 8);
        EXPECT_EQ(uv, 1ULL << 40);
        uint64_t ov = 0;
        std::memcpy(&ov, bytes[10].data(), 8);
        EXPECT_EQ(ov, 3U);
        EXPECT_EQ(vm[10], 1U);
        uint16_t us = 0;
        std::memcpy(&us, bytes[12].data(), 2);
        EXPECT_EQ(us, 64);
    }
}
