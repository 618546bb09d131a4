// The picture of the window beyond its first look: the Window menu with the
// file's windows and the presets, Invert, and the picture rendered at the
// pane's size when the window grows.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>

#include "viewer/tform1.h"

namespace {

const QString ct_small = QStringLiteral(VELMOR_PYDICOM_FILES "/CT_small.dcm");
const QString rgb_two_frames = QStringLiteral(VELMOR_PYDICOM_FILES "/SC_rgb_rle_2frame.dcm");

class QuietDialogs : public Dialogs {
public:
    QStringList boxes;
    QString export_path;
    bool export_full = false;
    QString exportImage(QWidget*, bool& full_resolution) override
    {
        full_resolution = export_full;
        return export_path;
    }
    int message(QWidget*, const QString& text, const QString&, QMessageBox::Icon,
                QMessageBox::StandardButtons) override
    {
        boxes.append(text);
        return QMessageBox::Ok;
    }
};

QImage shown(const TForm1& form) { return form.Image->pixmap().toImage().convertToFormat(QImage::Format_RGB888); }

// A left drag over the picture from `from` to `to`, in pane pixels.
void drag(QWidget* image, QPoint from, QPoint to)
{
    QTest::mousePress(image, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, to, image->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(image, &move);
    QTest::mouseRelease(image, Qt::LeftButton, Qt::NoModifier, to);
}

QAction* action_named(QMenu* menu, const QString& start)
{
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith(start)) {
            return action;
        }
    }
    return nullptr;
}

} // namespace

class PictureViewTest : public QObject {
    Q_OBJECT

private slots:
    void windowMenuOffersTheFileAndThePresetsAndInverts()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        form.open_file(ct_small);
        QVERIFY(form.state().image_shown);
        emit form.Window1->aboutToShow();
        // CT_small carries no window of its own: the CT presets and the automatic ones.
        QAction* lung = action_named(form.Window1, QStringLiteral("lung"));
        QVERIFY(lung != nullptr);
        QVERIFY(action_named(form.Window1, QStringLiteral("auto (min")) != nullptr);
        const QImage before = shown(form);
        lung->trigger();
        QCOMPARE(form.state().window_level, -600);
        QCOMPARE(form.state().window_width, 1500);
        QVERIFY(shown(form) != before);

