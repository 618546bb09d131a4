// A folder opened as a set in the window: the scan fills the series pane, and
// stepping through each series shows its images in order, with the title and
// the table following the image shown.
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "viewer/tform1.h"

namespace {

class FolderDialogs : public Dialogs {
public:
    QString folder;
    QStringList boxes;
    QString file;
    QString openFolder(QWidget*) override { return folder; }
    QString openFile(QWidget*) override { return file; }
    int message(QWidget*, const QString& text, const QString&, QMessageBox::Icon,
                QMessageBox::StandardButtons) override
    {
        boxes.append(text);
        return QMessageBox::Ok;
    }
};

// One image in display order, as the fixture's manifest lists it.
struct Expected {
    QString series;
    QString path;
    int frame; // 1-based in a multi-frame file, 0 otherwise
    QString patient;
};

QString patient_name_in_table(const TForm1& form)
{
    const ElementGrid& grid = form.grid();
    for (int row = 1; row < grid.row_count(); ++row) {
        if (grid.cell(row, 0) == "0010" && grid.cell(row, 1) == "0010") {
            return QString::fromStdString(grid.cell_utf8(row, 5));
        }
    }
    return {};
}

QTreeWidgetItem* series_item(const QTreeWidget& tree, const QString& description)
{
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(&tree)); *it != nullptr; ++it) {
        if ((*it)->childCount() == 0 && (*it)->text(0).contains(description)) {
            return *it;
        }
    }
    return nullptr;
}

} // namespace

class SetTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString folder_;
    QList<Expected> manifest_;

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        folder_ = dir_.filePath(QStringLiteral("study"));
        const QString manifest = dir_.filePath(QStringLiteral("manifest.tsv"));
        QProcess maker;
        maker.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(VELMOR_SERIES_FOLDER_MAKER), folder_, manifest});
        QVERIFY(maker.waitForFinished(60000));
        QCOMPARE(maker.exitCode(), 0);
        QFile file(manifest);
        QVERIFY(file.open(QIODevice::ReadOnly));
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> f = line.split('\t');
            if (f.size() == 4) {
                manifest_.append(
                    {QString::fromUtf8(f[0]), QString::fromUtf8(f[1]), f[2].toInt(), QString::fromUtf8(f[3])});
            }
        }
        QCOMPARE(manifest_.size(), 17);
    }

    void aFolderOpensAsSeriesSteppedInOrder()
    {
        FolderDialogs dialogs;
        dialogs.folder = folder_;
        TForm1 form(&dialogs);
        form.show();
        form.OpenFolder1Click();
        QVERIFY(form.set_is_open());
        QVERIFY(form.tvSeries->isVisible());
        // The first series shows while the scan may still run; the line sums up at its end.
        QTRY_VERIFY_WITH_TIMEOUT(form.scan_finished(), 20000);
        QTRY_COMPARE(form.lbScan->text(), QStringLiteral("15 ファイル、3 シリーズ"));
        QCOMPARE(form.sbSkipped->text(), QStringLiteral("スキップ 3 件"));
        QCOMPARE(form.tvSeries->topLevelItemCount(), 2);
        QCOMPARE(form.tvSeries->topLevelItem(0)->text(0), QStringLiteral("Alpha^One (A1)"));
        QVERIFY(dialogs.boxes.isEmpty());

        for (const QString& series :
             {QStringLiteral("Oblique MR"), QStringLiteral("Localizer"), QStringLiteral("CT steps")}) {
            QList<Expected> images;
            for (const Expected& e : manifest_) {
                if (e.series == series) {
                    images.append(e);
                }
            }
            QTreeWidgetItem* item = series_item(*form.tvSeries, series);
            QVERIFY2(item != nullptr, qPrintable(series));
            emit form.tvSeries->itemClicked(item, 0);
            for (int n = 0; n < images.size(); ++n) {
                const Expected& e = images[n];
                QCOMPARE(form.windowTitle(),
                         QStringLiteral("Velmor - %1 - %2 / %3").arg(series).arg(n + 1).arg(images.size()));
                QCOMPARE(form.edFname->text(), e.path);
                QCOMPARE(patient_name_in_table(form).trimmed(), e.patient);
                QCOMPARE(form.shown_frame(), e.frame > 0 ? e.frame - 1 : 0);
                QVERIFY(form.state().image_shown);
                QTest::keyClick(form.Image, Qt::Key_PageDown);
            }
            // Past the end the last image stays; Home and the wheel go back and forth.
            QVERIFY(form.windowTitle().endsWith(QStringLiteral("%1 / %1").arg(images.size())));
            QTest::keyClick(form.Image, Qt::Key_Home);
            QVERIFY(form.windowTitle().endsWith(QStringLiteral(" 1 / %1").arg(images.size())));
            form.ImageWheel(-120);
            QVERIFY(form.windowTitle().endsWith(QStringLiteral(" 2 / %1").arg(images.size())));
        }
    }

    void aDicomdirOpenedAsAFileOpensItsMedium()
    {
        FolderDialogs dialogs;
        dialogs.file = QStringLiteral(VELMOR_PYDICOM_FILES "/dicomdirtests/DICOMDIR");
        TForm1 form(&dialogs);
        form.show();
        form.Open1Click();
        QVERIFY(form.set_is_open());
        QTRY_VERIFY_WITH_TIMEOUT(form.scan_finished(), 20000);
        // Its records name two patients (as pydicom reads them); the first series' first image shows.
        QCOMPARE(form.tvSeries->topLevelItemCount(), 2);
        QVERIFY(form.state().image_shown);
        QVERIFY(form.edFname->text().startsWith(QStringLiteral(VELMOR_PYDICOM_FILES "/dicomdirtests/")));
        QVERIFY(!form.sbSkipped->isVisible());
        QVERIFY(dialogs.boxes.isEmpty());
    }
};

QTEST_MAIN(SetTest)
#include "set_test.moc"
