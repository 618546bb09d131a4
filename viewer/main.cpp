// Velmor: a single-window DICOM header and image viewer.
//   velmor [PATH...] | --help | --version
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "velmor/version.h"
#include "viewer/command_line.h"
#include "viewer/language.h"
#include "viewer/tform1.h"

namespace {

// Shows an error that escapes an event handler in the standard error box.
class VelmorApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(activeWindow(), applicationName(), QString::fromLocal8Bit(e.what()));
        }
        return false;
    }
};

QStringList raw_arguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return arguments;
}

void name_application()
{
    QCoreApplication::setApplicationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMOR_VERSION));
}

// Help and version on standard output (status 0), a refusal on standard error (status 2).
int answer(const LaunchOptions& options)
{
    switch (options.action) {
    case LaunchAction::print_help: std::fputs(command_line_help().toLocal8Bit().constData(), stdout); return 0;
    case LaunchAction::print_version: std::printf("%s\n", version_line().toLocal8Bit().constData()); return 0;
    case LaunchAction::refuse:
        std::fprintf(stderr, "velmor: %s\n%s", options.error.toLocal8Bit().constData(),
                     command_line_help().toLocal8Bit().constData());
        return 2;
    case LaunchAction::open_window: break;
    }
    return 0;
}

QIcon application_icon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/org.velmor.Velmor-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace

int main(int argc, char** argv)
{
    // --help and --version need no display: they are answered before any window system is touched.
    LaunchOptions options = read_command_line(raw_arguments(argc, argv));
    if (options.action == LaunchAction::print_help || options.action == LaunchAction::print_version) {
        QCoreApplication app(argc, argv);
        name_application();
        return answer(options);
    }

    VelmorApplication app(argc, argv);
    name_application();
    // Japanese when the user's language is Japanese (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), English otherwise.
    install_window_language(app, QLocale::system());
    // The arguments again, without the Qt options (-platform, -style ...) the application took.
    options = read_command_line(QCoreApplication::arguments());
    if (options.action != LaunchAction::open_window) {
        return answer(options);
    }
    QApplication::setWindowIcon(application_icon());
    try {
        TForm1 form;
        if (options.paths.isEmpty()) {
            form.show_and_open(options.file);
        } else {
            form.show_and_open_set(options.paths);
        }
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Velmor"), QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
