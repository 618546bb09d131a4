// The window's modal dialogs and message boxes, behind one small interface
// so that tests can answer them without blocking.
#pragma once

#include <QMessageBox>
#include <QString>
#include <memory>

#include "viewer/report.h"

class QWidget;
class ServerSecrets;

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // OpenDlg: every file is offered. Empty when the user cancels.
    virtual QString openFile(QWidget* parent);
    // Compare with: a second file to set against the one open. Empty when the user cancels.
    virtual QString compareFile(QWidget* parent);
    // Open folder: a folder to scan for DICOM files. Empty when the user cancels.
    virtual QString openFolder(QWidget* parent);
    // SaveDlg: "Text File (*.txt)" or "UTF-8 text (*.txt)", default
    // extension "txt", asks before overwriting. Empty when the user cancels.
    virtual QString saveFile(QWidget* parent);
    // Export image: a PNG file to write, and whether the whole frame at full
    // resolution (else the view shown) was chosen. Empty when the user cancels.
    virtual QString exportImage(QWidget* parent, bool& full_resolution);
    // The encoding of the file type chosen in the last saveFile.
    virtual ReportEncoding savedFileType() const { return saved_type_; }
    // A modal message box; returns the button pressed.
    virtual int message(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon,
                        QMessageBox::StandardButtons buttons);
    // A password or token asked for, hidden as typed; false when the user cancels.
    virtual bool password(QWidget* parent, const QString& caption, const QString& text, QString& password);
    // Where the archives' passwords and tokens are kept: the desktop's secret store.
    virtual std::unique_ptr<ServerSecrets> secretStore();
    // The About box: rich text under caption, the application icon, OK.
    virtual void about(QWidget* parent, const QString& caption, const QString& text);

private:
    ReportEncoding saved_type_ = ReportEncoding::cp932;
};
