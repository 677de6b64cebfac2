// The file-open dialog that asks for the picture.
#pragma once

#include <string>

namespace pixtable {

inline constexpr const char kOpenDialogTitle[] = "テクスチャ画像ファイル名";
inline constexpr const char kOpenDialogFilter[] = "画像ファイル(bmp)";
inline constexpr const char kOpenDialogAllPictures[] = "すべての画像ファイル(bmp, png, gif, jpg, webp)";

/// Shows the modal file-open dialog in the current directory, listing
/// folders and *.bmp files (or, with the second filter, every picture
/// pixtable reads). Only an existing file is accepted; a name typed
/// without an extension gets ".bmp". Returns the chosen file's full path, or
/// "" when the user cancels or closes the dialog, or a cancel signal arrives.
std::string ShowOpenDialog();

}  // namespace pixtable
