// The texts and captions of the viewer's message boxes, in UTF-8. The window
// shows them as they are; velmor-dump writes them to standard error.
#pragma once

namespace msg {

inline constexpr const char* caption_error = "エラー";
inline constexpr const char* caption_information = "情報";
inline constexpr const char* caption_notice = "Notice!";

inline constexpr const char* cannot_open = "ファイルを開くことができません。";
inline constexpr const char* not_dicom = "DICOMファイルではありません。";
inline constexpr const char* not_part10 = "DICOM Part-10 フォーマットではありません。";
inline constexpr const char* summary_empty = "DICOM summary is empty.";
inline constexpr const char* cannot_create = "ファイルを作成することができません。";
// Drawn in the picture pane for a file without Pixel Data (7FE0,0010).
inline constexpr const char* no_image = "No image in this file";

} // namespace msg
