// The file-open dialog's rules for typed names and for what it lists.
#include "app/open_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace pixtable {
namespace {

namespace fs = std::filesystem;

/// A fresh folder under the system's temporary folder, removed afterwards.
class OpenDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "pixtable-dialog-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  void File(const std::string& name) { std::ofstream(dir_ + "/" + name) << "x"; }
  void Folder(const std::string& name) { fs::create_directories(dir_ + "/" + name); }

  std::string dir_;
};

TEST_F(OpenDialogTest, TypedNamesBecomeFullPathsOfExistingFiles) {
  File("pic.bmp");
  File("photo.BMP");
  File("notes.txt");
  Folder("dir.x");
  File("dir.x/inner.bmp");

  const TypedName plain = ResolveTypedName(dir_, "pic.bmp");
  EXPECT_EQ(plain.kind, TypedName::kFile);
  EXPECT_EQ(plain.path, dir_ + "/pic.bmp");
  // Without an extension the name gets ".bmp", even below a dotted folder.
  EXPECT_EQ(ResolveTypedName(dir_, "pic").path, dir_ + "/pic.bmp");
  EXPECT_EQ(ResolveTypedName(dir_, "pic").kind, TypedName::kFile);
  EXPECT_EQ(ResolveTypedName(dir_, "dir.x/inner").path, dir_ + "/dir.x/inner.bmp");
  // A name with another extension is taken as it is.
  EXPECT_EQ(ResolveTypedName(dir_, "photo.BMP").kind, TypedName::kFile);
  EXPECT_EQ(ResolveTypedName(dir_, "notes.txt").kind, TypedName::kFile);
  // Absolute names ignore the folder; "." and ".." disappear.
  EXPECT_EQ(ResolveTypedName("/nowhere", dir_ + "/pic").path, dir_ + "/pic.bmp");
  EXPECT_EQ(ResolveTypedName(dir_ + "/dir.x", "../././pic.bmp").path, dir_ + "/pic.bmp");
}

TEST_F(OpenDialogTest, MissingFilesAreRefusedAndFoldersEntered) {
  File("pic.bmp");
  Folder("pic");  // A folder wins over the file that ".bmp" would name.
  Folder("sub");

  EXPECT_EQ(ResolveTypedName(dir_, "pic").kind, TypedName::kFolder);
  EXPECT_EQ(ResolveTypedName(dir_, "sub/").path, dir_ + "/sub");
  EXPECT_EQ(ResolveTypedName(dir_, "..").path, fs::path(dir_).parent_path().string());

  const TypedName missing = ResolveTypedName(dir_, "absent");
  EXPECT_EQ(missing.kind, TypedName::kMissing);
  EXPECT_EQ(missing.path, dir_ + "/absent.bmp");
  EXPECT_EQ(ResolveTypedName(dir_, "sub/absent.bmp").kind, TypedName::kMissing);
}

TEST_F(OpenDialogTest, ListsFoldersThenBitmapsWithoutHiddenEntries) {
  File("b.bmp");
  File("A.BMP");
  File("c.txt");
  File("bmp");
  File(".hidden.bmp");
  Folder("sub");
  Folder("old.bmp");
  Folder(".git");

  const std::vector<std::string> expected = {"../", "old.bmp/", "sub/", "A.BMP", "b.bmp"};
  EXPECT_EQ(ListDialogEntries(dir_), expected);
  const std::vector<std::string> root = ListDialogEntries("/");
  EXPECT_TRUE(root.empty() || root.front() != "../") << "no way up from the root";
  EXPECT_TRUE(ListDialogEntries(dir_ + "/absent").empty());
}

}  // namespace
}  // namespace pixtable
