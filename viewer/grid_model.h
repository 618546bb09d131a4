// The element table's model: the walk's ElementGrid read in place (the
// grid's row 0 gives the column headers). With the rows' nesting it shows
// each description indented by its depth, a fold marker on sequence and item
// rows and items as "Item n", and only the element rows in view (folding and
// find choose them); a seventh column gives each row's keyword.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <vector>

#include "viewer/element_grid.h"
#include "viewer/element_rows.h"

class FoldState;

class GridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int description_column = 4;
    static constexpr int keyword_column = grid_columns;

    explicit GridModel(QObject* parent = nullptr);

    // Shows `grid` (which must outlive the model or the next show) with rows
    // 1 to next_row - 1 filled, every one in view; the view keeps at least
    // the grid's rows. `rows` (one per element row, grid row i + 1 for
    // rows[i]) gives the nesting, or nothing.
    void show(const ElementGrid* grid, int next_row, const std::vector<ElementRow>* rows = nullptr);
    // The element rows in view, ascending, and the folds their markers show.
    void set_visible(std::vector<int32_t> visible, const FoldState* folds);

    // The element row (index into the rows) of a view row; -1 for none.
    int element_row(int view_row) const;
    // The view row of an element row; -1 when it is not in view.
    int view_row(int element_row) const;
    // The text before a description: the indent and the fold marker.
    QString description_lead(int element_row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const ElementGrid* grid_ = nullptr;
    int next_row_ = 1;
    const std::vector<ElementRow>* rows_ = nullptr;
    bool all_visible_ = true;
    std::vector<int32_t> visible_;
    const FoldState* folds_ = nullptr;
};
