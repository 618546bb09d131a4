// The element table's model: the walk's ElementGrid read in place, one view
// row per element row (the grid's row 0 gives the column headers).
#pragma once

#include <QAbstractTableModel>

#include "viewer/element_grid.h"

class GridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit GridModel(QObject* parent = nullptr);

    // Shows `grid` (which must outlive the model or the next show) with rows
    // 1 to next_row - 1 filled; the view keeps at least the grid's rows.
    void show(const ElementGrid* grid, int next_row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const ElementGrid* grid_ = nullptr;
    int next_row_ = 1;
};
