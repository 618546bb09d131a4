#include "element_grid.h"

#include "encoding.h"

const ElementGrid::Row& grid_header_row()
{
    static const ElementGrid::Row header = {
        "Grp ID", "Elm ID", "VR", "Length", utf8_to_cp932("説明"), utf8_to_cp932("データ"),
    };
    return header;
}

ElementGrid::ElementGrid() : rows_(grid_min_rows), utf8_columns_(grid_min_rows, 0)
{
    rows_[0] = grid_header_row();
}

const std::string& ElementGrid::cell(int row, int column) const
{
    static const std::string empty;
    if (row < 0 || row >= row_count() || column < 0 || column >= grid_columns) {
        return empty;
    }
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void ElementGrid::set_cell(int row, int column, std::string bytes)
{
    if (row < 0 || column < 0 || column >= grid_columns) {
        return;
    }
    if (row >= row_count()) {
        rows_.resize(static_cast<std::size_t>(row) + 1);
        utf8_columns_.resize(rows_.size(), 0);
    }
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = std::move(bytes);
    utf8_columns_[static_cast<std::size_t>(row)] &= static_cast<uint8_t>(~(1U << column));
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
    if (row < 0 || row >= row_count() || column < 0 || column >= grid_columns) {
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
    rows_.resize(grid_min_rows);
    utf8_columns_.assign(grid_min_rows, 0);
    for (std::size_t r = 1; r < rows_.size(); ++r) {
        rows_[r] = Row{};
    }
}
