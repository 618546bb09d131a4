// The header browser in the window: the table's folds and find field, Copy
// and the table's context menus, the link between the table's rows and the
// dump's bytes, and File > Compare with.
#include <QAction>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "browser/byte_link.h"
#include "browser/fold_state.h"
#include "browser/header_diff.h"
#include "browser/row_copy.h"
#include "browser/row_find.h"
#include "browser/tag_path.h"
#include "viewer/dump_view.h"
#include "viewer/grid_model.h"
#include "viewer/messages.h"
#include "viewer/tform1.h"

namespace {

QString tag_text(uint32_t tag) { return QString::asprintf("(%04X,%04X)", tag >> 16, tag & 0xFFFF); }

} // namespace

void TForm1::create_browse()
{
    strGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(strGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { table_row_chosen(grid_model->element_row(current.row())); });
    strGrid->viewport()->installEventFilter(this);
    strGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(strGrid, &QWidget::customContextMenuRequested, this, &TForm1::table_menu);
    // The header's menu shows or hides the keyword column.
    QHeaderView* header = strGrid->horizontalHeader();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QWidget::customContextMenuRequested, this, [this, header](QPoint at) {
        QMenu menu;
        QAction* keywords = menu.addAction(tr("キーワード"));
        keywords->setCheckable(true);
        keywords->setChecked(!strGrid->isColumnHidden(GridModel::keyword_column));
        connect(keywords, &QAction::toggled, this,
                [this](bool shown) { strGrid->setColumnHidden(GridModel::keyword_column, !shown); });
        menu.exec(header->mapToGlobal(at));
    });
    connect(Memo, &DumpView::byte_clicked, this, &TForm1::dump_byte_clicked);

    Find1 = new QAction(tr("検索"), this);
    Find1->setObjectName(QStringLiteral("Find1"));
    Find1->setShortcut(QKeySequence::Find);
    addAction(Find1);
    connect(Find1, &QAction::triggered, this, [this] {
        // The index is built as the field opens, before the first query.
        if (!finder_) {
            finder_ = std::make_unique<RowFinder>(listing());
        }
        edFind->show();
        edFind->setFocus(Qt::ShortcutFocusReason);
        edFind->selectAll();
    });
    edFind->setPlaceholderText(tr("タグ、キーワード、説明、値を検索"));
    edFind->installEventFilter(this);
    connect(edFind, &QLineEdit::textChanged, this, &TForm1::find_rows);
    connect(edFind, &QLineEdit::returnPressed, this, [this] { step_find(true); });
}

void TForm1::browse_new_listing()
{
    folds_ = std::make_unique<FoldState>(listing().rows);
    finder_.reset();
    find_matches_.clear();
    Compare1->setEnabled(opened_ != nullptr);
    statusBar()->clearMessage();
    if (edFind->isVisible() && !edFind->text().trimmed().isEmpty()) {
        find_rows(edFind->text());
    }
}

int TForm1::table_element_row() const { return grid_model->element_row(strGrid->currentIndex().row()); }

void TForm1::show_table_rows()
{
    const int chosen = table_element_row();
    if (edFind->isVisible() && !edFind->text().trimmed().isEmpty()) {
        FindResult found = finder_->find(edFind->text().toStdString());
        find_matches_ = found.matches;
        grid_model->set_visible(std::move(found.shown), nullptr);
        statusBar()->showMessage(tr("%1 件").arg(find_matches_.size()));
    } else {
        find_matches_.clear();
        grid_model->set_visible(folds_->visible_rows(), folds_.get());
    }
    const int view = grid_model->view_row(chosen);
    if (view >= 0) {
        strGrid->setCurrentIndex(grid_model->index(view, 0));
    }
}

void TForm1::fold_row(int element_row, bool fold)
{
    if (fold) {
        folds_->fold(element_row);
    } else {
        folds_->unfold(element_row);
    }
    show_table_rows();
    select_element_row(element_row);
}

void TForm1::find_rows(const QString& query)
{
    if (!finder_) {
        finder_ = std::make_unique<RowFinder>(listing());
    }
    show_table_rows();
    if (query.trimmed().isEmpty()) {
        statusBar()->clearMessage();
    } else if (!find_matches_.empty()) {
        select_element_row(find_matches_.front());
    }
}

void TForm1::step_find(bool forward)
{
    FindResult found;
    found.matches = find_matches_;
    const int row = forward ? found.next_match(table_element_row()) : found.previous_match(table_element_row());
    if (row >= 0) {
        select_element_row(row);
    }
}

