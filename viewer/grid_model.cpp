#include "viewer/grid_model.h"

#include <QCoreApplication>
#include <algorithm>

#include "browser/fold_state.h"
#include "reader/dictionary_keywords.h"
#include "viewer/encoding.h"

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::show(const ElementGrid* grid, int next_row, const std::vector<ElementRow>* rows)
{
    beginResetModel();
    grid_ = grid;
    next_row_ = next_row;
    rows_ = rows;
    all_visible_ = true;
    visible_.clear();
    folds_ = nullptr;
    endResetModel();
}

void GridModel::set_visible(std::vector<int32_t> visible, const FoldState* folds)
{
    beginResetModel();
    all_visible_ = false;
    visible_ = std::move(visible);
    folds_ = folds;
    endResetModel();
}

int GridModel::element_row(int view_row) const
{
    if (view_row < 0) {
        return -1;
    }
    if (all_visible_) {
        return view_row + 1 < next_row_ ? view_row : -1;
    }
    return view_row < static_cast<int>(visible_.size()) ? visible_[static_cast<std::size_t>(view_row)] : -1;
}

int GridModel::view_row(int element_row) const
{
    if (all_visible_) {
        return element_row >= 0 && element_row + 1 < next_row_ ? element_row : -1;
    }
    const auto found = std::lower_bound(visible_.begin(), visible_.end(), element_row);
    return found != visible_.end() && *found == element_row ? static_cast<int>(found - visible_.begin()) : -1;
}

QString GridModel::description_lead(int element_row) const
{
    if (rows_ == nullptr || element_row < 0 || element_row >= static_cast<int>(rows_->size())) {
        return {};
    }
    const ElementRow& row = (*rows_)[static_cast<std::size_t>(element_row)];
    QString lead(2 * row.depth, QLatin1Char(' '));
    if (row.folds()) {
        const bool folded = folds_ != nullptr && folds_->is_folded(element_row);
        lead += folded ? QStringLiteral("▸ ") : QStringLiteral("▾ ");
    }
    return lead;
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || grid_ == nullptr) {
        return 0;
    }
    const int all = std::max(grid_->row_count(), next_row_) - 1;
    return all_visible_ ? all : std::max(static_cast<int>(visible_.size()), grid_min_rows - 1);
}

int GridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : grid_columns + 1; }

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || grid_ == nullptr || !index.isValid()) {
        return {};
    }
    const int element = element_row(index.row());
    if (element < 0) {
        return QString();
    }
    const ElementRow* row = rows_ != nullptr && element < static_cast<int>(rows_->size())
                                ? &(*rows_)[static_cast<std::size_t>(element)]
                                : nullptr;
    if (index.column() == keyword_column) {
        const char* keyword = row != nullptr ? keyword_of_tag(row->tag) : nullptr;
        return keyword != nullptr ? QString::fromLatin1(keyword) : QString();
    }
    QString text = QString::fromStdString(grid_->cell_utf8(element + 1, index.column()));
    if (index.column() == description_column && row != nullptr) {
        if (row->kind == RowKind::item) {
            text = QStringLiteral("Item %1").arg(row->item_index + 1);
        }
        text.prepend(description_lead(element));
    }
    return text;
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section > grid_columns) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (section == keyword_column) {
        return QCoreApplication::translate("GridModel", "キーワード");
    }
    // The report keeps the header row's bytes; the window shows it in the user's language.
    const std::string title = cp932_to_utf8(grid_header_row()[static_cast<std::size_t>(section)]);
    return QCoreApplication::translate("GridModel", title.c_str());
}
