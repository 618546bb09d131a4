#include "dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QInputDialog>

#include "viewer/server_secrets.h"

namespace {

// One existing file chosen in a file dialog; empty when the user cancels.
QString existing_file(QWidget* parent, const QString& caption)
{
    QFileDialog dialog(parent, caption);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

} // namespace

QString Dialogs::compareFile(QWidget* parent)
{
    return existing_file(parent, QCoreApplication::translate("TForm1", "比較..."));
}

QString Dialogs::openFile(QWidget* parent) { return existing_file(parent, QString()); }

QString Dialogs::openFolder(QWidget* parent)
{
    return QFileDialog::getExistingDirectory(parent, QString(), QString(), QFileDialog::ShowDirsOnly);
}

QString Dialogs::saveFile(QWidget* parent)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    const QString utf8_type = QStringLiteral("UTF-8 text (*.txt)");
    dialog.setNameFilters({QStringLiteral("Text File (*.txt)"), utf8_type});
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    saved_type_ = dialog.selectedNameFilter() == utf8_type ? ReportEncoding::utf8 : ReportEncoding::cp932;
    return dialog.selectedFiles().first();
}

QString Dialogs::exportImage(QWidget* parent, bool& full_resolution)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    const QString full = QCoreApplication::translate("Dialogs", "PNG, 全体をフル解像度で (*.png)");
    dialog.setNameFilters({QCoreApplication::translate("Dialogs", "PNG, 表示中の画像 (*.png)"), full});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    full_resolution = dialog.selectedNameFilter() == full;
    return dialog.selectedFiles().first();
}

int Dialogs::message(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon,
                     QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, caption, text, buttons, parent);
    return box.exec();
}

bool Dialogs::password(QWidget* parent, const QString& caption, const QString& text, QString& password)
{
    bool ok = false;
    password = QInputDialog::getText(parent, caption, text, QLineEdit::Password, QString(), &ok);
    return ok;
}

std::unique_ptr<ServerSecrets> Dialogs::secretStore() { return std::make_unique<ServerSecrets>(); }

void Dialogs::about(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox::about(parent, caption, text);
}
