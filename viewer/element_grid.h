// The element table as plain cells of bytes: code page 932 for the Japanese
// header texts, whatever bytes the walk produced for most element cells, and
// UTF-8 for the values decoded under a declared character set.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr int grid_columns = 6;
constexpr int grid_min_rows = 100; // header row + 99 element rows

// The cells of all rows lie in one block of bytes, each row's six one after
// another (each a length, then its bytes), so that a grid of a quarter
// million rows costs little more than its text.
class ElementGrid {
public:
    using Row = std::array<std::string, grid_columns>;

    // A grid of grid_min_rows rows with the header row filled in.
    ElementGrid();

    int row_count() const { return static_cast<int>(rows_.size()); }
    // The cell's bytes; "" outside the grid.
    std::string cell(int row, int column) const;
    // Writes a cell of code page 932 bytes; the grid grows by whole rows so
    // that `row` exists.
    void set_cell(int row, int column, std::string bytes);
    // Writes a cell of UTF-8 text.
    void set_text_cell(int row, int column, std::string utf8);
    // Writes a whole row at once; bit c of utf8_columns set: column c is UTF-8.
    void set_row(int row, const Row& cells, uint8_t utf8_columns);
    bool holds_utf8(int row, int column) const;
    // The cell as UTF-8 (code page 932 bytes converted, undecodable ones
    // U+FFFD) or as code page 932 (a character it lacks becomes "?").
    std::string cell_utf8(int row, int column) const;
    std::string cell_cp932(int row, int column) const;
    // Empties every element row and shrinks the grid back to grid_min_rows.
    void clear_element_rows();

private:
    static constexpr uint64_t no_cells = UINT64_MAX;
    std::string_view cell_view(int row, int column) const;
    Row row_cells(int row) const;

    std::vector<uint64_t> rows_;        // where each row's cells start in cells_, or no_cells
    std::vector<uint8_t> utf8_columns_; // per row, bit c set: column c is UTF-8
    std::string cells_;
};

// The header row: "Grp ID", "Elm ID", "VR", "Length", "説明", "データ",
// the Japanese ones in code page 932.
const ElementGrid::Row& grid_header_row();
