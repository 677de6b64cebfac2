// The file-open dialog's rules for typed names and for what it lists.
#include "desktop/dialog_names.h"

#include <gtest/gtest.h>

#include "app/temp_dir.h"

namespace pixtable {
namespace {

namespace fs = std::filesystem;

TEST(OpenDialog, TypedNamesLeadToFilesFoldersOrAMessage) {
  test::TempDir t;
  const std::string dir = t.path().string();
  for (const char* folder : {"dir.x", "both", "sub"}) fs::create_directory(t.path() / folder);
  for (const char* file : {"pic.bmp", "photo.BMP", "notes.txt", "both.bmp", "dir.x/inner.bmp"})
    t.Write(file, "x");
  using enum TypedName::Kind;
  const struct {
    std::string folder, typed;
    TypedName::Kind kind;
    std::string path;
  } cases[] = {
      {dir, "pic.bmp", kFile, dir + "/pic.bmp"},
      // Without an extension the name gets ".bmp", even below a dotted folder.
      {dir, "pic", kFile, dir + "/pic.bmp"},
      {dir, "dir.x/inner", kFile, dir + "/dir.x/inner.bmp"},
      {dir, "photo.BMP", kFile, dir + "/photo.BMP"},
      {dir, "notes.txt", kFile, dir + "/notes.txt"},
      // Absolute names ignore the folder; "." and ".." disappear.
      {"/nowhere", dir + "/pic", kFile, dir + "/pic.bmp"},
      {dir + "/dir.x", "../././pic.bmp", kFile, dir + "/pic.bmp"},
      // A folder wins over the file that ".bmp" would name.
      {dir, "both", kFolder, dir + "/both"},
      {dir, "sub/", kFolder, dir + "/sub"},
      {dir, "..", kFolder, t.path().parent_path().string()},
      {dir, "absent", kMissing, dir + "/absent.bmp"},
      {dir, "sub/absent.bmp", kMissing, dir + "/sub/absent.bmp"},
  };
  for (const auto& c : cases) {
    const TypedName got = ResolveTypedName(c.folder, c.typed);
    EXPECT_TRUE(got.kind == c.kind && got.path == c.path)
        << c.typed << ": kind " << got.kind << ", " << got.path;
  }
}

TEST(OpenDialog, ListsFoldersThenBitmapsWithoutHiddenEntries) {
  test::TempDir t;
  for (const char* folder : {"sub", "old.bmp", ".git"}) fs::create_directory(t.path() / folder);
  for (const char* file : {"b.bmp", "A.BMP", "c.txt", "bmp", ".hidden.bmp", "d.PNG", "e.gif",
                           "f.jpg", "g.Jpeg", "h.webp", "png"})
    t.Write(file, "x");
  EXPECT_EQ(ListDialogEntries(t.path()),
            (std::vector<std::string>{"../", "old.bmp/", "sub/", "A.BMP", "b.bmp"}));
  EXPECT_EQ(ListDialogEntries(t.path(), DialogFilter::kAllPictures),
            (std::vector<std::string>{"../", "old.bmp/", "sub/", "A.BMP", "b.bmp", "d.PNG", "e.gif",
                                      "f.jpg", "g.Jpeg", "h.webp"}));
  const std::vector<std::string> root = ListDialogEntries("/");
  EXPECT_TRUE(root.empty() || root.front() != "../") << "no way up from the root";
  EXPECT_TRUE(ListDialogEntries(t / "absent").empty());
}

}  // namespace
}  // namespace pixtable
