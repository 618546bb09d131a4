#include "element_grid.h"

#include "encoding.h"
#include "translatable.h"

const ElementGrid::Row& grid_header_row()
{
    // The window shows the last two in the user's language (context "GridModel").
    static const ElementGrid::Row header = {
        "Grp ID",
        "Elm ID",
        "VR",
        "Length",
        utf8_to_cp932(QT_TRANSLATE_NOOP("GridModel", "説明")),
        utf8_to_cp932(QT_TRANSLATE_NOOP("GridModel", "データ")),
    };
    return header;
}

namespace {

// A cell's length, seven bits a byte, low bits first.
void put_length(std::string& out, std::size_t length)
{
    while (length >= 0x80) {
        out += static_cast<char>((length & 0x7F) | 0x80);
        length >>= 7;
    }
    out += static_cast<char>(length);
}

std::size_t take_length(const std::string& in, std::size_t& at)
{
    std::size_t length = 0;
    for (int shift = 0; at < in.size(); shift += 7) {
        const auto b = static_cast<unsigned char>(in[at++]);
        length |= static_cast<std::size_t>(b & 0x7F) << shift;
        if ((b & 0x80) == 0) {
            break;
        }
    }
    return length;
}

bool inside(int row, int rows, int column)
{
    return row >= 0 && row < rows && column >= 0 && column < grid_columns;
}

} // namespace

ElementGrid::ElementGrid() { clear_element_rows(); }

std::string_view ElementGrid::cell_view(int row, int column) const
{
    if (!inside(row, row_count(), column)) {
        return {};
    }
    std::size_t at = rows_[static_cast<std::size_t>(row)];
    if (at == no_cells) {
        return {};
    }
    for (int c = 0;; ++c) {
        const std::size_t length = take_length(cells_, at);
        if (c == column) {
            return std::string_view(cells_).substr(at, length);
        }
        at += length;
    }
}

std::string ElementGrid::cell(int row, int column) const { return std::string(cell_view(row, column)); }

ElementGrid::Row ElementGrid::row_cells(int row) const
{
    Row cells;
    for (int c = 0; c < grid_columns; ++c) {
        cells[static_cast<std::size_t>(c)] = cell(row, c);
    }
    return cells;
}

void ElementGrid::set_row(int row, const Row& cells, uint8_t utf8_columns)
{
    if (row < 0) {
        return;
    }
    if (row >= row_count()) {
        rows_.resize(static_cast<std::size_t>(row) + 1, no_cells);
        utf8_columns_.resize(rows_.size(), 0);
    }
    rows_[static_cast<std::size_t>(row)] = cells_.size();
    for (const std::string& cell : cells) {
        put_length(cells_, cell.size());
        cells_ += cell;
    }
    utf8_columns_[static_cast<std::size_t>(row)] = utf8_columns;
}

void ElementGrid::set_cell(int row, int column, std::string bytes)
{
    if (row < 0 || column < 0 || column >= grid_columns) {
        return;
    }
    Row cells = row_cells(row);
    cells[static_cast<std::size_t>(column)] = std::move(bytes);
    const uint8_t utf8 = row < row_count() ? utf8_columns_[static_cast<std::size_t>(row)] : 0;
    set_row(row, cells, static_cast<uint8_t>(utf8 & ~(1U << column)));
}

void ElementGrid::set_text_cell(int row, int column, std::string utf8)
{
    set_cell(row, column, std::move(utf8));
    if (row >= 0 && column >= 0 && column < grid_columns) {
        utf8_columns_[static_cast<std::size_t>(row)] |= static_cast<uint8_t>(1U << column);
    }
}

bool ElementGrid::holds_utf8(int row, int column) const
{
    if (!inside(row, row_count(), column)) {
        return false;
    }
    return (utf8_columns_[static_cast<std::size_t>(row)] >> column) & 1U;
}

std::string ElementGrid::cell_utf8(int row, int column) const
{
    return holds_utf8(row, column) ? cell(row, column) : cp932_to_utf8(cell(row, column));
}

std::string ElementGrid::cell_cp932(int row, int column) const
{
    return holds_utf8(row, column) ? utf8_to_cp932(cell(row, column)) : cell(row, column);
}

void ElementGrid::clear_element_rows()
{
    // Fresh blocks: a big file's grid gives its memory back.
    std::vector<uint64_t>(grid_min_rows, no_cells).swap(rows_);
    std::vector<uint8_t>(grid_min_rows, 0).swap(utf8_columns_);
    std::string().swap(cells_);
    set_row(0, grid_header_row(), 0);
}
