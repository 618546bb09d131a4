#include "element_grid.h"

#include "encoding.h"

const ElementGrid::Row& grid_header_row()
{
    static const ElementGrid::Row header = {
        "Grp ID", "Elm ID", "VR", "Length", utf8_to_cp932("説明"), utf8_to_cp932("データ"),
    };
    return header;
}

ElementGrid::ElementGrid() : rows_(grid_min_rows) { rows_[0] = grid_header_row(); }

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
    }
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = std::move(bytes);
}

void ElementGrid::clear_element_rows()
{
    rows_.resize(grid_min_rows);
    for (std::size_t r = 1; r < rows_.size(); ++r) {
        rows_[r] = Row{};
    }
}
