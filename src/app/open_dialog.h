// The file-open dialog that asks for the picture.
#pragma once

#include <string>
#include <vector>

namespace pixtable {

inline constexpr const char kOpenDialogTitle[] = "テクスチャ画像ファイル名";
inline constexpr const char kOpenDialogFilter[] = "画像ファイル(bmp)";

/// Shows the modal file-open dialog in the current directory, listing
/// folders and *.bmp files. Only an existing file is accepted; a name typed
/// without an extension gets ".bmp". Returns the chosen file's full path, or
/// "" when the user cancels or closes the dialog.
std::string ShowOpenDialog();

/// What a name typed (or picked) in the dialog leads to.
struct TypedName {
  enum Kind {
    kFolder,   ///< An existing folder: the dialog shows it.
    kFile,     ///< An existing file: the dialog ends with it.
    kMissing,  ///< Nothing there: the dialog says so and stays.
  };
  Kind kind;
  std::string path;  ///< Full path, without "." and ".." components.
};

/// Resolves `typed` while the dialog shows the absolute folder `folder`:
/// joined to the folder unless absolute; a folder of that name is entered;
/// otherwise a file name without an extension gets ".bmp" before the test.
TypedName ResolveTypedName(const std::string& folder, const std::string& typed);

/// What the dialog lists for `folder`: "../" (except at the root), then the
/// sub-folders as "name/", then the files whose names end in ".bmp" in any
/// case; each group in byte order, hidden entries left out. Empty when the
/// folder can't be read.
std::vector<std::string> ListDialogEntries(const std::string& folder);

}  // namespace pixtable
