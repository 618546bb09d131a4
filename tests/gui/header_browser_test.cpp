// The header browsed in the window: sequences and items fold, find keeps the
// rows above what it finds, the table's rows and the dump's bytes point at
// each other, Copy writes rows as the report does, and two files compared.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "viewer/dump_view.h"
#include "viewer/grid_model.h"
#include "viewer/hex_dump.h"
#include "viewer/tform1.h"

namespace {

const QString samples = QStringLiteral(VELMOR_PYDICOM_FILES);

class QuietDialogs : public Dialogs {
public:
    QString compare_path;
    QString compareFile(QWidget*) override { return compare_path; }
    int message(QWidget*, const QString&, const QString&, QMessageBox::Icon, QMessageBox::StandardButtons) override
    {
        return QMessageBox::Ok;
    }
};

int row_of(const TForm1& form, uint32_t tag)
{
    const std::vector<ElementRow>& rows = form.element_rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].tag == tag) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool shown(const TForm1& form, int element_row) { return form.grid_model->view_row(element_row) >= 0; }

void choose(TForm1& form, int element_row)
{
    form.strGrid->setCurrentIndex(form.grid_model->index(form.grid_model->view_row(element_row), 0));
}

} // namespace

class HeaderBrowserTest : public QObject {
    Q_OBJECT

private slots:
    void sequencesAndItemsFoldByKeyAndByMarker()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        form.open_file(samples + QStringLiteral("/rtstruct.dcm"));
        // (3006,0010): a sequence whose first item holds rows of its own.
        const int sequence = row_of(form, 0x30060010);
        QVERIFY(sequence >= 0);
        const ElementRow& item = form.element_rows()[static_cast<std::size_t>(sequence + 1)];
        QCOMPARE(item.kind, RowKind::item);
        const QString item_text =
            form.grid_model->data(form.grid_model->index(sequence + 1, GridModel::description_column)).toString();
        QCOMPARE(item_text, QStringLiteral("  ▾ Item 1"));

        choose(form, sequence);
        form.strGrid->setFocus();
        QTest::keyClick(form.strGrid, Qt::Key_Left);
        QVERIFY(shown(form, sequence));
        QVERIFY(!shown(form, sequence + 1));
        QVERIFY(!shown(form, sequence + 2));
        QTest::keyClick(form.strGrid, Qt::Key_Right);
        QVERIFY(shown(form, sequence + 2));

