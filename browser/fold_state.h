// Which element rows a browsable table shows when sequence and item rows are
// folded: a folded row stays in view, its contents do not.
#pragma once

#include <cstdint>
#include <vector>

#include "viewer/element_rows.h"

class FoldState {
public:
    // Nothing folded. The rows must outlive the state.
    explicit FoldState(const std::vector<ElementRow>& rows);

    // Rows that are not sequences or items, and rows out of range, are left alone.
    void fold(int32_t row);
    void unfold(int32_t row);
    void fold_all();
    void unfold_all();
    bool is_folded(int32_t row) const;

    // The rows in view, ascending.
    std::vector<int32_t> visible_rows() const;
    // The row after the last of `row`'s contents (row + 1 for a row without
    // contents); rows.size() at most.
    int32_t contents_end(int32_t row) const;

private:
    bool in_range(int32_t row) const;

    const std::vector<ElementRow>& rows_;
    std::vector<int32_t> contents_end_;
    std::vector<uint8_t> folded_;
};
