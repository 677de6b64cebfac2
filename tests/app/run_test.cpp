#include "app/run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "app/signals.h"
#include "app/temp_dir.h"
#include "fit/reduce.h"
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
  void PumpEvents() override {
    // A cancel as the button gives it, or as a signal does (seen here as the front ends see it).
    if (++pumps == cancel_at_pump) signal_cancel ? void(raise(SIGTERM)) : void(state_.CancelFlag = true);
    state_.CancelFlag |= CancelRequested();
  }
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
  void ShowNote(const std::string& text) override { notes.push_back(text); }
  void ShowUsageError(const std::string& text) override { usage_errors.push_back(text); }
  void ShowProgressWindow() override { ++windows_shown; }
  void UnloadProgressWindow() override { ++windows_unloaded; }

  bool z_held = false, x_held = false;
  std::string answer;
  std::optional<std::string> dialog;
  int cancel_at_pump = 0;
  bool signal_cancel = false;
  std::vector<std::string> texts, prompts, messages, usage_errors, notes;
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

/// Pumps in a conversion of p.bmp that runs to the end; the last ones are the output's rows.
int PumpsOfAWholeRun() {
  RunFixture f;
  f.Run();
  return f.ui.pumps;
}

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
  EXPECT_EQ(f.ui.windows_shown, 1);
  EXPECT_EQ(f.ui.windows_unloaded, 1);
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
  const int total_pumps = PumpsOfAWholeRun();
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

TEST(RunConversion, SizeOptionsLayOutTheReducedPictureAtItsScale) {
  std::mt19937 rng(5);
  const test::Picture picture = test::RandomPicture(rng, 40, 30, 30);
  const struct {
    int32_t scale, colors;
    bool dither, nearest;
    int64_t max_size;
  } cases[] = {{3, 0, false, false, 0}, {1, 4, true, false, 0}, {2, 5, false, true, 0}, {1, 0, false, false, 2000},
               {1, 0, false, false, 200}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scale * 1000 + c.colors);
    RunFixture f;
    f.dir.Write("p.bmp", test::EncodeBmp(picture));
    f.options.magnification = "2";
    f.options.scale = c.scale;
    f.options.colors = c.colors;
    f.options.dither = c.dither;
    f.options.scale_filter = c.nearest ? ScaleFilter::kNearest : ScaleFilter::kBox;
    f.options.max_size = c.max_size;
    if (c.max_size == 200) {  // Too small for any table: nothing is written.
      EXPECT_EQ(f.Run(), kExitFailed);
      EXPECT_EQ(f.dir.Names(), Names{"p.bmp"});
      EXPECT_TRUE(f.ui.messages.at(0).starts_with("pixtable: no table of "));
      continue;
    }
    ASSERT_EQ(f.Run(), kExitWritten);
    const std::string html = f.dir.Read("p.html");
    int32_t scale = c.scale;
    if (c.max_size > 0) {
      EXPECT_LE(static_cast<int64_t>(html.size()), c.max_size);
      ASSERT_EQ(f.ui.notes.size(), 1u);
      scale = f.ui.notes[0][f.ui.notes[0].find("scale ") + 6] - '0';
    } else {
      const DibSection reduced = ReducePicture(test::ToDib(picture), {c.scale, f.options.scale_filter, c.colors, c.dither});
      EXPECT_EQ(test::RenderTable(html), test::FromDib(reduced));
    }
    const int32_t w = (40 + scale - 1) / scale * scale * 2, h = (30 + scale - 1) / scale * scale * 2;
    EXPECT_TRUE(html.starts_with("<table width=\"" + std::to_string(w) + "\" height=\"" + std::to_string(h) + "\""));
  }
}

TEST(RunConversion, AnUnwritableDestinationFailsBeforeTheLayout) {
  RunFixture f;
  f.options.output = f.dir / "missing/p.html";
  EXPECT_EQ(f.Run(), kExitFailed);
  EXPECT_EQ(f.ui.messages, Names{"pixtable: cannot write " + *f.options.output + ": No such file or directory"});
  EXPECT_TRUE(f.ui.texts.empty()) << "the layout ran";
  EXPECT_EQ(f.ui.windows_shown, 0);
}

