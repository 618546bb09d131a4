#include "viewer/language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTranslator>

namespace {

// Built in by the velmor_window library from data/translations/velmor_en.ts.
const QString english_translation = QStringLiteral(":/translations/velmor_en.qm");

} // namespace

bool reads_japanese(const QLocale& locale)
{
    for (const QString& name : locale.uiLanguages()) {
        const QLocale::Language language = QLocale(name).language();
        if (language == QLocale::Japanese) {
            return true;
        }
        if (language == QLocale::English) {
            return false;
        }
    }
    return false;
}

QTranslator* install_window_language(QCoreApplication& app, const QLocale& locale)
{
    if (reads_japanese(locale)) {
        return nullptr;
    }
    auto* translator = new QTranslator(&app);
    if (!translator->load(english_translation) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

QString window_message(const char* utf8)
{
    QStringList lines = QString::fromUtf8(utf8).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        const QByteArray source = line.toUtf8();
        line = QCoreApplication::translate("Messages", source.constData());
    }
    return lines.join(QLatin1Char('\n'));
}
