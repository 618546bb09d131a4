// Marks a text that the window shows in the user's language: lupdate collects
// every QT_TRANSLATE_NOOP(context, text) into data/translations/velmor_en.ts.
// The mark leaves the text as written, so code without Qt (velmor-dump, the
// report) keeps its bytes; the window looks it up in its context.
#pragma once

#ifndef QT_TRANSLATE_NOOP
// The same definition as Qt's: either may come first.
#define QT_TRANSLATE_NOOP(scope, x) x
#endif
