#include "viewer/about.h"

#include <QCoreApplication>
#include <QtGlobal>

#include "velmor/version.h"

QString about_caption() { return QCoreApplication::translate("About", "バージョン情報"); }

QString about_text()
{
    return QStringLiteral("<p><b>Velmor " VELMOR_VERSION "</b></p>"
                          "<p>A viewer for DICOM files: the header as a hex dump, its elements in a table "
                          "and the image windowed by mouse drag.</p>"
                          "<p>Copyright (c) 2026 Velmor developers.<br>"
                          "Released under the MIT licence.</p>"
                          "<p>Qt %1 (built with Qt " QT_VERSION_STR ")</p>")
        .arg(QString::fromLatin1(qVersion()));
}
