// The texts and captions of the viewer's message boxes, in UTF-8. velmor-dump
// writes them to standard error as they are; the window shows the marked ones
// in the user's language (context "Messages").
#pragma once

#include "viewer/translatable.h"

namespace msg {

inline constexpr const char* caption_error = QT_TRANSLATE_NOOP("Messages", "エラー");
inline constexpr const char* caption_information = QT_TRANSLATE_NOOP("Messages", "情報");
inline constexpr const char* caption_notice = "Notice!";

inline constexpr const char* cannot_open = QT_TRANSLATE_NOOP("Messages", "ファイルを開くことができません。");
inline constexpr const char* not_dicom = QT_TRANSLATE_NOOP("Messages", "DICOMファイルではありません。");
inline constexpr const char* not_part10 =
    QT_TRANSLATE_NOOP("Messages", "DICOM Part-10 フォーマットではありません。");
inline constexpr const char* summary_empty = "DICOM summary is empty.";
inline constexpr const char* cannot_create = QT_TRANSLATE_NOOP("Messages", "ファイルを作成することができません。");
// Drawn in the picture pane for a file without Pixel Data (7FE0,0010).
inline constexpr const char* no_image = "No image in this file";

} // namespace msg
