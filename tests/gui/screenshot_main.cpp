// Shows the real main window with one file opened through the Open command
// (a folder through Open folder), prints the window's screen geometry as
// WxH+X+Y, and stays up for a while so that the screen can be captured
// (docs/make_screenshot.sh). With OUT.png it saves the window's own picture
// there instead and quits.
#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "viewer/tform1.h"

namespace {

class OneFileDialogs : public Dialogs {
public:
    explicit OneFileDialogs(QString path) : path_(std::move(path)) {}
    QString openFile(QWidget*) override { return path_; }
    QString openFolder(QWidget*) override { return path_; }

private:
    QString path_;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmor_screenshot FILE|FOLDER [SECONDS [OUT.png]]\n");
        return 2;
    }
    OneFileDialogs dialogs(QString::fromLocal8Bit(argv[1]));
    TForm1 form(&dialogs);
    form.show();
    if (QFileInfo(QString::fromLocal8Bit(argv[1])).isDir()) {
        form.OpenFolder1Click();
    } else {
        form.Open1Click();
    }
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (argc > 3) {
        const QString out = QString::fromLocal8Bit(argv[3]);
        QTimer::singleShot(seconds * 1000, [&form, out] {
            form.grab().save(out);
            QApplication::quit();
        });
        return app.exec();
    }
    QTimer::singleShot(500, [&form] {
        const QRect g = form.geometry();
        std::printf("%dx%d+%d+%d\n", g.width(), g.height(), g.x(), g.y());
        std::fflush(stdout);
    });
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}