void TForm1::select_element_row(int element_row)
{
    if (element_row < 0 || element_row >= static_cast<int>(listing().rows.size())) {
        return;
    }
    if (grid_model->view_row(element_row) < 0) {
        // Hidden by a fold: the rows that hold it open. Hidden by find: the find closes.
        for (const int32_t holder : row_chain(listing().rows, element_row)) {
            if (holder != element_row) {
                folds_->unfold(holder);
            }
        }
        if (std::find(find_matches_.begin(), find_matches_.end(), element_row) == find_matches_.end()) {
            edFind->clear();
        }
        show_table_rows();
    }
    const QModelIndex index = grid_model->index(grid_model->view_row(element_row), 0);
    strGrid->setCurrentIndex(index);
    strGrid->scrollTo(index);
}

void TForm1::table_row_chosen(int element_row)
{
    if (element_row < 0) {
        Memo->highlight_bytes(0, 0);
        return;
    }
    const RowBytes bytes = row_bytes(listing().rows, element_row, Memo->text().byte_count());
    Memo->highlight_bytes(bytes.begin, bytes.shown_end);
    if (bytes.past_dump) {
        statusBar()->showMessage(tr("値はダンプの外にあります (オフセット %1、%2 バイト)")
                                     .arg(bytes.begin)
                                     .arg(bytes.end - bytes.begin));
    } else if (find_matches_.empty()) {
        statusBar()->clearMessage();
    }
}

void TForm1::dump_byte_clicked(int64_t offset)
{
    const int row = row_at_offset(listing().rows, offset);
    if (row >= 0) {
        select_element_row(row);
    }
}

void TForm1::copy_table_rows()
{
    std::vector<int32_t> rows;
    for (const QModelIndex& index : strGrid->selectionModel()->selectedRows()) {
        const int row = grid_model->element_row(index.row());
        if (row >= 0) {
            rows.push_back(row);
        }
    }
    if (!rows.empty()) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(copy_rows(listing(), rows)));
    }
}

void TForm1::table_menu(QPoint position)
{
    const int row = grid_model->element_row(strGrid->indexAt(position).row());
    if (row < 0 || row >= static_cast<int>(listing().rows.size())) {
        return;
    }
    const auto to_clipboard = [](const QString& text) { QGuiApplication::clipboard()->setText(text); };
    QMenu menu;
    const QString value = QString::fromStdString(listing().grid.cell_utf8(row + 1, grid_columns - 1));
    connect(menu.addAction(tr("値をコピー")), &QAction::triggered, this, [&] { to_clipboard(value); });
    connect(menu.addAction(tr("タグをコピー")), &QAction::triggered, this,
            [&] { to_clipboard(tag_text(listing().rows[static_cast<std::size_t>(row)].tag)); });
    connect(menu.addAction(tr("タグパスをコピー")), &QAction::triggered, this,
            [&] { to_clipboard(QString::fromStdString(tag_path(listing().rows, row))); });
    connect(menu.addAction(tr("行をコピー")), &QAction::triggered, this, &TForm1::copy_table_rows);
    menu.exec(strGrid->viewport()->mapToGlobal(position));
}

bool TForm1::browse_event(QObject* watched, QEvent* event)
{
    if (watched == strGrid && event->type() == QEvent::KeyPress) {
        return table_key(static_cast<QKeyEvent*>(event));
    }
    if (watched == edFind && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            // The find closes: the folds' view comes back, the row found stays chosen.
            edFind->clear();
            edFind->hide();
            show_table_rows();
            strGrid->setFocus();
            return true;
        }
        if (key->key() == Qt::Key_F3) {
            step_find((key->modifiers() & Qt::ShiftModifier) == 0);
            return true;
        }
    }
    if (watched == strGrid->viewport() && event->type() == QEvent::MouseButtonPress) {
        // A click on a sequence or item row's marker folds or unfolds it.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex index = strGrid->indexAt(mouse->position().toPoint());
        const int row = grid_model->element_row(index.row());
        if (index.column() != GridModel::description_column || row < 0 ||
            !listing().rows[static_cast<std::size_t>(row)].folds() || !find_matches_.empty()) {
            return false;
        }
        const int marker_end = strGrid->visualRect(index).left() + 4 +
                               strGrid->fontMetrics().horizontalAdvance(grid_model->description_lead(row));
        if (mouse->position().x() < marker_end) {
            fold_row(row, !folds_->is_folded(row));
            return true;
        }
    }
    return false;
}

