// Files over 2 and 4 GiB, made sparse: a real header, a Pixel Data element
// whose value is a hole, and a few real bytes at the far end. The reader, the
// header walk and velmor-dump elements report the true offsets and lengths.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "reader/dicom_reader.h"
#include "tests/common/dicom_bytes.h"
#include "tests/common/test_temp_dir.h"
#include "viewer/header_walk.h"

using namespace test_dicom;

namespace {

// CT_small.dcm (explicit VR little endian) up to its Pixel Data element.
std::string real_header()
{
    std::ifstream in(std::string(VELMOR_PYDICOM_FILES) + "/CT_small.dcm", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t pixel_data = all.find(std::string("\xE0\x7F\x10\x00OW", 6));
    EXPECT_NE(pixel_data, std::string::npos);
    return all.substr(0, pixel_data);
}

// Writes head at 0 and tail at tail_offset, leaving a hole between them.
std::string write_sparse(const std::string& name, const std::string& head, int64_t tail_offset,
                         const std::string& tail)
{
    const std::string path = test_temp_path(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr) << path;
    if (file != nullptr) {
        EXPECT_EQ(std::fwrite(head.data(), 1, head.size(), file), head.size());
        EXPECT_EQ(fseeko(file, static_cast<off_t>(tail_offset), SEEK_SET), 0);
        EXPECT_EQ(std::fwrite(tail.data(), 1, tail.size(), file), tail.size());
        EXPECT_EQ(std::fclose(file), 0);
    }
    return path;
}

struct Element {
    int64_t offset;
    uint16_t group, element;
    uint32_t length;
};

std::vector<Element> reader_walk(const std::string& path)
{
    std::vector<Element> seen;
    EXPECT_EQ(dicom_open(path.c_str()), 0);
    while (const ELEMENT* e = dicom_element()) {
        seen.push_back({e->offset, e->group, e->element, e->length});
        if (dicom_skip() != 0) {
            break;
        }
    }
    EXPECT_EQ(dicom_default_reader().state().failure, 0);
    dicom_close();
    return seen;
}

std::string last_line(const std::string& command)
{
    std::string out;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, got);
        }
        EXPECT_EQ(pclose(pipe), 0) << command;
    }
    const std::size_t start = out.rfind('\n', out.size() >= 2 ? out.size() - 2 : 0);
    return start == std::string::npos ? out : out.substr(start + 1);
}

} // namespace

TEST(LargeFiles, NativePixelDataOf3GiB)
{
    const std::string head = real_header();
    const uint32_t length = 0xC0000000U;
    const int64_t value_start = static_cast<int64_t>(head.size()) + 12;
    const int64_t trailer = value_start + length;
    const std::string pixel_header = DicomBytes().header(0x7FE0, 0x0010, "OW", length).bytes();
    const std::string path = write_sparse("native.dcm", head + pixel_header, trailer,
                                          DicomBytes().element(0xFFFC, 0xFFFC, "OB", "abcd").bytes());

    const std::vector<Element> seen = reader_walk(path);
    ASSERT_GE(seen.size(), 2U);
    EXPECT_EQ(seen[seen.size() - 2].offset, static_cast<int64_t>(head.size()));
    EXPECT_EQ(seen[seen.size() - 2].length, length);
    EXPECT_EQ(seen.back().offset, trailer);
    EXPECT_EQ(seen.back().group, 0xFFFC);

    FileCheck check{};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(check_dicom_file(path.c_str(), check), std::fclose);
    ASSERT_TRUE(file);
    HeaderListing listing;
    ViewerState state;
    walk_header(file.get(), listing, state);
    const int row = state.next_row - 1;
    EXPECT_EQ(listing.grid.cell(row, 0), "7FE0");
    EXPECT_EQ(listing.grid.cell(row, 3), "3221225472");
    EXPECT_EQ(listing.grid.cell(row, 5), "[ " + std::to_string(value_start) + " 3221225472 ]");

    EXPECT_EQ(last_line(std::string("'") + VELMOR_DUMP + "' elements '" + path + "'"),
              std::to_string(trailer) + "\t(FFFC,FFFC)\tOB\t4\t0\t-\t0\n");
}

TEST(LargeFiles, EncapsulatedFragmentsBeyond4GiB)
{
    const std::string head = real_header();
    const uint32_t hole = 0xFFFFFFF0U;
    // Pixel Data of undefined length, an empty offset table, a fragment that
    // is a hole, then a real fragment and the delimiter past 4 GiB.
    const std::string items = DicomBytes().header(0x7FE0, 0x0010, "OB").item(0).item(hole).bytes();
    const int64_t last_fragment = static_cast<int64_t>(head.size() + items.size()) + hole;
    const std::string path = write_sparse("encapsulated.dcm", head + items, last_fragment,
                                          DicomBytes().fragment("wxyz").sequence_end().bytes());

    const std::vector<Element> seen = reader_walk(path);
    ASSERT_GE(seen.size(), 3U);
    EXPECT_EQ(seen[seen.size() - 3].length, hole);
    EXPECT_EQ(seen[seen.size() - 2].offset, last_fragment);
    EXPECT_EQ(seen[seen.size() - 2].length, 4U);
    EXPECT_EQ(seen.back().offset, last_fragment + 12);
    EXPECT_EQ(seen.back().element, 0xE0DD);

    EXPECT_EQ(last_line(std::string("'") + VELMOR_DUMP + "' elements '" + path + "'"),
              std::to_string(last_fragment + 12) + "\t(FFFE,E0DD)\tUN\t0\t0\t-\t-1\n");
}

TEST(LargeFiles, WalkRowsPast4GiBKeepTheirOffsets)
{
    // A 4 GiB OB value (a hole) in the header, then a text element past it.
    const std::string head = real_header() + DicomBytes().header(0x0019, 0x1010, "OB", 0xFFFFFFF0U).bytes();
    const int64_t far = static_cast<int64_t>(head.size()) + 0xFFFFFFF0LL;
    const std::string path =
        write_sparse("far_rows.dcm", head, far, DicomBytes().element(0x0020, 0x4000, "LT", "far away").bytes());

    FileCheck check{};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(check_dicom_file(path.c_str(), check), std::fclose);
    ASSERT_TRUE(file);
    HeaderListing listing;
    ViewerState state;
    walk_header(file.get(), listing, state);
    ASSERT_GE(listing.rows.size(), 2U);
    const ElementRow& hole = listing.rows[listing.rows.size() - 2];
    EXPECT_EQ(hole.value_length, 0xFFFFFFF0LL);
    EXPECT_EQ(hole.end_offset(), far);
    const ElementRow& text = listing.rows.back();
    EXPECT_EQ(text.tag, 0x00204000U);
    EXPECT_EQ(text.header_offset, far);
    EXPECT_EQ(text.value_offset, far + 8);
    EXPECT_EQ(text.value_length, 8);
}
