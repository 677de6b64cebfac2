#include "run/batch_plan.h"

#include <sys/stat.h>

#include <map>
#include <set>

#include "os/path.h"
#include "text/catalogue.h"
#include "text/display_name.h"
#include "os/file_search.h"
#include "run/run.h"

namespace pixtable {
namespace {

/// Tells tables apart however their folders are named: by the folder's
/// device and inode when it can be looked at, else by the path itself.
struct FileKey {
  dev_t dev = 0;
  ino_t ino = 0;
  std::string rest;
  auto operator<=>(const FileKey&) const = default;
};

FileKey KeyOfFile(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return {st.st_dev, st.st_ino, ""};
  return {0, 0, path};
}

/// A table's path that may not exist yet: its folder and its name.
FileKey KeyOfTable(const std::string& path) {
  FileKey key = KeyOfFile(FolderOf(path));
  key.rest = key.rest.empty() ? FileNameOf(path) : path;
  return key;
}

}  // namespace

BatchPlan PlanBatch(const Options& options) {
  BatchPlan plan;
  std::set<std::string> inputs;  // A path is the user's name for a picture: each gets its table.
  for (const std::string& word : options.words) {
    const std::vector<std::string> matches = FindAllMatches(word);
    if (matches.empty()) plan.unmatched.push_back(word);
    for (const std::string& input : matches) {
      if (!inputs.insert(input).second) continue;
      if (IsHtmlFile(input)) {
        plan.html.push_back(input);
      } else {
        plan.pictures.push_back({input, OutputFor(options, input)});
      }
    }
  }
  // Two tables of one path would replace each other: the later picture is
  // left out.
  std::vector<BatchPicture> kept;
  std::map<FileKey, std::string> tables;  // The picture of each table.
  for (BatchPicture& picture : plan.pictures) {
    const auto [first, fresh] = tables.emplace(KeyOfTable(picture.output), picture.input);
    if (!fresh) {
      plan.refused.push_back(Fill(Tr("pixtable: not converting {1}: its table {2} would replace the table of {3}"),
                                  {DisplayName(picture.input), DisplayName(picture.output),
                                   DisplayName(first->second)}));
    } else {
      kept.push_back(std::move(picture));
    }
  }
  plan.pictures = std::move(kept);
  return plan;
}

}  // namespace pixtable
