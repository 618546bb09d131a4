// The About box's caption and text.
#pragma once

#include <QString>

// "バージョン情報" (Version information), in the user's language.
QString about_caption();

// The version, what the program is, its licence and the Qt versions.
QString about_text();
