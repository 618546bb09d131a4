// Shows the real main window with one file opened through the Open command,
// prints the window's screen geometry as WxH+X+Y, and stays up for a while
// so that the screen can be captured (docs/make_screenshot.sh).
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "viewer/tform1.h"

namespace {

class OneFileDialogs : public Dialogs {
public:
    explicit OneFileDialogs(QString path) : path_(std::move(path)) {}
    QString openFile(QWidget*) override { return path_; }

private:
    QString path_;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmor_screenshot FILE [SECONDS]\n");
        return 2;
    }
    OneFileDialogs dialogs(QString::fromLocal8Bit(argv[1]));
    TForm1 form(&dialogs);
    form.show();
    form.Open1Click();
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
    QTimer::singleShot(500, [&form] {
        const QRect g = form.geometry();
        std::printf("%dx%d+%d+%d\n", g.width(), g.height(), g.x(), g.y());
        std::fflush(stdout);
    });
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}
