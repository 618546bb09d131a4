// An Open of a large compressed frame in the window: the picture of a
// reduced-resolution decode at once, the whole frame taken from the
// background decode, and what waits for it.
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "viewer/dialogs.h"
#include "viewer/tform1.h"

namespace {

class ScriptedDialogs : public Dialogs {
public:
    QString open_answer;
    QString export_answer;
    int boxes = 0;

    QString openFile(QWidget*) override { return open_answer; }
    QString exportImage(QWidget*, bool& full_resolution) override
    {
        full_resolution = true;
        return export_answer;
    }
    int message(QWidget*, const QString&, const QString&, QMessageBox::Icon, QMessageBox::StandardButtons) override
    {
        ++boxes;
        return QMessageBox::Ok;
    }
};

} // namespace

class FastPictureTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<TForm1> form_;

    void open(const char* name)
    {
        dialogs_.open_answer = dir_.filePath(QString::fromLatin1(name));
        form_->Open1Click();
        QCOMPARE(dialogs_.boxes, 0);
        QVERIFY(form_->state().image_shown);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QCOMPARE(QProcess::execute(QStringLiteral("/usr/bin/python3"),
                                   {QStringLiteral(VELMOR_FIXTURE_MAKER), dir_.path()}),
                 0);
    }
    void init() { form_ = std::make_unique<TForm1>(&dialogs_); }
    void cleanup() { form_.reset(); }

    void theWholeFrameFollowsTheReducedPicture()
    {
        open("j2k_lossless.dcm");
        QVERIFY(!form_->whole_frame_shown());
        QTRY_VERIFY_WITH_TIMEOUT(form_->whole_frame_shown(), 20000);
        // The next file starts reduced again.
        open("jpeg_baseline.dcm");
        QVERIFY(!form_->whole_frame_shown());
    }

    void exportingTheWholeFrameWaitsForIt()
    {
        open("j2k_lossy.dcm");
        dialogs_.export_answer = dir_.filePath(QStringLiteral("whole.png"));
        form_->Export1Click();
        QVERIFY(form_->whole_frame_shown());
        const QImage exported(dialogs_.export_answer);
        QCOMPARE(exported.size(), QSize(2048, 2048));
    }

    void aNewFileDropsTheDecodeOfTheLast()
    {
        open("jpeg_baseline.dcm");
        open("jpeg_wide.dcm");
        QTRY_VERIFY_WITH_TIMEOUT(form_->whole_frame_shown(), 20000);
        // Placed as the whole frame.
        QCOMPARE(form_->shown_view(), fit_view(2000, 1200, 0, 0, form_->Image->width(), form_->Image->height()));
    }
};

QTEST_MAIN(FastPictureTest)
#include "fast_picture_test.moc"
