// The window's language: Japanese, the language its texts are written in, or
// English through the translation built into the program.
#pragma once

class QCoreApplication;
class QLocale;
class QString;
class QTranslator;

// Whether a user of this locale reads the window in Japanese: the first of its
// UI languages that is Japanese or English decides; any other gives English.
bool reads_japanese(const QLocale& locale);

// Installs the English translation of the window's texts on app unless the
// locale reads Japanese. Returns the translator, owned by app, or null when
// none was installed (Japanese, or the built-in translation unreadable).
QTranslator* install_window_language(QCoreApplication& app, const QLocale& locale);

// A box's text in the user's language: each line that is one of the marked
// messages (context "Messages") is translated; any other line, such as a path
// or the system's reason, stays as it is.
QString window_message(const char* utf8);
