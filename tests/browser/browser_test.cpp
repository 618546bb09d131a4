// The browsable header over real files: the rows' nesting and bytes as the
// walk records them, folding, find, tag paths, the byte-row link and copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "browser/byte_link.h"
#include "browser/fold_state.h"
#include "browser/row_copy.h"
#include "browser/row_find.h"
#include "browser/tag_path.h"
#include "viewer/header_walk.h"
#include "viewer/report.h"

namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

struct Walked {
    HeaderListing listing;
    ViewerState state;
    FilePtr file{nullptr, std::fclose};

    const std::vector<ElementRow>& rows() const { return listing.rows; }
    // The first row of the tag from `from` on; -1 when none.
    int32_t find_tag(uint32_t tag, int32_t from = 0) const
    {
        for (auto row = static_cast<std::size_t>(from); row < rows().size(); ++row) {
            if (rows()[row].tag == tag) {
                return static_cast<int32_t>(row);
            }
        }
        return -1;
    }
    std::string value_bytes(int32_t row) const
    {
        const ElementRow& r = rows()[static_cast<std::size_t>(row)];
        std::string bytes(static_cast<std::size_t>(r.value_length), '\0');
        fseeko(file.get(), r.value_offset, SEEK_SET);
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
        return bytes;
    }
};

std::unique_ptr<Walked> walk(const std::string& name)
{
    auto w = std::make_unique<Walked>();
    FileCheck check{};
    const std::string path = std::string(VELMOR_PYDICOM_FILES) + "/" + name;
    w->file.reset(check_dicom_file(path.c_str(), check));
    EXPECT_TRUE(w->file) << path;
    if (w->file) {
        walk_header(w->file.get(), w->listing, w->state);
    }
    return w;
}

// rtstruct.dcm: sequences and items of undefined length, three deep; the
// ROI Contour Sequence's first item holds a Contour Sequence of three items,
// each with Contour Data.
constexpr uint32_t contour_sequence = 0x30060040;
constexpr uint32_t contour_data = 0x30060050;

} // namespace

TEST(ElementRows, DefinedLengthsNestAsTheFileSays)
{
    // CT_small.dcm: Other Patient IDs Sequence, 72 bytes, two items of 28.
    const auto ct = walk("CT_small.dcm");
    const auto& rows = ct->rows();
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(ct->state.next_row - 1));
    const int32_t ids = ct->find_tag(0x00101002);
    ASSERT_GE(ids, 0);
    EXPECT_EQ(rows[static_cast<std::size_t>(ids)].kind, RowKind::sequence);
    EXPECT_EQ(rows[static_cast<std::size_t>(ids)].value_length, 72);
    const int32_t second_id = ct->find_tag(0x00100020, ct->find_tag(0x00100020, ids) + 1);
    const ElementRow& id = rows[static_cast<std::size_t>(second_id)];
    EXPECT_EQ(id.depth, 2);
    EXPECT_EQ(rows[static_cast<std::size_t>(id.parent)].kind, RowKind::item);
    EXPECT_EQ(rows[static_cast<std::size_t>(id.parent)].value_length, 28);
    EXPECT_EQ(rows[static_cast<std::size_t>(id.parent)].parent, ids);
    EXPECT_EQ(id.value_offset - id.header_offset, 8);
    EXPECT_EQ(ct->value_bytes(second_id), "1234ABCD");
    EXPECT_EQ(tag_path(rows, second_id), "(0010,1002)[1].(0010,0020)");
    EXPECT_EQ(tag_path(rows, id.parent), "(0010,1002)[1]");
    // The sequence ends where its length says: no delimiter, back at depth 0.
    EXPECT_EQ(rows[static_cast<std::size_t>(second_id + 2)].tag, 0x00101010U);
    EXPECT_EQ(rows[static_cast<std::size_t>(second_id + 2)].depth, 0);
    EXPECT_EQ(tag_path(rows, -1), "");
}