        // A click on the item's marker folds the item alone.
        const QRect cell = form.strGrid->visualRect(
            form.grid_model->index(form.grid_model->view_row(sequence + 1), GridModel::description_column));
        QTest::mouseClick(form.strGrid->viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(8, 4));
        QVERIFY(shown(form, sequence + 1));
        QVERIFY(!shown(form, sequence + 2));
        QVERIFY(form.grid_model->data(form.grid_model->index(form.grid_model->view_row(sequence + 1), 4))
                    .toString()
                    .startsWith(QStringLiteral("  ▸ ")));
        // Left on a row inside goes to the row that holds it.
        QTest::keyClick(form.strGrid, Qt::Key_Right);
        choose(form, sequence + 2);
        QTest::keyClick(form.strGrid, Qt::Key_Left);
        QCOMPARE(form.table_element_row(), sequence + 1);
    }

    void findShowsTheMatchesUnderTheirSequencesAndStepsThroughThem()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        form.open_file(samples + QStringLiteral("/rtstruct.dcm"));
        QCOMPARE(form.Find1->shortcut(), QKeySequence(QKeySequence::Find));
        form.Find1->trigger();
        QVERIFY(form.edFind->isVisible());
        QTest::keyClicks(form.edFind, QStringLiteral("referencedroinumber"));
        const std::vector<ElementRow>& rows = form.element_rows();
        int matches = 0;
        for (int view = 0; form.grid_model->element_row(view) >= 0; ++view) {
            const int row = form.grid_model->element_row(view);
            const ElementRow& r = rows[static_cast<std::size_t>(row)];
            QVERIFY(r.parent < 0 || shown(form, r.parent));
            QVERIFY(r.tag == 0x30060084 || r.folds());
            matches += r.tag == 0x30060084 ? 1 : 0;
        }
        QVERIFY(matches >= 2);
        const int first = form.table_element_row();
        QCOMPARE(rows[static_cast<std::size_t>(first)].tag, 0x30060084U);
        QTest::keyClick(form.edFind, Qt::Key_F3);
        QVERIFY(form.table_element_row() > first);
        QCOMPARE(rows[static_cast<std::size_t>(form.table_element_row())].tag, 0x30060084U);
        // Esc closes the find: every row again, the match still chosen.
        const int found = form.table_element_row();
        QTest::keyClick(form.edFind, Qt::Key_Escape);
        QVERIFY(!form.edFind->isVisible());
        QVERIFY(shown(form, 0) && shown(form, static_cast<int>(rows.size()) - 1));
        QCOMPARE(form.table_element_row(), found);
    }

    void theTableAndTheDumpPointAtEachOther()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        form.open_file(samples + QStringLiteral("/CT_small.dcm"));
        const int name = row_of(form, 0x00100010);
        choose(form, name);
        const ElementRow& row = form.element_rows()[static_cast<std::size_t>(name)];
        QCOMPARE(form.Memo->highlighted_bytes(), std::make_pair(row.header_offset, row.end_offset()));

        // A click on the second digit of a byte of Modality's value chooses its row.
        const int modality = row_of(form, 0x00080060);
        const int64_t offset = form.element_rows()[static_cast<std::size_t>(modality)].value_offset;
        const auto line = static_cast<int>(dump_line_of(offset));
        form.Memo->verticalScrollBar()->setValue(line);
        const QString text = QString::fromStdString(form.Memo->text().line(static_cast<std::size_t>(line)));
        const QFontMetrics metrics = form.Memo->fontMetrics();
        const int x = 2 + metrics.horizontalAdvance(text.left(dump_hex_column(offset) + 1)) + 1;
        QTest::mouseClick(form.Memo->viewport(), Qt::LeftButton, {}, QPoint(x, metrics.lineSpacing() / 2));
        QCOMPARE(form.table_element_row(), modality);

        // Pixel Data lies past the dump: the status bar says so.
        choose(form, row_of(form, 0x7FE00010));
        QVERIFY(!form.statusBar()->currentMessage().isEmpty());
    }

    void copyWritesTheChosenRowsAsTheReport()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        const QString file = samples + QStringLiteral("/CT_small.dcm");
        form.open_file(file);
        QItemSelectionModel* selection = form.strGrid->selectionModel();
        for (const uint32_t tag : {0x00100020U, 0x00100010U}) {
            selection->select(form.grid_model->index(form.grid_model->view_row(row_of(form, tag)), 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        form.strGrid->setFocus();
        QTest::keyClick(form.strGrid, Qt::Key_C, Qt::ControlModifier);
        const QStringList copied =
            QApplication::clipboard()->text().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(copied.size(), 2);
        QVERIFY(copied[0].startsWith(QStringLiteral("(0010:0010)")));
        QProcess report;
        report.start(QStringLiteral(VELMOR_DUMP),
                     {QStringLiteral("report"), QStringLiteral("--encoding"), QStringLiteral("utf-8"), file});
        QVERIFY(report.waitForFinished(30000));
        const QString written = QString::fromUtf8(report.readAllStandardOutput());
        for (const QString& line : copied) {
            QVERIFY2(written.contains(line + QStringLiteral("\r\n")), qPrintable(line));
        }
    }

    void compareListsTheDifferencesAndFindsAmongThem()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        QVERIFY(!form.Compare1->isEnabled());
        form.open_file(samples + QStringLiteral("/MR_small.dcm"));
        dialogs.compare_path = samples + QStringLiteral("/MR_small.dcm");
        form.Compare1->trigger();
        QVERIFY(form.fmCompare->isVisible());
        QCOMPARE(form.tblCompare->rowCount(), 0);

        dialogs.compare_path = samples + QStringLiteral("/CT_small.dcm");
        form.Compare1->trigger();
        QVERIFY(form.tblCompare->rowCount() > 10);
        int patient_name = -1;
        for (int r = 0; r < form.tblCompare->rowCount(); ++r) {
            if (form.tblCompare->item(r, 1)->text() == QStringLiteral("(0010,0010)")) {
                patient_name = r;
            }
        }
        QVERIFY(patient_name >= 0);
        QCOMPARE(form.tblCompare->item(patient_name, 0)->text(), QStringLiteral("~"));
        form.edCompareFind->setText(QStringLiteral("(0010,0010)"));
        QVERIFY(!form.tblCompare->isRowHidden(patient_name));
        QVERIFY(form.tblCompare->isRowHidden(patient_name == 0 ? 1 : 0));
    }
};

QTEST_MAIN(HeaderBrowserTest)
#include "header_browser_test.moc"
