#include "app/run.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>

#include "app/temp_dir.h"
#include "image/bmp_decoder.h"
#include "support/bmp_writer.h"

namespace pixtable {
namespace {

using Names = std::vector<std::string>;

/// A front end that records what the user would see and answers as told.
class FakeUi : public Ui {
 public:
  explicit FakeUi(RunState& state) : state_(state) {}
  void SetText(const char* text) override { texts.emplace_back(text); }
  void PumpEvents() override { state_.CancelFlag |= ++pumps == cancel_at_pump; }
  bool KeyHeld(char key) override { return key == 'z' ? z_held : key == 'x' && x_held; }
  std::string AskMagnification(const std::string& prompt) override {
    prompts.push_back(prompt);
    return answer;
  }
  std::optional<std::string> ShowOpenDialog() override {
    ++dialogs;
    return dialog;
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowUsageError(const std::string& text) override { usage_errors.push_back(text); }
  void ShowProgressWindow() override { ++windows_shown; }
  void UnloadProgressWindow() override { ++windows_unloaded; }

  bool z_held = false, x_held = false;
  std::string answer;
  std::optional<std::string> dialog;
  int cancel_at_pump = 0;
  std::vector<std::string> texts, prompts, messages, usage_errors;
  int pumps = 0, dialogs = 0, windows_shown = 0, windows_unloaded = 0;

 private:
  RunState& state_;
};

const test::Picture kPicture = test::FromRows({"rrb", "rbb", "AAA", "AbA"});
const std::vector<uint8_t> kBmp = test::EncodeBmp(kPicture);

/// One run of the conversion of p.bmp in a scratch directory.
struct RunFixture {
  RunFixture() : ui(state) {
    dir.Write("p.bmp", kBmp);
    options.pattern = dir / "p.bmp";
  }
  int Run() { return RunConversion(options, ui, state); }
  test::TempDir dir;
  Options options;
  RunState state;
  FakeUi ui;
};

TEST(RunConversion, WritesTheTableBesideTheCommandLinePicture) {
  RunFixture f;
  std::filesystem::create_directory(f.dir.path() / "pics");
  f.dir.Write("pics/a.bmp", kBmp);
  f.options.pattern = f.dir / "pics/?.bmp";
  f.options.magnification = "2.5";
  EXPECT_EQ(f.Run(), kExitWritten);
  EXPECT_EQ(f.dir.Read("pics/a.html"), test::Convert(kPicture, 2).html);
  EXPECT_EQ(f.ui.texts.front(), "準備中・・・");
  EXPECT_EQ(f.ui.texts.back(), "出力中...(4/4)");
  EXPECT_EQ(f.ui.windows_shown + f.ui.windows_unloaded, 2);
  EXPECT_EQ(f.ui.dialogs + f.ui.messages.size(), 0u);
  EXPECT_EQ(f.dir.Names(), (Names{"p.bmp", "pics"}));
}

TEST(RunConversion, KeysWinOverOptions) {
  RunFixture f;
  f.options.magnification = "9";
  f.ui.z_held = f.ui.x_held = true;
  f.ui.answer = "3";
  EXPECT_EQ(f.Run(), kExitWritten);
  EXPECT_EQ(f.ui.prompts, Names{"拡大する場合倍率を1-10の整数で入力してください"});
  EXPECT_EQ(f.dir.Read("p.html"), test::Convert(kPicture, 3, -1).html);

  RunFixture g;  // The option alone, and a cancelled prompt giving 1.
  g.options.no_background = true;
  g.ui.z_held = true;
  EXPECT_EQ(g.Run(), kExitWritten);
  EXPECT_EQ(g.dir.Read("p.html"), test::Convert(kPicture, 1, -1).html);
}

TEST(RunConversion, WithoutAPictureAsksTheDialogOrReportsUsage) {
  RunFixture f;  // No dialog (a terminal): usage errors, no window.
  f.options.pattern = "";
  EXPECT_EQ(f.Run(), kExitUsage);
  f.options.pattern = f.dir / "*.png";
  EXPECT_EQ(f.Run(), kExitUsage);
  EXPECT_EQ(f.ui.usage_errors.size(), 2u);
  EXPECT_EQ(f.ui.windows_shown, 0);

  f.ui.dialog = "";  // The dialog cancelled: a quiet end.
  EXPECT_EQ(f.Run(), kExitCancelled);
  EXPECT_EQ(f.ui.usage_errors.size() + f.ui.messages.size(), 2u);

  f.ui.dialog = f.dir / "p.bmp";  // A picture chosen there gets its table beside it.
  EXPECT_EQ(f.Run(), kExitWritten);
  EXPECT_EQ(f.dir.Read("p.html"), test::Convert(kPicture).html);
}

TEST(RunConversion, LoadFailureSaysWhyWithoutOpeningSpecialFiles) {
  RunFixture f;
  const std::string bad = "BM this is not a bitmap";
  const char* const kDecoderSays = LoadErrorMessage(DecodeBmp({reinterpret_cast<const uint8_t*>(bad.data()), bad.size()}).error);
  f.dir.Write("bad.bmp", bad);
  std::filesystem::create_directory(f.dir.path() / "folder.bmp");
  mkfifo((f.dir / "fifo.bmp").c_str(), 0600);  // Opening it to read would wait for a writer.
  const bool device = mknod((f.dir / "device.bmp").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;  // Needs root.
  symlink("absent.bmp", (f.dir / "link.bmp").c_str());
  const struct {
    const char *name, *reason;
  } cases[] = {
      {"bad.bmp", kDecoderSays},
      {"folder.bmp", "it is a folder, not a file"},
      {"fifo.bmp", "it is a named pipe (FIFO), not a file"},
      {"device.bmp", "it is a character device, not a file"},
      {"link.bmp", "no such file or directory"},  // dangling
  };
  for (const auto& c : cases) {
    if (!device && c.name == std::string_view("device.bmp")) continue;
    f.ui.messages.clear();
    f.options.pattern = f.dir / c.name;
    EXPECT_EQ(f.Run(), kExitFailed) << c.name;
    EXPECT_EQ(f.ui.messages, Names{"ファイルのロードに失敗しました：" + (f.dir / c.name) + "\n" + c.reason});
  }
  EXPECT_EQ(f.ui.windows_shown, 0);
  EXPECT_EQ(f.dir.Names().size(), 5u + device);
}

TEST(RunConversion, RefusesAnOutputOverThePicture) {
  const std::string bmp(kBmp.begin(), kBmp.end());
  RunFixture g;
  g.dir.Write("p.html", kBmp);  // A bitmap that happens to be named .html.
  g.options.pattern = g.dir / "p.html";
  EXPECT_EQ(g.Run(), kExitFailed);
  g.options.pattern = g.dir / "p.bmp";
  g.options.output = g.dir.path().string() + "/./p.bmp";
  EXPECT_EQ(g.Run(), kExitFailed);
  EXPECT_EQ(g.ui.messages.size(), 2u);
  EXPECT_EQ(g.dir.Read("p.html"), bmp);
  EXPECT_EQ(g.dir.Read("p.bmp"), bmp);
}

TEST(RunConversion, CancelLeavesNoFileOrTheOldTable) {
  // Pump 1 follows red's gathering, pump 3 falls in another colour's
  // analysis; the last pumps are the output's rows.
  const int total_pumps = [] {
    RunFixture f;
    f.Run();
    return f.ui.pumps;
  }();
  for (int pump : {1, 3, total_pumps - 3, total_pumps - 1}) {
    RunFixture f;
    const bool old = pump != 3;  // One run with no table there before.
    if (old) f.dir.Write("p.html", "old table");
    f.ui.cancel_at_pump = pump;
    EXPECT_EQ(f.Run(), kExitCancelled) << pump;
    EXPECT_EQ(f.dir.Names(), old ? (Names{"p.bmp", "p.html"}) : Names{"p.bmp"}) << pump;
    EXPECT_EQ(f.dir.Read("p.html"), old ? "old table" : "") << pump;
    EXPECT_EQ(f.ui.windows_unloaded, 1);
    EXPECT_TRUE(f.ui.messages.empty());
  }
  // A click during the last row's update comes too late: no check point follows.
  RunFixture f;
  f.ui.cancel_at_pump = total_pumps;
  EXPECT_EQ(f.Run(), kExitWritten);
  EXPECT_EQ(f.dir.Read("p.html"), test::Convert(kPicture).html);
}

TEST(RunConversion, WriteFailureIsReportedAndLeavesNoTrace) {
  RunFixture f;
  f.dir.Write("p.html", "old table");
  // A file size limit makes writes fail as on a full disk.
  rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 100;
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const int code = f.Run();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(code, kExitFailed);
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_NE(f.ui.messages[0].find("cannot write"), std::string::npos);
  EXPECT_EQ(f.dir.Read("p.html"), "old table");
  EXPECT_EQ(f.dir.Names(), (Names{"p.bmp", "p.html"}));

  RunFixture g;  // A missing folder.
  g.options.output = g.dir / "no/such/folder/p.html";
  EXPECT_EQ(g.Run(), kExitFailed);
  EXPECT_EQ(g.ui.messages.size(), 1u);
}

}  // namespace
}  // namespace pixtable
