// Deflated data sets: the reader walks the inflated view exactly as it walks
// the same file uncompressed; broken streams keep what inflated.
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <zlib.h>

#include "base/log.h"
#include "reader/dicom_reader.h"
#include "reader/inflate_view.h"
#include "reader_support.h"

using namespace testing_dicom;

namespace {

// Raw deflate (no zlib header). With cut > 0 the stream is flushed to a byte
// boundary after the first cut bytes and ends there, unfinished.
std::string raw_deflate(const std::string& data, std::size_t cut = 0)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(cut > 0 ? cut : data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, cut > 0 ? Z_SYNC_FLUSH : Z_FINISH), cut > 0 ? Z_OK : Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The data set of the tests: text, numbers, a sequence, pixel data.
std::string data_set()
{
    DicomBytes b;
    b.element(0x0008, 0x0060, "CS", "CT");
    b.element(0x0010, 0x0010, "PN", "Doe^Jane");
    b.header(0x0008, 0x1140, "SQ", UNDEFINED_LENGTH).item();
    b.element(0x0008, 0x1155, "UI", "1.2.3.44");
    b.item_end().sequence_end();
    b.element(0x0028, 0x0010, "US", b.n16(64)).element(0x0028, 0x0011, "US", b.n16(64));
    b.element(0x7FE0, 0x0010, "OB", std::string(4096, '\x5A'));
    return b.bytes();
}

std::string part10(const std::string& body, const char* uid = deflated_transfer_syntax)
{
    DicomBytes b;
    b.preamble().meta(uid).raw(body);
    return b.bytes();
}

constexpr const char* explicit_little = "1.2.840.10008.1.2.1";

class InflateView : public ::testing::Test {
protected:
    void TearDown() override
    {
        dicom_close();
        for (const std::string& path : written_) {
            std::remove(path.c_str());
        }
    }
    std::string write(const std::string& bytes, const std::string& name)
    {
        written_.push_back(write_temp(name, bytes));
        return written_.back();
    }
    std::vector<std::string> written_;
};

// The deflated file's walk against its plain twin's: the same elements, the
// data set two bytes further on (the deflated UID is two bytes longer).
bool same_walk(const std::vector<Seen>& deflated, const std::vector<Seen>& plain)
{
    if (deflated.size() != plain.size()) {
        return false;
    }
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const Seen& d = deflated[i];
        const Seen& p = plain[i];
        const bool meta = p.group == 0x0002;
        if (d.offset != p.offset + (meta ? 0 : 2) || d.group != p.group || d.element != p.element ||
            d.vr != p.vr || (!meta && d.length != p.length) || d.sq_depth != p.sq_depth) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST_F(InflateView, ReaderWalksTheDataSetAsIfUncompressed)
{
    const std::string plain = write(part10(data_set(), explicit_little), "plain.dcm");
    const std::string deflated = write(part10(raw_deflate(data_set())), "deflated.dcm");
    const std::vector<Seen> expected = walk(plain);
    ASSERT_EQ(expected.size(), 13U);

    LogCapture log(LogLevel::warning);
    EXPECT_TRUE(same_walk(walk(deflated), expected));
    EXPECT_TRUE(log.problems().empty());
    EXPECT_EQ(dicom_default_reader().state().syntax, SYNTAX_EXPLICIT | SYNTAX_LITTLE);

    // Opened again on the open view, from its start: it is not inflated twice.
    ASSERT_EQ(dicom_open(deflated.c_str()), 0);
    std::rewind(dicom_default_reader().state().reader_stream);
    ASSERT_EQ(dicom_open("ignored"), 0);
    std::vector<Seen> again;
    while (const ELEMENT* e = dicom_element()) {
        again.push_back({e->offset, e->group, e->element, e->vr, e->length, 0, e->sq_depth, 0, 0});
        dicom_skip();
    }
    EXPECT_TRUE(same_walk(again, expected));
    EXPECT_TRUE(log.problems().empty());
}

TEST_F(InflateView, BrokenStreamsKeepWhatInflatedWithAWarning)
{
    const std::string body = data_set();
    const std::vector<Seen> whole = walk(write(part10(body, explicit_little), "plain.dcm"));
    // Flushed after the sequence: everything before the pixel data inflates.
    const std::size_t cut = body.find(std::string("\x28\x00\x10\x00", 4));
    const std::string flushed = raw_deflate(body, cut);
    const struct {
        const char* name;
        std::string stream;
        const char* warning;
    } cases[] = {
        {"truncated", flushed, "warning: Deflated data set is truncated: reading what inflated"},
        // Block type 3 does not exist.
        {"corrupt", flushed + '\x07',
         "warning: Deflated data set is corrupt (invalid block type): reading what inflated"},
        {"empty", "", "warning: Deflated data set is truncated: reading what inflated"},
    };
    for (const auto& c : cases) {
        LogCapture log(LogLevel::warning);
        const std::vector<Seen> seen = walk(write(part10(c.stream), std::string(c.name) + ".dcm"));
        ASSERT_FALSE(log.problems().empty()) << c.name;
        EXPECT_EQ(log.problems()[0], c.warning) << c.name;
        // The meta group and what inflated, then a clean end at the cut.
        const std::size_t kept = c.stream.empty() ? 3 : 10;
        ASSERT_EQ(seen.size(), kept) << c.name;
        EXPECT_TRUE(same_walk(seen, std::vector<Seen>(whole.begin(), whole.begin() + static_cast<long>(kept))))
            << c.name;
        EXPECT_EQ(dicom_default_reader().state().failure, 0) << c.name;
    }
}

TEST_F(InflateView, MetaGroupEndsAtItsGroupLengthOrAtAnotherGroup)
{
    // A deflate stream whose first bytes read as group 0x0002 still starts
    // where the group length says; without it, the next group ends the meta group.
    DicomBytes with_length;
    with_length.preamble().meta(deflated_transfer_syntax).raw(std::string("\x02\x00\x10\x00", 4));
    DicomBytes without;
    without.preamble().element(0x0002, 0x0010, "UI", deflated_transfer_syntax).element(0x0008, 0x0060, "CS", "CT");
    const struct {
        std::string bytes;
        int64_t end;
        bool deflated;
    } cases[] = {
        {with_length.bytes(), static_cast<int64_t>(with_length.size()) - 4, true},
        {without.bytes(), 132 + 30, true},
        {part10(""), static_cast<int64_t>(part10("").size()), true}, // an empty data set
        {DicomBytes().preamble().meta("1.2.840.10008.1.2.1").raw("\x08").bytes(), 186, false},
        // No group length, and the file ends inside the meta group.
        {DicomBytes().preamble().element(0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1.99").bytes(), -1, true},
        // The group length points past the end of the file.
        {part10("").substr(0, part10("").size() - 2), -1, false},
    };
    for (const auto& c : cases) {
        std::FILE* file = std::fopen(write(c.bytes, "meta.dcm").c_str(), "rb");
        ASSERT_NE(file, nullptr);
        std::fseek(file, 132, SEEK_SET);
        bool deflated = false;
        EXPECT_EQ(find_meta_group_end(file, deflated), c.end);
        EXPECT_EQ(deflated, c.deflated);
        std::fclose(file);
    }
}
