#include "desktop/dialog_names.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "os/path.h"

namespace pixtable {
namespace fs = std::filesystem;

namespace {

bool Listed(const std::string& name, DialogFilter filter) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string tail = name.substr(dot);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
  if (filter == DialogFilter::kBitmaps) return tail == ".bmp";
  for (const char* extension : {".bmp", ".png", ".gif", ".jpg", ".jpeg", ".webp"}) {
    if (tail == extension) return true;
  }
  return false;
}

}  // namespace

std::string JoinClean(const std::string& folder, const std::string& typed) {
  fs::path path = fs::path(typed).is_absolute() ? fs::path(typed) : fs::path(folder) / typed;
  std::string clean = path.lexically_normal().string();
  if (clean.size() > 1 && clean.back() == '/') clean.pop_back();
  return clean;
}

TypedName ResolveTypedName(const std::string& folder, const std::string& typed) {
  std::error_code error;
  std::string path = JoinClean(folder, typed);
  if (fs::is_directory(path, error)) return {TypedName::kFolder, path};
  if (FileNameOf(path).find('.') == std::string::npos) path += ".bmp";
  return {fs::is_regular_file(path, error) ? TypedName::kFile : TypedName::kMissing, path};
}

std::vector<std::string> ListDialogEntries(const std::string& folder, DialogFilter filter) {
  std::vector<std::string> folders, files;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code kind_error;
    if (it->is_directory(kind_error)) {
      folders.push_back(name + "/");
    } else if (Listed(name, filter) && it->is_regular_file(kind_error)) {
      files.push_back(name);
    }
  }
  if (error) return {};
  std::sort(folders.begin(), folders.end());
  std::sort(files.begin(), files.end());
  std::vector<std::string> entries;
  if (fs::path(folder).lexically_normal() != fs::path("/")) entries.push_back("../");
  entries.insert(entries.end(), folders.begin(), folders.end());
  entries.insert(entries.end(), files.begin(), files.end());
  return entries;
}

}  // namespace pixtable
