#include "browser/fold_state.h"

FoldState::FoldState(const std::vector<ElementRow>& rows)
    : rows_(rows), contents_end_(rows.size()), folded_(rows.size(), 0)
{
    // A row's contents are the rows after it that lie deeper, up to the
    // first that does not: the walk lists a sequence's or an item's rows
    // right after it.
    std::vector<int32_t> open;
    const auto count = static_cast<int32_t>(rows.size());
    for (int32_t row = 0; row < count; ++row) {
        while (!open.empty() &&
               rows[static_cast<std::size_t>(open.back())].depth >= rows[static_cast<std::size_t>(row)].depth) {
            contents_end_[static_cast<std::size_t>(open.back())] = row;
            open.pop_back();
        }
        open.push_back(row);
    }
    for (const int32_t row : open) {
        contents_end_[static_cast<std::size_t>(row)] = count;
    }
}

bool FoldState::in_range(int32_t row) const { return row >= 0 && static_cast<std::size_t>(row) < rows_.size(); }

void FoldState::fold(int32_t row)
{
    if (in_range(row) && rows_[static_cast<std::size_t>(row)].folds()) {
        folded_[static_cast<std::size_t>(row)] = 1;
    }
}

void FoldState::unfold(int32_t row)
{
    if (in_range(row)) {
        folded_[static_cast<std::size_t>(row)] = 0;
    }
}

void FoldState::fold_all()
{
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        folded_[row] = rows_[row].folds() ? 1 : 0;
    }
}

void FoldState::unfold_all() { folded_.assign(rows_.size(), 0); }

bool FoldState::is_folded(int32_t row) const
{
    return in_range(row) && folded_[static_cast<std::size_t>(row)] != 0;
}

int32_t FoldState::contents_end(int32_t row) const
{
    return in_range(row) ? contents_end_[static_cast<std::size_t>(row)] : row + 1;
}

std::vector<int32_t> FoldState::visible_rows() const
{
    std::vector<int32_t> shown;
    const auto count = static_cast<int32_t>(rows_.size());
    for (int32_t row = 0; row < count;) {
        shown.push_back(row);
        row = folded_[static_cast<std::size_t>(row)] != 0 ? contents_end_[static_cast<std::size_t>(row)] : row + 1;
    }
    return shown;
}
