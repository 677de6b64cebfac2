// What the file-open dialog does with a name: resolving a typed name and
// listing a folder. Plain file-system rules, no windows, so that they can be
// tested without a display.
#pragma once

#include <string>
#include <vector>

namespace pixtable {

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

/// `typed` joined to `folder` unless absolute, without "." and ".." and
/// without a trailing slash (except for the root).
std::string JoinClean(const std::string& folder, const std::string& typed);

/// Resolves `typed` while the dialog shows the absolute folder `folder`:
/// joined to the folder unless absolute; a folder of that name is entered;
/// otherwise a file name without an extension gets ".bmp" before the test.
TypedName ResolveTypedName(const std::string& folder, const std::string& typed);

/// Which files the dialog lists: its two filters.
enum class DialogFilter {
  kBitmaps,      ///< Names ending in ".bmp".
  kAllPictures,  ///< Names ending in ".bmp", ".png", ".gif", ".jpg", ".jpeg" or ".webp".
};

/// What the dialog lists for `folder`: "../" (except at the root), then the
/// sub-folders as "name/", then the files whose names end as `filter` asks,
/// in any case; each group in byte order, hidden entries left out. Empty
/// when the folder can't be read.
std::vector<std::string> ListDialogEntries(const std::string& folder, DialogFilter filter = DialogFilter::kBitmaps);

}  // namespace pixtable
