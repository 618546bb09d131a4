#include "viewer/file_drop.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

QString dropped_file(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls() || data->urls().isEmpty()) {
        return {};
    }
    const QUrl url = data->urls().first();
    if (!url.isLocalFile()) {
        return {};
    }
    const QString path = url.toLocalFile();
    if (path.isEmpty() || QFileInfo(path).isDir()) {
        return {};
    }
    return path;
}

QStringList dropped_paths(const QMimeData* data)
{
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
            return {};
        }
        paths.append(url.toLocalFile());
    }
    return paths;
}
