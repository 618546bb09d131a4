// Which dragged data the window takes: a local file, the first of several.
#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

// The local path of the first URL when it names a local file that is not a
// directory; empty for anything else (no URL, a remote URL, a folder, text).
QString dropped_file(const QMimeData* data);

// The local paths of every URL (files and folders), in order; empty when any
// URL is not local.
QStringList dropped_paths(const QMimeData* data);
