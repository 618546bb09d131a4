// Velmor: a single-window DICOM header and image viewer.
#include <QApplication>
#include <QMessageBox>
#include <exception>

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

} // namespace

int main(int argc, char** argv)
{
    VelmorApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Velmor"));
    try {
        TForm1 form;
        form.show();
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Velmor"), QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
