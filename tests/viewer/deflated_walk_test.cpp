// The viewer's header walk over deflated files: the table, the dump and the
// header size refer to the inflated view.
#include "viewer/header_walk.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "../reader/raw_deflate.h"
#include "fixture.h"
#include "reader/inflate_view.h"
#include "reader/log.h"
#include "viewer/hex_dump.h"

using testing_dicom::raw_deflate;

namespace {

std::string meta_group()
{
    const std::string uid = deflated_transfer_syntax;
    return Bytes::part10().expl(0x0002, 0x0000, "UL", le32(8 + 22)).expl(0x0002, 0x0010, "UI", uid).str();
}

std::string data_set(const std::string& pixels)
{
    return Bytes()
        .expl(0x0010, 0x0010, "PN", "Doe^Jane")
        .expl(0x0028, 0x1050, "DS", "40")
        .expl(0x0028, 0x0011, "US", le16(64))
        .expl_long(0x7FE0, 0x0010, "OB", pixels)
        .str();
}

struct Walked {
    FileCheck check{};
    HeaderListing listing;
    ViewerState state;
    std::string log;
};

Walked walk(const std::string& bytes, const std::string& name)
{
    Walked w;
    const std::string path = write_temp(name, bytes);
    std::FILE* log = std::tmpfile();
    log_stream = log;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(check_dicom_file(path.c_str(), w.check), std::fclose);
    log_stream = nullptr;
    std::remove(path.c_str());
    EXPECT_TRUE(file) << name;
    if (file) {
        walk_header(file.get(), w.listing, w.state);
    }
    std::rewind(log);
    char line[512];
    while (std::fgets(line, sizeof line, log) != nullptr) {
        w.log += line;
    }
    std::fclose(log);
    return w;
}

} // namespace

TEST(DeflatedWalk, TableDumpAndHeaderSizeReferToTheInflatedView)
{
    const std::string pixels(64, 'x');
    // The view: the file as it would stand with its data set uncompressed.
    const std::string view = meta_group() + data_set(pixels);
    const Walked w = walk(meta_group() + raw_deflate(data_set(pixels)), "deflated.dcm");
    EXPECT_EQ(w.check, FileCheck::part10);
    EXPECT_EQ(w.log, "");
    ASSERT_EQ(w.state.next_row, 7);
    EXPECT_EQ(w.listing.grid.cell(3, 5), "Doe^Jane");
    EXPECT_EQ(w.state.window_level, 40);
    const std::size_t header_size = view.size() - pixels.size() - 4;
    EXPECT_EQ(w.state.header_size, static_cast<int32_t>(header_size));
    EXPECT_EQ(w.listing.header_size_text, std::to_string(header_size));
    EXPECT_EQ(w.listing.grid.cell(6, 5), "[ " + std::to_string(header_size + 4) + " 64 ]");
    std::vector<std::string> memo = dump_header_lines();
    const std::vector<std::string> lines = dump_lines(reinterpret_cast<const uint8_t*>(view.data()), header_size);
    memo.insert(memo.end(), lines.begin(), lines.end());
    EXPECT_EQ(w.listing.memo, memo);
}

TEST(DeflatedWalk, RefusedDataSetLeavesTheMetaGroupAlone)
{
    const Walked w = walk(meta_group() + raw_deflate(data_set(std::string(16 << 20, '\0'))), "bomb.dcm");
    EXPECT_EQ(w.check, FileCheck::part10);
    EXPECT_NE(w.log.find("error: Deflated data set inflates to more than 1024 times"), std::string::npos) << w.log;
    EXPECT_EQ(w.state.next_row, 3);
    EXPECT_EQ(w.state.header_size, 0);
    EXPECT_EQ(w.listing.header_size_text, "");
}
