#include "app/run.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include "app/temp_dir.h"
#include "support/bmp_writer.h"

namespace pixtable {
namespace {

using test::FromRows;
using test::Picture;

/// A front end that records what the user would see and answers as told.
class FakeUi : public Ui {
 public:
  explicit FakeUi(RunState& state) : state_(state) {}
  void SetText(const char* text) override { texts.emplace_back(text); }
  void PumpEvents() override {
    ++pumps;
    if (cancel_at_pump == pumps) state_.CancelFlag = true;
  }
  bool KeyHeld(char key) override { return key == 'z' ? z_held : key == 'x' ? x_held : false; }
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

/// One run of the conversion in a scratch directory.
struct RunFixture {
  RunFixture() : ui(state) {}
  int Run() { return RunConversion(options, ui, state); }
  test::TempDir dir;
  Options options;
  RunState state;
  FakeUi ui;
};

const Picture kPicture = FromRows({"rrb", "rbb", "AAA", "AbA"});

TEST(RunConversion, WritesTheTableBesideTheCommandLinePicture) {
  RunFixture f;
  std::filesystem::create_directory(f.dir.path() / "pics");
  f.dir.Write("pics/a.bmp", test::EncodeBmp(kPicture));
  f.options.pattern = f.dir / "pics/?.bmp";
  f.options.magnification = "2.5";
  EXPECT_EQ(f.Run(), kExitWritten);
  EXPECT_EQ(f.dir.Read("pics/a.html"), test::Convert(kPicture, 2).html);
  EXPECT_EQ(f.ui.texts.front(), "準備中・・・");
  EXPECT_EQ(f.ui.texts.back(), "出力中...(4/4)");
  EXPECT_EQ(f.ui.windows_shown, 1);
  EXPECT_EQ(f.ui.windows_unloaded, 1);
  EXPECT_EQ(f.ui.dialogs, 0);
  EXPECT_TRUE(f.ui.messages.empty());
  EXPECT_EQ(f.dir.Names(), (std::vector<std::string>{"pics"}));
}

TEST(RunConversion, KeysWinOverOptions) {
  RunFixture f;
  f.dir.Write("p.bmp", test::EncodeBmp(kPicture));
  f.options.pattern = f.dir / "p.bmp";
  f.options.magnification = "9";
  f.ui.z_held = true;
  f.ui.x_held = true;
  f.ui.answer = "3";
  EXPECT_EQ(f.Run(), kExitWritten);
  EXPECT_EQ(f.ui.prompts, std::vector<std::string>{"拡大する場合倍率を1-10の整数で入力してください"});
  EXPECT_EQ(f.dir.Read("p.html"), test::Convert(kPicture, 3, -1).html);

  RunFixture g;  // The options alone, and a cancelled prompt giving 1.
  g.dir.Write("p.bmp", test::EncodeBmp(kPicture));
  g.options.pattern = g.dir / "p.bmp";
  g.options.no_background = true;
  g.ui.z_held = true;
  EXPECT_EQ(g.Run(), kExitWritten);
  EXPECT_EQ(g.dir.Read("p.html"), test::Convert(kPicture, 1, -1).html);
}

TEST(RunConversion, WithoutAPictureAsksTheDialogOrReportsUsage) {
  {
    RunFixture f;  // terminal: no dialog
    EXPECT_EQ(f.Run(), kExitUsage);
    f.options.pattern = f.dir / "*.bmp";
    EXPECT_EQ(f.Run(), kExitUsage);
    EXPECT_EQ(f.ui.usage_errors.size(), 2u);
    EXPECT_EQ(f.ui.windows_shown, 0);
  }
  {
    RunFixture f;  // the dialog is cancelled: a quiet end
    f.options.pattern = f.dir / "*.bmp";
    f.ui.dialog = "";
    EXPECT_EQ(f.Run(), kExitCancelled);
    EXPECT_EQ(f.ui.dialogs, 1);
    EXPECT_TRUE(f.ui.messages.empty() && f.ui.usage_errors.empty());
  }
  {
    RunFixture f;  // a picture chosen in the dialog gets its table beside it
    f.dir.Write("chosen.bmp", test::EncodeBmp(kPicture));
    f.ui.dialog = f.dir / "chosen.bmp";
    EXPECT_EQ(f.Run(), kExitWritten);
    EXPECT_EQ(f.dir.Read("chosen.html"), test::Convert(kPicture).html);
  }
}

TEST(RunConversion, LoadFailureShowsOneMessageAndWritesNothing) {
  RunFixture f;
  f.dir.Write("bad.bmp", "BM this is not a bitmap");
  f.options.pattern = f.dir / "bad.bmp";
  EXPECT_EQ(f.Run(), kExitFailed);
  EXPECT_EQ(f.ui.messages, std::vector<std::string>{"ファイルのロードに失敗しました：" + (f.dir / "bad.bmp")});
  EXPECT_EQ(f.ui.windows_shown, 0);
  EXPECT_EQ(f.dir.Names(), std::vector<std::string>{"bad.bmp"});
}

TEST(RunConversion, NeverOverwritesThePicture) {
  RunFixture f;
  const std::vector<uint8_t> bmp = test::EncodeBmp(kPicture);
  f.dir.Write("pic.html", bmp);  // a bitmap that happens to be named .html
  f.options.pattern = f.dir / "pic.html";
  EXPECT_EQ(f.Run(), kExitFailed);
  EXPECT_EQ(f.dir.Read("pic.html"), std::string(bmp.begin(), bmp.end()));

  RunFixture g;
  g.dir.Write("pic.bmp", bmp);
  g.options.pattern = g.dir / "pic.bmp";
  g.options.output = g.dir.path().string() + "/./pic.bmp";
  EXPECT_EQ(g.Run(), kExitFailed);
  EXPECT_EQ(g.ui.messages.size(), 1u);
  EXPECT_EQ(g.dir.Read("pic.bmp"), std::string(bmp.begin(), bmp.end()));
}

TEST(RunConversion, CancelLeavesAnExistingTableUntouched) {
  // Pump 1 follows red's gathering; a later pump falls in the analysis of
  // another colour; the last pumps are the output's rows.
  const int total_pumps = [] {
    RunFixture f;
    f.dir.Write("p.bmp", test::EncodeBmp(kPicture));
    f.options.pattern = f.dir / "p.bmp";
    f.Run();
    return f.ui.pumps;
  }();
  for (int pump : {1, 3, total_pumps - 3, total_pumps - 1}) {
    RunFixture f;
    f.dir.Write("p.bmp", test::EncodeBmp(kPicture));
    f.dir.Write("p.html", "old table");
    f.options.pattern = f.dir / "p.bmp";
    f.ui.cancel_at_pump = pump;
    EXPECT_EQ(f.Run(), kExitCancelled) << pump;
    EXPECT_EQ(f.dir.Read("p.html"), "old table") << pump;
    EXPECT_EQ(f.dir.Names(), (std::vector<std::string>{"p.bmp", "p.html"})) << pump;
    EXPECT_EQ(f.ui.windows_unloaded, 1);
    EXPECT_TRUE(f.ui.messages.empty());
  }
  // A click during the last row's update comes too late: no check point follows.
  RunFixture f;
  f.dir.Write("p.bmp", test::EncodeBmp(kPicture));
  f.options.pattern = f.dir / "p.bmp";
  f.ui.cancel_at_pump = total_pumps;
  EXPECT_EQ(f.Run(), kExitWritten);
  EXPECT_EQ(f.dir.Read("p.html"), test::Convert(kPicture).html);
}

TEST(RunConversion, WriteFailureIsReportedAndLeavesNoTrace) {
  {
    SCOPED_TRACE("disk full");
    RunFixture f;
    f.dir.Write("p.bmp", test::EncodeBmp(kPicture));
    f.dir.Write("p.html", "old table");
    f.options.pattern = f.dir / "p.bmp";
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
    EXPECT_EQ(f.dir.Names(), (std::vector<std::string>{"p.bmp", "p.html"}));
  }
  {
    SCOPED_TRACE("missing folder");
    RunFixture f;
    f.dir.Write("p.bmp", test::EncodeBmp(kPicture));
    f.options.pattern = f.dir / "p.bmp";
    f.options.output = f.dir / "no/such/folder/p.html";
    EXPECT_EQ(f.Run(), kExitFailed);
    EXPECT_EQ(f.ui.messages.size(), 1u);
  }
}

}  // namespace
}  // namespace pixtable