bool TForm1::table_key(QKeyEvent* key)
{
    if (key->matches(QKeySequence::Copy)) {
        copy_table_rows();
        return true;
    }
    if (key->key() == Qt::Key_F3) {
        step_find((key->modifiers() & Qt::ShiftModifier) == 0);
        return true;
    }
    const int row = table_element_row();
    if (row < 0 || (key->key() != Qt::Key_Left && key->key() != Qt::Key_Right)) {
        return false;
    }
    const ElementRow& element = listing().rows[static_cast<std::size_t>(row)];
    const bool folded = folds_->is_folded(row);
    if (key->key() == Qt::Key_Right) {
        if (element.folds() && folded) {
            fold_row(row, false);
        }
    } else if (element.folds() && !folded && find_matches_.empty()) {
        fold_row(row, true);
    } else {
        select_element_row(element.parent);
    }
    return true;
}

void TForm1::Compare1Click()
{
    const QString path = dialogs_->compareFile(this);
    if (!path.isEmpty()) {
        compare_with(path);
    }
}

void TForm1::compare_with(const QString& path)
{
    if (!opened_) {
        return;
    }
    ViewerState second_state = state_;
    OpenedFile second;
    if (!second.open(QFile::encodeName(path).constData(), second_state)) {
        show_check_box(path, second.check(), second.error());
        return;
    }
    using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
    const FilePtr first_file(std::fopen(opened_->path().c_str(), "rb"), std::fclose);
    const FilePtr second_file(std::fopen(QFile::encodeName(path).constData(), "rb"), std::fclose);
    if (!first_file || !second_file) {
        message(msg::cannot_open, msg::caption_error, QMessageBox::NoIcon, QMessageBox::Ok);
        return;
    }
    const DiffSide first_side{listing(), file_byte_source(first_file.get()), state_.big_endian_data_set};
    const DiffSide second_side{second.listing(), file_byte_source(second_file.get()),
                               second_state.big_endian_data_set};
    if (fmCompare == nullptr) {
        fmCompare = new QDialog(this);
        fmCompare->setObjectName(QStringLiteral("fmCompare"));
        fmCompare->resize(760, 420);
        auto* layout = new QVBoxLayout(fmCompare);
        auto* files = new QLabel(fmCompare);
        files->setObjectName(QStringLiteral("lbCompareFiles"));
        layout->addWidget(files);
        edCompareFind = new QLineEdit(fmCompare);
        edCompareFind->setObjectName(QStringLiteral("edCompareFind"));
        edCompareFind->setPlaceholderText(edFind->placeholderText());
        connect(edCompareFind, &QLineEdit::textChanged, this, &TForm1::filter_differences);
        layout->addWidget(edCompareFind);
        tblCompare = new QTableWidget(0, 4, fmCompare);
        tblCompare->setObjectName(QStringLiteral("tblCompare"));
        tblCompare->setHorizontalHeaderLabels({QString(), tr("タグパス"), tr("1 つ目の値"), tr("2 つ目の値")});
        tblCompare->verticalHeader()->hide();
        tblCompare->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tblCompare->setSelectionBehavior(QAbstractItemView::SelectRows);
        tblCompare->setColumnWidth(0, 24);
        tblCompare->setColumnWidth(1, 260);
        tblCompare->setColumnWidth(2, 200);
        tblCompare->horizontalHeader()->setStretchLastSection(true);
        layout->addWidget(tblCompare);
    }
    fmCompare->setWindowTitle(tr("比較") + QStringLiteral(" - ") + file_name_ + QStringLiteral(" / ") +
                              QFileInfo(path).fileName());
    fmCompare->findChild<QLabel*>(QStringLiteral("lbCompareFiles"))
        ->setText(QStringLiteral("- ") + QString::fromStdString(opened_->path()) + QStringLiteral("\n+ ") + path);
    show_differences(compare_headers(first_side, second_side));
    fmCompare->show();
    fmCompare->raise();
}

void TForm1::show_differences(const std::vector<HeaderDifference>& differences)
{
    tblCompare->setRowCount(0);
    tblCompare->setRowCount(static_cast<int>(differences.size()));
    int row = 0;
    for (const HeaderDifference& d : differences) {
        const QString cells[] = {QString(QChar::fromLatin1(static_cast<char>(d.mark))),
                                 QString::fromStdString(d.path), QString::fromStdString(d.first_value),
                                 QString::fromStdString(d.second_value)};
        for (int column = 0; column < 4; ++column) {
            tblCompare->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
        ++row;
    }
    filter_differences(edCompareFind->text());
}

void TForm1::filter_differences(const QString& query)
{
    const QString wanted = query.trimmed();
    for (int row = 0; row < tblCompare->rowCount(); ++row) {
        bool shown = wanted.isEmpty();
        for (int column = 1; column < 4 && !shown; ++column) {
            shown = tblCompare->item(row, column)->text().contains(wanted, Qt::CaseInsensitive);
        }
        tblCompare->setRowHidden(row, !shown);
    }
}
