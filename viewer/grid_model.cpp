#include "viewer/grid_model.h"

#include <QCoreApplication>
#include <algorithm>

#include "viewer/encoding.h"

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::show(const ElementGrid* grid, int next_row)
{
    beginResetModel();
    grid_ = grid;
    next_row_ = next_row;
    endResetModel();
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || grid_ == nullptr) {
        return 0;
    }
    return std::max(grid_->row_count(), next_row_) - 1;
}

int GridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : grid_columns; }

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || grid_ == nullptr || !index.isValid()) {
        return {};
    }
    const int row = index.row() + 1;
    if (row >= next_row_) {
        return QString();
    }
    return QString::fromStdString(grid_->cell_utf8(row, index.column()));
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= grid_columns) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    // The report keeps the header row's bytes; the window shows it in the user's language.
    const std::string title = cp932_to_utf8(grid_header_row()[static_cast<std::size_t>(section)]);
    return QCoreApplication::translate("GridModel", title.c_str());
}
