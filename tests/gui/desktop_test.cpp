// The desktop side of the viewer: start-up with a file, dropped files, the
// Help menu, and the command-line answers of both programs.
#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <memory>
#include <vector>

#include "viewer/command_line.h"
#include "viewer/dump_view.h"
#include "viewer/tform1.h"
#include <QTreeWidget>

namespace {

const QString samples = QStringLiteral(VELMOR_PYDICOM_FILES);
const QString ct_small = samples + QStringLiteral("/CT_small.dcm");
const QString mr_small = samples + QStringLiteral("/MR_small.dcm");

// Answers every box at once and keeps what it was shown.
class RecordingDialogs : public Dialogs {
public:
    QStringList boxes;
    QStringList abouts;

    QString openFile(QWidget*) override { return {}; }
    QString saveFile(QWidget*) override { return {}; }
    int message(QWidget*, const QString& text, const QString&, QMessageBox::Icon,
                QMessageBox::StandardButtons) override
    {
        boxes.append(text);
        return QMessageBox::Ok;
    }
    void about(QWidget*, const QString& caption, const QString& text) override { abouts.append(caption + text); }
};

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Runs a program with a platform plugin that does not exist, so that any
// attempt to open a window makes it fail instead of showing one.
Run run_without_display(const QString& program, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// Drags mime over the form and drops it there; returns whether the form took
// the drag and the drop.
std::pair<bool, bool> drag_and_drop(TForm1& form, const QMimeData& mime)
{
    const QPoint over_memo = form.Memo->mapTo(&form, QPoint(20, 20));
    QDragEnterEvent enter(over_memo, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &enter);
    QDropEvent drop(over_memo, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &drop);
    QCoreApplication::sendPostedEvents(); // the open queued by the drop
    return {enter.isAccepted(), drop.isAccepted()};
}

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<RecordingDialogs> dialogs_;
    std::unique_ptr<TForm1> form_;

private slots:
    void init()
    {
        dialogs_ = std::make_unique<RecordingDialogs>();
        form_ = std::make_unique<TForm1>(dialogs_.get());
    }
    void cleanup()
    {
        form_.reset();
        dialogs_.reset();
    }

    void startUpOpensTheGivenFileOrNothing()
    {
        form_->show_and_open(ct_small);
        QVERIFY(form_->isVisible());
        QCOMPARE(form_->edFname->text(), ct_small);
        QCOMPARE(form_->edHsize->text(), QStringLiteral("6296"));
        QCOMPARE(form_->strGrid->model()->rowCount(), 271);
        QVERIFY(form_->sbSave->isEnabled());
        QVERIFY(dialogs_->boxes.isEmpty());

        TForm1 empty(dialogs_.get());
        empty.show_and_open(QString());
        QVERIFY(empty.isVisible());
        QVERIFY(empty.edFname->text().isEmpty());
        QVERIFY(!empty.sbSave->isEnabled());
        QVERIFY(dialogs_->boxes.isEmpty());

        // A file that is not there gets the Open pipeline's own box.
        TForm1 missing(dialogs_.get());
        missing.show_and_open(samples + QStringLiteral("/no-such-file.dcm"));
        QCOMPARE(dialogs_->boxes,
                 QStringList{QStringLiteral("ファイルを開くことができません。\nNo such file or directory")});
        QVERIFY(missing.edFname->text().isEmpty());
    }

    void aDroppedFileIsOpenedTheFirstOfSeveral()
    {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(ct_small), QUrl::fromLocalFile(mr_small)});
        mime.setText(ct_small);
        QCOMPARE(drag_and_drop(*form_, mime), std::make_pair(true, true));
        QCOMPARE(form_->edFname->text(), ct_small);
        QCOMPARE(form_->edHsize->text(), QStringLiteral("6296"));
        QVERIFY(dialogs_->boxes.isEmpty());
    }

    void otherDropsAreRefused()
    {
        QMimeData remote;
        remote.setUrls({QUrl(QStringLiteral("https://example.org/CT_small.dcm")), QUrl::fromLocalFile(ct_small)});
        QMimeData text;
        text.setText(ct_small);
        for (const QMimeData* mime : {&remote, &text}) {
            QCOMPARE(drag_and_drop(*form_, *mime), std::make_pair(false, false));
        }
        QVERIFY(form_->edFname->text().isEmpty());
        QVERIFY(!form_->sbSave->isEnabled());
        QVERIFY(dialogs_->boxes.isEmpty());
    }

    void aDroppedFolderOpensAsASetThatAFileCloses()
    {
        form_->show();
        const int single_width = form_->width();
        QMimeData folder;
        folder.setUrls({QUrl::fromLocalFile(samples + QStringLiteral("/dicomdirtests"))});
        QCOMPARE(drag_and_drop(*form_, folder), std::make_pair(true, true));
        QVERIFY(form_->set_is_open());
        QTRY_VERIFY_WITH_TIMEOUT(form_->scan_finished(), 20000);
        QTRY_VERIFY(form_->tvSeries->topLevelItemCount() > 0);
        QVERIFY(form_->width() > single_width);
        QVERIFY(form_->windowTitle().contains(QStringLiteral(" / ")));

        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(ct_small)});
        QCOMPARE(drag_and_drop(*form_, file), std::make_pair(true, true));
        QVERIFY(!form_->set_is_open());
        QVERIFY(!form_->tvSeries->isVisible());
        QCOMPARE(form_->width(), single_width);
        QCOMPARE(form_->windowTitle(), QStringLiteral("Velmor - CT_small.dcm"));
        QVERIFY(dialogs_->boxes.isEmpty());
    }

    void helpMenuComesLastWithTheAboutBox()
    {
        const QList<QAction*> top = form_->menuBar()->actions();
        QCOMPARE(top.size(), 4);
        QCOMPARE(top[0], form_->File1->menuAction());
        QCOMPARE(top[1], form_->Window1->menuAction());
        QCOMPARE(top[2], form_->N2);
        QCOMPARE(top[3], form_->Help1->menuAction());
        form_->About1->trigger();
        QCOMPARE(dialogs_->abouts.size(), 1);
        const QString about = dialogs_->abouts.first();
        QVERIFY(about.contains(QStringLiteral("Velmor 0.2.0")));
        QVERIFY(about.contains(QStringLiteral("MIT")));
        QVERIFY(about.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
    }

    void commandLineIsReadAsAsked()
    {
        const QString program = QStringLiteral("velmor");
        QCOMPARE(read_command_line({program}).action, LaunchAction::open_window);
        QVERIFY(read_command_line({program}).file.isEmpty());
        const LaunchOptions relative = read_command_line({program, QStringLiteral("some.dcm")});
        QCOMPARE(relative.action, LaunchAction::open_window);
        QCOMPARE(relative.file, QDir::current().absoluteFilePath(QStringLiteral("some.dcm")));
        QCOMPARE(read_command_line({program, ct_small}).file, ct_small);
        QCOMPARE(read_command_line({program, QStringLiteral("-h")}).action, LaunchAction::print_help);
        QCOMPARE(read_command_line({program, ct_small, QStringLiteral("--version")}).action,
                 LaunchAction::print_version);
        // A folder, or several files, open as a set.
        QCOMPARE(read_command_line({program, samples}).paths, QStringList{samples});
        QVERIFY(read_command_line({program, samples}).file.isEmpty());
        QCOMPARE(read_command_line({program, ct_small, mr_small}).paths, (QStringList{ct_small, mr_small}));
        const LaunchOptions refused = read_command_line({program, QStringLiteral("--frame")});
        QCOMPARE(refused.action, LaunchAction::refuse);
        QVERIFY(!refused.error.isEmpty());
    }

    void helpAndVersionExitWithoutAWindow()
    {
        const Run help = run_without_display(QStringLiteral(VELMOR_BIN), {QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.startsWith(QStringLiteral("Usage: ")));
        QVERIFY(help.out.contains(QStringLiteral("--version")));
        const Run version = run_without_display(QStringLiteral(VELMOR_BIN), {QStringLiteral("--version")});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QStringLiteral("velmor 0.2.0\n"));
        // Qt's own options are left to Qt before the arguments are read.
        const Run qt_option =
            run_without_display(QStringLiteral(VELMOR_BIN),
                                {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("-v")});
        QCOMPARE(qt_option.status, 0);
        QCOMPARE(qt_option.out, QStringLiteral("velmor 0.2.0\n"));

        const Run dump_version = run_without_display(QStringLiteral(VELMOR_DUMP), {QStringLiteral("--version")});
        QCOMPARE(dump_version.status, 0);
        QCOMPARE(dump_version.out, QStringLiteral("velmor-dump 0.2.0\n"));
        // COMMAND --help describes that command instead of opening "--help".
        const Run report_help =
            run_without_display(QStringLiteral(VELMOR_DUMP), {QStringLiteral("report"), QStringLiteral("--help")});
        QCOMPARE(report_help.status, 0);
        QVERIFY(report_help.out.startsWith(QStringLiteral("usage: velmor-dump report ")));
        QVERIFY(!report_help.out.contains(QStringLiteral("elements")));
        QVERIFY(report_help.err.isEmpty());
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
