// The modal message box.
#pragma once

#include <string>

namespace pixtable {

/// The application's title, shown by its own boxes.
inline constexpr const char kAppTitle[] = "pixtable";

/// The box's text when a picture cannot be loaded; the path follows it. The
/// desktop's windows keep their Japanese texts in every locale.
inline constexpr const char kLoadFailureMessage[] = "ファイルのロードに失敗しました：";

/// Shows `text` in a modal box titled `title`, with an OK button and no
/// icon, and returns when the user has closed it or a cancel signal has
/// arrived. Ctrl+C copies `text`.
void ShowMessageBox(const std::string& text, const char* title);

}  // namespace pixtable
