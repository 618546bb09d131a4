// The element table as plain cells of bytes (code page 932 for the Japanese
// header texts; element rows hold whatever bytes the walk produced).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

constexpr int grid_columns = 6;
constexpr int grid_min_rows = 100; // header row + 99 element rows

class ElementGrid {
public:
    using Row = std::array<std::string, grid_columns>;

    // A grid of grid_min_rows rows with the header row filled in.
    ElementGrid();

    int row_count() const { return static_cast<int>(rows_.size()); }
    const std::string& cell(int row, int column) const;
    // Writes a cell; the grid grows by whole rows so that `row` exists.
    void set_cell(int row, int column, std::string bytes);
    // Empties every element row and shrinks the grid back to grid_min_rows.
    void clear_element_rows();

private:
    std::vector<Row> rows_;
};

// The header row: "Grp ID", "Elm ID", "VR", "Length", "説明", "データ",
// the Japanese ones in code page 932.
const ElementGrid::Row& grid_header_row();