TEST(ElementRows, UndefinedLengthsEndWithTheirDelimiters)
{
    const auto structure = walk("rtstruct.dcm");
    const int32_t frames = structure->find_tag(0x30060010);
    const int32_t after = structure->find_tag(0x30060020);
    ASSERT_GE(frames, 0);
    ASSERT_GT(after, frames);
    const auto& rows = structure->rows();
    const ElementRow& sequence = rows[static_cast<std::size_t>(frames)];
    const ElementRow& end = rows[static_cast<std::size_t>(after - 1)];
    EXPECT_EQ(sequence.kind, RowKind::sequence);
    EXPECT_EQ(end.kind, RowKind::sequence_end);
    EXPECT_EQ(end.parent, frames);
    EXPECT_EQ(sequence.end_offset(), end.end_offset());
    EXPECT_EQ(rows[static_cast<std::size_t>(after)].depth, 0);
    EXPECT_EQ(rows[static_cast<std::size_t>(after)].parent, -1);
    // The item's delimiter is the item's last child, one level below it.
    const ElementRow& item = rows[static_cast<std::size_t>(frames + 1)];
    const ElementRow& item_end = rows[static_cast<std::size_t>(after - 2)];
    EXPECT_EQ(item_end.kind, RowKind::item_end);
    EXPECT_EQ(item_end.parent, frames + 1);
    EXPECT_EQ(item_end.depth, item.depth + 1);
    EXPECT_EQ(item.end_offset(), item_end.end_offset());

    const int32_t data = structure->find_tag(contour_data, structure->find_tag(contour_data) + 1);
    EXPECT_EQ(tag_path(rows, data), "(3006,0039)[0].(3006,0040)[1].(3006,0050)");
    EXPECT_EQ(structure->value_bytes(data).substr(0, 11), "200.0\\-0.0\\");
}

TEST(FoldState, FoldedRowsHideTheirContentsOnly)
{
    const auto structure = walk("rtstruct.dcm");
    const auto& rows = structure->rows();
    FoldState folds(rows);
    EXPECT_EQ(folds.visible_rows().size(), rows.size());

    folds.fold_all();
    std::vector<int32_t> top;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (rows[row].depth == 0) {
            top.push_back(static_cast<int32_t>(row));
        }
    }
    EXPECT_EQ(folds.visible_rows(), top);

    // Unfolding a sequence shows its items and delimiter; the items stay folded.
    const int32_t frames = structure->find_tag(0x30060010);
    folds.unfold(frames);
    std::vector<int32_t> expected = top;
    const auto at = std::upper_bound(expected.begin(), expected.end(), frames);
    expected.insert(at, {frames + 1, folds.contents_end(frames) - 1});
    EXPECT_EQ(folds.visible_rows(), expected);

    folds.unfold_all();
    const int32_t contours = structure->find_tag(contour_sequence);
    folds.fold(contours);
    folds.fold(structure->find_tag(contour_data)); // an element: nothing to fold
    const std::vector<int32_t> shown = folds.visible_rows();
    const int32_t end = folds.contents_end(contours);
    EXPECT_EQ(shown.size(), rows.size() - static_cast<std::size_t>(end - contours - 1));
    EXPECT_TRUE(std::binary_search(shown.begin(), shown.end(), contours));
    EXPECT_FALSE(std::binary_search(shown.begin(), shown.end(), contours + 1));
    EXPECT_FALSE(std::binary_search(shown.begin(), shown.end(), end - 1));
    EXPECT_TRUE(std::binary_search(shown.begin(), shown.end(), end));
}

