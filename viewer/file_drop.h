// Which dragged data the window takes: a local file, the first of several.
#pragma once

#include <QString>

class QMimeData;

// The local path of the first URL when it names a local file that is not a
// directory; empty for anything else (no URL, a remote URL, a folder, text).
QString dropped_file(const QMimeData* data);