TEST(RunConversion, CancelInTheOutputFlushesTheRowsWrittenIntoADescriptor) {
  const std::string table = test::Convert(kPicture).html;
  const struct {
    const char* what;
    bool full;  // A device where every write fails: the flush of a cancel must say so.
    int code;
  } cases[] = {{"file", false, kExitCancelled}, {"full device", true, kExitFailed}};
  for (const auto& c : cases) {
    RunFixture f;
    const std::string target = f.dir / "target";
    if (c.full && mknod(target.c_str(), S_IFCHR | 0600, makedev(1, 7)) != 0) GTEST_SKIP() << "mknod needs root";
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    f.options.output = "/dev/fd/" + std::to_string(fd);
    f.ui.cancel_at_pump = PumpsOfAWholeRun() - 1;  // Row 3's update: rows 1 to 3 are written.
    EXPECT_EQ(f.Run(), c.code) << c.what;
    close(fd);
    if (c.full) {
      EXPECT_EQ(f.ui.messages, Names{"pixtable: cannot write " + *f.options.output + ": No space left on device"});
    } else {
      size_t end = 0;
      for (int line = 0; line < 4; ++line) end = table.find('\n', end) + 1;
      EXPECT_EQ(f.dir.Read("target"), table.substr(0, end));
      EXPECT_TRUE(f.ui.messages.empty());
    }
  }
}

TEST(RunConversion, ACancelSignalEndsTheLastFlushIntoAStalledReader) {
  RunFixture f;  // A table of about 250 KB, all of it buffered when the cancel comes.
  std::mt19937 rng(1);
  f.dir.Write("p.bmp", test::EncodeBmp(test::RandomPicture(rng, 100, 100, 5000)));
  const int whole_run = [&] {
    RunFixture g;
    g.dir.Write("p.bmp", f.dir.Read("p.bmp"));
    g.Run();
    return g.ui.pumps;
  }();
  int reader[2];  // Never read from, and as small as a pipe gets.
  ASSERT_EQ(pipe2(reader, O_CLOEXEC), 0);
  fcntl(reader[1], F_SETPIPE_SZ, 4096);
  f.options.output = "/dev/fd/" + std::to_string(reader[1]);
  f.ui.cancel_at_pump = whole_run - 1;
  f.ui.signal_cancel = true;
  const pid_t child = fork();
  if (child == 0) {  // The signal handlers are the program's, so the run goes in a process of its own.
    InstallSignalHandlers();
    _exit(f.Run());
  }
  int status = 0;
  for (int waited = 0; waited < 1000 && waitpid(child, &status, WNOHANG) == 0; ++waited) usleep(10'000);
  if (kill(child, SIGKILL) == 0) {
    waitpid(child, &status, 0);
    FAIL() << "the run did not end within 10 s";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kExitCancelled) << status;
  close(reader[0]);
  close(reader[1]);
}

TEST(RunConversion, ASocketIsWrittenIntoThroughAConnection) {
  RunFixture f;
  const std::string path = f.dir / "socket";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  // Non-blocking: a run that made no connection fails the test instead of hanging it.
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  f.options.output = path;
  EXPECT_EQ(f.Run(), kExitWritten);  // The table fits in the socket's buffer: no reader needed yet.
  const int connection = accept(listener, nullptr, nullptr);
  ASSERT_GE(connection, 0) << "no connection";
  std::string got(4096, '\0');
  got.resize(static_cast<size_t>(std::max<ssize_t>(0, recv(connection, got.data(), got.size(), MSG_WAITALL))));
  EXPECT_EQ(got, test::Convert(kPicture).html);
  close(connection);
  close(listener);
}

}  // namespace
}  // namespace pixtable