        // Invert, from the key while the picture has the focus: every gray level mirrored.
        const QImage lung_picture = shown(form);
        form.Image->setFocus();
        QTest::keyClick(form.Image, Qt::Key_I);
        QVERIFY(form.Invert1->isChecked());
        const QImage inverted = shown(form);
        for (const QPoint p : {QPoint(128, 128), QPoint(40, 200), QPoint(200, 60)}) {
            QCOMPARE(qRed(inverted.pixel(p)), 255 - qRed(lung_picture.pixel(p)));
        }
        QVERIFY(dialogs.boxes.isEmpty());
    }

    void thePictureFollowsThePaneAtItsOwnResolution()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        form.open_file(ct_small);
        QCOMPARE(form.Image->size(), QSize(256, 256));
        QCOMPARE(form.Image->pixmap().size(), QSize(256, 256));
        form.resize(form.width() + 400, form.height() + 300);
        QTRY_VERIFY(form.Image->width() > 256);
        // Square CT, square pane: the picture is the pane's size, its pixels
        // made from the frame (a 128 x 128 frame at more than twice: bilinear
        // steps between neighbours, not blocks of the 256 picture).
        QCOMPARE(form.Image->pixmap().size(), form.Image->size());
        const QImage big = shown(form);
        int distinct_neighbours = 0;
        for (int x = 100; x < 140; ++x) {
            distinct_neighbours += big.pixel(x, big.height() / 2) != big.pixel(x + 1, big.height() / 2) ? 1 : 0;
        }
        QVERIFY(distinct_neighbours > 20);

        // Ctrl + wheel zooms about the cursor: the frame point under it stays.
        const ViewRect before = form.shown_view();
        const QPointF cursor(100, 60);
        QWheelEvent notch(cursor, form.Image->mapToGlobal(cursor), QPoint(), QPoint(0, 240), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(form.Image, &notch);
        const ViewRect after = form.shown_view();
        QVERIFY(after.scale_x > before.scale_x * 1.5);
        QVERIFY(std::abs((before.left + 100 / before.scale_x) - (after.left + 100 / after.scale_x)) < 1e-9);
        QVERIFY(std::abs((before.top + 60 / before.scale_y) - (after.top + 60 / after.scale_y)) < 1e-9);
        QVERIFY(shown(form) != big);
        // 1 shows one image pixel a screen pixel; F fits again.
        form.Image->setFocus();
        QTest::keyClick(form.Image, Qt::Key_1);
        QCOMPARE(form.shown_view().scale_x, 1.0);
        QTest::keyClick(form.Image, Qt::Key_F);
        QCOMPARE(form.shown_view(), before);
    }

    void noTwoActionsShareAKeyAndTheListNamesThemAll()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        // The picture's own keys are taken by no menu action.
        QList<QKeySequence> taken = {Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_Home, Qt::Key_End,
                                     Qt::Key_I,        Qt::Key_O,      Qt::Key_P};
        for (QAction* action : form.findChildren<QAction*>()) {
            for (const QKeySequence& key : action->shortcuts()) {
                QVERIFY2(!taken.contains(key), qPrintable(key.toString()));
                taken.append(key);
            }
        }
        form.Shortcuts1->trigger();
        QCOMPARE(dialogs.boxes.size(), 1);
        for (const QString& key : {QStringLiteral("Ctrl+O"), QStringLiteral("Ctrl+Shift+O"),
                                   QStringLiteral("Ctrl+S"), QStringLiteral("Page Down"), QStringLiteral("Home"),
                                   QStringLiteral("I\t"), QStringLiteral("O\t"), QStringLiteral("P\t")}) {
            QVERIFY2(dialogs.boxes.first().contains(key), qPrintable(key));
        }
    }

    void exportWritesTheViewOrTheWholeFrameAsVelmorDumpDoes()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        QVERIFY(!form.Export1->isEnabled());
        form.open_file(ct_small);
        QVERIFY(form.Export1->isEnabled());
        QTemporaryDir dir;
        dialogs.export_path = dir.filePath(QStringLiteral("view.png"));
        form.Export1->trigger();
        QCOMPARE(QImage(dialogs.export_path).convertToFormat(QImage::Format_RGB888), shown(form));

        dialogs.export_path = dir.filePath(QStringLiteral("full.png"));
        dialogs.export_full = true;
        form.Export1->trigger();
        const QString dumped = dir.filePath(QStringLiteral("dump.png"));
        QProcess dump;
        dump.start(QStringLiteral(VELMOR_DUMP), {QStringLiteral("picture"), ct_small, dumped,
                                                 QStringLiteral("--size"), QStringLiteral("full")});
        QVERIFY(dump.waitForFinished(30000));
        QCOMPARE(dump.exitCode(), 0);
        const QImage full(dialogs.export_path);
        QCOMPARE(full.size(), QSize(128, 128));
        QCOMPARE(full.convertToFormat(QImage::Format_RGB888),
                 QImage(dumped).convertToFormat(QImage::Format_RGB888));
        QVERIFY(dialogs.boxes.isEmpty());
    }

    void theStatusBarReadsTheValueUnderTheCursor()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        // The client area keeps its size; the status bar lies below it.
        QCOMPARE(form.centralWidget()->height(), 561);
        QVERIFY(form.statusBar()->isVisible());
        form.open_file(ct_small);
        // CT_small's 128 x 128 frame fills the 256 x 256 picture: pane pixel
        // (241, 177) shows image pixel (120, 88), stored 998, intercept -1024.
        const QPoint at(241, 177);
        QMouseEvent move(QEvent::MouseMove, at, form.Image->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(form.Image, &move);
        const QString values = form.lbValues->text();
        QVERIFY2(values.startsWith(QStringLiteral("x 120  y 88   ")) &&
                     values.contains(QStringLiteral(" 998   -26 HU   (")),
                 qPrintable(values));
        QVERIFY(values.endsWith(QStringLiteral(") mm")));
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(form.Image, &leave);
        QVERIFY(form.lbValues->text().isEmpty());
    }

    void theRulerMeasuresInTheFilesUnitAndStaysWithItsImageUntilEsc()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        form.open_file(ct_small);
        const QImage plain = shown(form);
        const int level = form.state().window_level;
        form.Image->setFocus();
        QTest::keyClick(form.Image, Qt::Key_M);
        QVERIFY(form.sbRuler->isChecked());
        // 200 pane pixels at 2 x: 100 image pixels of 0.661468 mm.
        drag(form.Image, QPoint(20, 20), QPoint(220, 20));
        QCOMPARE(form.ruler_texts(), QStringList{QStringLiteral("66.1 mm")});
        QCOMPARE(form.state().window_level, level);
        QVERIFY(shown(form) != plain);
        QTest::keyClick(form.Image, Qt::Key_Escape);
        QVERIFY(form.ruler_texts().isEmpty());
        QCOMPARE(shown(form), plain);

        // Lines belong to their frame.
        form.open_file(rgb_two_frames);
        drag(form.Image, QPoint(10, 10), QPoint(10, 110));
        QCOMPARE(form.ruler_lines().size(), std::size_t{1});
        QTest::keyClick(form.Image, Qt::Key_PageDown);
        QCOMPARE(form.shown_frame(), 1);
        QVERIFY(form.ruler_lines().empty());
        QTest::keyClick(form.Image, Qt::Key_PageUp);
        QCOMPARE(form.ruler_lines().size(), std::size_t{1});

        // M again: the left drag windows once more.
        QTest::keyClick(form.Image, Qt::Key_M);
        form.open_file(ct_small);
        const int width = form.state().window_width;
        drag(form.Image, QPoint(20, 20), QPoint(120, 20));
        QVERIFY(form.state().window_width != width);
        QVERIFY(form.ruler_lines().empty());
    }

    void pPlaysTheFramesWrappingAtTheEndAndStops()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        form.open_file(ct_small);
        form.Image->setFocus();
        QTest::keyClick(form.Image, Qt::Key_P);
        QVERIFY(!form.playing()); // one frame: nothing to play

        form.open_file(rgb_two_frames);
        QTest::keyClick(form.Image, Qt::Key_P);
        QVERIFY(form.playing());
        QTRY_COMPARE(form.shown_frame(), 1);
        QTRY_COMPARE(form.shown_frame(), 0); // after the last, the first
        QTest::keyClick(form.Image, Qt::Key_P);
        QVERIFY(!form.playing());

        // Another file stops it.
        QTest::keyClick(form.Image, Qt::Key_P);
        QVERIFY(form.playing());
        form.open_file(ct_small);
        QVERIFY(!form.playing());
        QVERIFY(dialogs.boxes.isEmpty());
    }

    void spaceAndTheLeftDragPanWithoutWindowing()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        form.open_file(ct_small);
        form.Image->setFocus();
        QTest::keyClick(form.Image, Qt::Key_Plus);
        const ViewRect zoomed = form.shown_view();
        const WindowSetting window{form.state().window_level, form.state().window_width};
        QTest::keyPress(form.Image, Qt::Key_Space);
        drag(form.Image, QPoint(100, 100), QPoint(140, 90));
        QTest::keyRelease(form.Image, Qt::Key_Space);
        QCOMPARE(form.shown_view().left, zoomed.left - 40 / zoomed.scale_x);
        QCOMPARE(form.shown_view().top, zoomed.top + 10 / zoomed.scale_y);
        QCOMPARE(form.state().window_level, window.level);
        QCOMPARE(form.state().window_width, window.width);
    }

    void aStructuredReportShowsItsContentTreeInThePicturePane()
    {
        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        const QString report = QStringLiteral(VELMOR_PYDICOM_FILES "/test-SR.dcm");
        form.open_file(report);
        QVERIFY(form.mmReport->isVisible());
        QProcess sr;
        sr.start(QStringLiteral(VELMOR_DUMP), {QStringLiteral("sr"), report});
        QVERIFY(sr.waitForFinished(30000));
        QCOMPARE(form.mmReport->toPlainText() + QLatin1Char('\n'), QString::fromUtf8(sr.readAllStandardOutput()));
        // A picture again: the report goes.
        form.open_file(ct_small);
        QVERIFY(!form.mmReport->isVisible());
    }

    void anEncapsulatedPdfShowsItsPagesAsFrames()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("two pages.pdf"));
        {
            QPdfWriter writer(pdf);
            QPainter painter(&writer);
            painter.fillRect(QRect(0, 0, writer.width(), writer.height() / 2), Qt::black);
            writer.newPage();
            painter.drawText(100, 100, QStringLiteral("second page"));
        }
        const QString dicom = dir.filePath(QStringLiteral("document.dcm"));
        QProcess encapsulate;
        encapsulate.start(QStringLiteral("pdf2dcm"), {pdf, dicom});
        QVERIFY(encapsulate.waitForFinished(30000));
        QCOMPARE(encapsulate.exitCode(), 0);

        QuietDialogs dialogs;
        TForm1 form(&dialogs);
        form.show();
        form.open_file(dicom);
        QCOMPARE(form.frame_count(), 2);
        QVERIFY(form.windowTitle().endsWith(QStringLiteral(" - 1 / 2")));
        // The first page's upper half is black, its lower half white.
        const QImage first = shown(form);
        QCOMPARE(first.pixel(128, 64), qRgb(0, 0, 0));
        QCOMPARE(first.pixel(128, 192), qRgb(255, 255, 255));
        form.Image->setFocus();
        QTest::keyClick(form.Image, Qt::Key_PageDown);
        QCOMPARE(form.shown_frame(), 1);
        QVERIFY(shown(form) != first);
        QVERIFY(dialogs.boxes.isEmpty());
    }
};

QTEST_MAIN(PictureViewTest)
#include "picture_view_test.moc"