TEST(RowFinder, MatchesTagsAndTextAndKeepsTheRowsAbove)
{
    const auto structure = walk("rtstruct.dcm");
    const auto& rows = structure->rows();
    const RowFinder finder(structure->listing);

    const FindResult by_tag = finder.find("(3006,0050)");
    ASSERT_EQ(by_tag.matches.size(), 5U);
    for (const char* query : {"3006,0050", " 30060050 ", "(3006,0050)", "contour DATA"}) {
        EXPECT_EQ(finder.find(query).matches, by_tag.matches) << query;
    }
    // Shown: the matches and every sequence and item above them, no other row.
    std::vector<int32_t> expected;
    for (const int32_t match : by_tag.matches) {
        for (const int32_t row : row_chain(rows, match)) {
            expected.push_back(row);
        }
    }
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    EXPECT_EQ(by_tag.shown, expected);
    EXPECT_EQ(rows[static_cast<std::size_t>(by_tag.shown.front())].tag, 0x30060039U);

    // Keywords: ContourData, and ROIDisplayColor in each of the three ROI contour items.
    EXPECT_EQ(finder.find("contourdata").matches, by_tag.matches);
    EXPECT_EQ(finder.find("RoiDisplayColor").matches.size(), 3U);

    const FindResult by_value = finder.find("ISOCENTER beam 2");
    ASSERT_EQ(by_value.matches.size(), 2U);
    EXPECT_EQ(tag_path(rows, by_value.matches[0]), "(3006,0020)[2].(3006,0028)");
    EXPECT_EQ(tag_path(rows, by_value.matches[1]), "(3006,0080)[2].(3006,0088)");

    const int32_t first = by_tag.matches.front();
    const int32_t last = by_tag.matches.back();
    EXPECT_EQ(by_tag.next_match(first), by_tag.matches[1]);
    EXPECT_EQ(by_tag.next_match(last), first);
    EXPECT_EQ(by_tag.previous_match(first), last);
    EXPECT_EQ(by_tag.previous_match(last), by_tag.matches[3]);
    EXPECT_EQ(by_tag.next_match(-1), first);
    EXPECT_TRUE(finder.find("  ").matches.empty());
    EXPECT_EQ(finder.find("no such text").next_match(0), -1);
}

TEST(ByteLink, RowsAndOffsetsLeadToEachOther)
{
    const auto ct = walk("CT_small.dcm");
    const auto& rows = ct->rows();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const auto r = static_cast<int32_t>(row);
        EXPECT_EQ(row_at_offset(rows, rows[row].header_offset), r) << row;
        if (!rows[row].folds() && rows[row].value_length > 0) {
            EXPECT_EQ(row_at_offset(rows, rows[row].end_offset() - 1), r) << row;
        }
    }
    EXPECT_EQ(row_at_offset(rows, 0), -1); // the preamble
    const int32_t sequence = ct->find_tag(0x00101002);
    const RowBytes whole = row_bytes(rows, sequence, ct->listing.dump.byte_count());
    EXPECT_FALSE(whole.past_dump);
    EXPECT_EQ(whole.shown_end, whole.end);
    EXPECT_EQ(whole.end - whole.begin, 12 + 72);

    // Pixel Data's value lies past the dump, which ends inside its header.
    const auto pixels = static_cast<int32_t>(rows.size() - 1);
    ASSERT_EQ(rows.back().tag, 0x7FE00010U);
    const RowBytes past = row_bytes(rows, pixels, ct->listing.dump.byte_count());
    EXPECT_TRUE(past.past_dump);
    EXPECT_EQ(past.shown_end, ct->listing.dump.byte_count());
    EXPECT_EQ(past.begin, rows.back().header_offset);
}

TEST(RowCopy, CopiesTheRowsAsTheReportWritesThem)
{
    const auto plan = walk("rtstruct.dcm");
    const std::string report = build_report({}, plan->listing.grid, plan->state.next_row, ReportEncoding::utf8);
    // The report's element lines follow the empty memo, the separator and the grid's header row.
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = report.find("\r\n", at)) != std::string::npos; at = end + 2) {
        lines.push_back(report.substr(at, end + 2 - at));
    }
    const auto line_of_row = [&](int32_t row) { return lines[static_cast<std::size_t>(row) + 3]; };
    EXPECT_EQ(copy_rows(plan->listing, {7, 2, 7, -1, 1 << 30}), line_of_row(2) + line_of_row(7));
    EXPECT_EQ(copy_rows(plan->listing, {}), "");
}
