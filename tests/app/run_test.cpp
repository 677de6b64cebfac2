// One run through a fake front end: the keys and options, cancels, destinations that only a program
// can make, and what a batch counts.
#include "run/run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>

#include "api/picture_data.h"
#include "run/batch.h"
#include "run/file_io.h"
#include "os/memory_budget.h"
#include "os/signals.h"
#include "app/temp_dir.h"
#include "support/bmp_writer.h"

namespace pixtable {
namespace {

using Names = std::vector<std::string>;

/// A front end that records what the user would see and answers as told.
class FakeUi : public Ui {
 public:
  void ShowCaption(const std::string& text) override { texts.push_back(text); }
  Captions CaptionTexts() const override { return caption_texts; }
  // A cancel as the button gives it, or as a signal does (seen as the front ends see it).
  void PumpEvents() override {
    if (++pumps == cancel_at_pump) signal_cancel ? void(raise(SIGTERM)) : cancel.Cancel();
    if (CancelRequested()) cancel.Cancel();
  }
  bool KeyHeld(char key) override { return keys.find(key) != std::string::npos; }
  std::string AskMagnification(const std::string& prompt) override {
    prompts.push_back(prompt);
    return answer;
  }
  std::optional<std::string> ShowOpenDialog() override { return std::nullopt; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowUsageError(const std::string& text) override { messages.push_back(text); }
  void ShowClosingLine(const std::string& text) override { closing = text; }
  void ShowProgressWindow() override { ++windows; }
  void UnloadProgressWindow() override { --windows; }

  std::string keys, answer, closing;
  int cancel_at_pump = 0, pumps = 0, windows = 0;
  bool signal_cancel = false;
  Captions caption_texts = Captions::kLocale;
  Names texts, prompts, messages;
};

const test::Picture kPicture = test::FromRows({"rrb", "rbb", "AAA", "AbA"});

/// One run of the conversion of p.bmp in a scratch directory.
struct RunFixture {
  explicit RunFixture(const test::Picture& picture = kPicture) {
    dir.Write("p.bmp", test::EncodeBmp(picture));
    options.pattern = dir / "p.bmp";
  }
  int Run() { return RunConversion(options, ui); }
  test::TempDir dir;
  Options options;
  FakeUi ui;
};

/// Pumps in a conversion of p.bmp that runs to the end; the last ones are the output's rows.
int PumpsOfAWholeRun(const test::Picture& picture = kPicture) {
  RunFixture f(picture);
  f.Run();
  return f.ui.pumps;
}

TEST(RunConversion, KeysWinOverOptions) {
  const struct {
    const char *keys, *answer, *magnification;
    bool no_background;
    int32_t scale, background;  // What the table is drawn with: -1 no background, 0 the usual one.
  } cases[] = {
      {"", "", "2.5", false, 2, 0},   {"zx", "3", "9", false, 3, -1},
      {"z", "", "9", true, 1, -1},  // A cancelled box gives 1.
      {"x", "", nullptr, false, 1, -1},
  };
  for (const auto& c : cases) {
    RunFixture f;
    f.ui.keys = c.keys;
    f.ui.answer = c.answer;
    if (c.magnification) f.options.magnification = c.magnification;
    f.options.no_background = c.no_background;
    EXPECT_EQ(f.Run(), kExitWritten) << c.keys;
    EXPECT_EQ(f.dir.Read("p.html"), test::Convert(kPicture, c.scale, c.background)) << c.keys;
    const Names asked{"拡大する場合倍率を1-10の整数で入力してください"};
    EXPECT_EQ(f.ui.prompts, c.keys[0] == 'z' ? asked : Names{});
    EXPECT_EQ(f.ui.windows, 0) << "the progress window was not unloaded";
  }
}

TEST(RunConversion, CancelLeavesNoFileOrTheOldTable) {
  // Pump 1 follows red's gathering, pump 3 falls in another colour's analysis; the last pumps are
  // the output's rows, and a click during the last row's update comes too late: no check point
  // follows.
  const int total = PumpsOfAWholeRun();
  for (int pump : {1, 3, total - 3, total - 1, total}) {
    RunFixture f;
    const bool old = pump != 3;  // One run with no table there before.
    if (old) f.dir.Write("p.html", "old table");
    f.ui.cancel_at_pump = pump;
    EXPECT_EQ(f.Run(), pump == total ? kExitWritten : kExitCancelled) << pump;
    EXPECT_EQ(f.dir.Names(), old ? (Names{"p.bmp", "p.html"}) : Names{"p.bmp"}) << pump;
    const std::string kept = old ? "old table" : "";
    EXPECT_EQ(f.dir.Read("p.html"), pump == total ? test::Convert(kPicture) : kept) << pump;
    EXPECT_TRUE(f.ui.windows == 0 && f.ui.messages.empty()) << "a window left or a message shown";
  }
}

TEST(RunConversion, CaptionsFollowTheStagesAndTheirFigures) {
  // The pixels placed, shown every ten rectangles from the first; then the rows written, of the
  // picture and not of the magnified table. A cancel ends them at the caption of its pump.
  const std::string laid_out = "Preparing...|Analysing... (1/12)|Analysing... (3/12)|"
                               "Analysing... (4/12)|Analysing... (6/12)|Analysing... (8/12)|"
                               "Analysing... (11/12)|Writing... (1/4)|Writing... (2/4)|";
  const test::Picture pairs = test::FromRows({"A2bA2bA2bA2bA2bA2bA2bA2bA2bA2bA2bA2b"});
  const struct {
    const test::Picture& picture;
    const char* magnification;
    int cancel_at_pump;
    Captions texts;
    std::string captions;
  } cases[] = {
      {kPicture, nullptr, 0, Captions::kLocale, laid_out + "Writing... (3/4)|Writing... (4/4)|"},
      {kPicture, "3", 0, Captions::kLocale, laid_out + "Writing... (3/4)|Writing... (4/4)|"},
      {kPicture, nullptr, 2, Captions::kLocale,
       "Preparing...|Analysing... (1/12)|Analysing... (3/12)|"},
      {kPicture, nullptr, PumpsOfAWholeRun() - 2, Captions::kLocale, laid_out},
      {pairs, nullptr, 0, Captions::kWindow,
       "準備中・・・|解析中・・・(0/36)|解析中・・・(2/36)|"
       "解析中・・・(22/36)|解析中・・・(36/36)|出力中...(1/1)|"},
  };
  for (const auto& c : cases) {
    RunFixture f(c.picture);
    if (c.magnification) f.options.magnification = c.magnification;
    f.ui.cancel_at_pump = c.cancel_at_pump;
    f.ui.caption_texts = c.texts;
    f.Run();
    std::string seen;
    for (const std::string& text : f.ui.texts) seen += text + '|';
    EXPECT_EQ(seen, c.captions);
  }
}

TEST(LoadFrom, APipeIsReadOverWhatThePictureSkips) {
  // A bitmap whose pixels lie 1 MiB after its header: piped in, where nothing can be sought.
  std::string bitmap = test::EncodeBmp(kPicture);
  const uint32_t offset = 54 + (1 << 20);
  bitmap.insert(54, std::string(1 << 20, '\0'));
  std::memcpy(&bitmap[10], &offset, 4);
  int pipe_ends[2];
  ASSERT_EQ(pipe2(pipe_ends, O_CLOEXEC), 0);
  std::thread writer([&] {
    for (size_t at = 0; at < bitmap.size();)
      at += static_cast<size_t>(write(pipe_ends[1], &bitmap[at], bitmap.size() - at));
    close(pipe_ends[1]);
  });
  const LoadResult loaded = LoadFrom(pipe_ends[0], kUnknownSize, {}, NeverCancelled());
  writer.join();
  close(pipe_ends[0]);
  EXPECT_EQ(test::FromRaster(loaded.picture.data()->raster), kPicture) << loaded.reason;
}

TEST(MemoryBudget, APictureWaitsWhileTheOthersHoldTooMuch) {
  MemoryBudget budget(100);
  CancelFlagToken cancel;
  EXPECT_TRUE(budget.Reserve(150, cancel)) << "a picture alone goes ahead, however large";
  std::atomic<bool> second = false;
  std::thread job([&] { second = budget.Reserve(10, cancel); });
  usleep(100'000);
  EXPECT_FALSE(second) << "went ahead beside 150 of 100";
  budget.Release(150);
  job.join();
  EXPECT_TRUE(second);
  std::thread waiting([&] { EXPECT_FALSE(budget.Reserve(95, cancel)) << "no end on a cancel"; });
  cancel.Cancel();
  waiting.join();
}

/// A name of our descriptor `fd` inside `dir` (through a link to /proc/self/fd), so that a run that
/// wrongly replaced its destination would replace a file of the test, never a system one.
std::string OwnDescriptor(const test::TempDir& dir, int fd) {
  if (symlink("/proc/self/fd", (dir / "fd").c_str()) != 0 && errno != EEXIST)
    return "";  // Made once.
  return dir / ("fd/" + std::to_string(fd));
}

TEST(RunConversion, CancelInTheOutputFlushesTheRowsWrittenIntoADescriptor) {
  const std::string table = test::Convert(kPicture);
  size_t rows_1_to_3 = 0;
  for (int line = 0; line < 5; ++line)
    rows_1_to_3 = table.find('\n', rows_1_to_3) + 1;  // After 2 start lines.
  // A full device fails every write: the flush of a cancel must say so.
  for (bool full : {false, true}) {
    RunFixture f;
    const std::string target = f.dir / "target";
    if (full && mknod(target.c_str(), S_IFCHR | 0600, makedev(1, 7)) != 0)
      GTEST_SKIP() << "mknod needs root";
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    f.options.output = OwnDescriptor(f.dir, fd);
    f.ui.cancel_at_pump = PumpsOfAWholeRun() - 1;  // Row 3's update: rows 1 to 3 are written.
    EXPECT_EQ(f.Run(), full ? kExitFailed : kExitCancelled);
    close(fd);
    EXPECT_EQ(f.ui.messages, full ? Names{"pixtable: cannot write " + *f.options.output +
                                          ": No space left on device"}
                                  : Names{});
    EXPECT_TRUE(full || f.dir.Read("target") == table.substr(0, rows_1_to_3))
        << "not rows 1 to 3 of the table";
  }
}

TEST(RunConversion, ACancelSignalEndsTheLastFlushIntoAStalledReader) {
  std::mt19937 rng(1);  // A table of about 250 KB, all of it buffered when the cancel comes.
  const test::Picture picture = test::RandomPicture(rng, 100, 100, 5000);
  RunFixture f(picture);
  // Never read from, as small as a pipe gets, and full before the run: the flush blocks before its
  // first byte, so only a wake-up with EINTR can end it.
  int reader[2];
  ASSERT_EQ(pipe2(reader, O_CLOEXEC), 0);
  ASSERT_EQ(fcntl(reader[1], F_SETPIPE_SZ, 4096), 4096);
  ASSERT_EQ(write(reader[1], std::string(4096, 'x').data(), 4096), 4096);
  f.options.output = OwnDescriptor(f.dir, reader[1]);
  f.ui.cancel_at_pump = PumpsOfAWholeRun(picture) - 1;
  f.ui.signal_cancel = true;
  const pid_t child = fork();
  // The signal handlers are the program's, so the run goes in a process of its own.
  if (child == 0) {
    InstallSignalHandlers();
    _exit(f.Run());
  }
  int status = 0;
  for (int waited = 0; waited < 1000 && waitpid(child, &status, WNOHANG) == 0; ++waited)
    usleep(10'000);
  if (kill(child, SIGKILL) == 0) {
    waitpid(child, &status, 0);
    FAIL() << "the run did not end within 10 s";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kExitCancelled) << status;
  for (int end : reader) close(end);
}

// A signal that ends the process on one thread while a batch's job makes its temporary file on
// another: the file is gone once the removal returns, whenever the signal came.
TEST(PendingTemporaryFiles, NoneOutlivesTheRemovalWhileAnotherThreadMakesOne) {
  test::TempDir dir;
  const int dir_fd = open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  for (int trial = 0; trial < 200; ++trial) {
    const pid_t child = fork();
    if (child == 0) {
      std::thread job([&] {
        for (int n = 0;; ++n) {
          const std::string name = std::to_string(n);
          const int fd = CreatePendingTemporaryFile(0, dir_fd, name.c_str(), 0600);
          if (fd < 0) return;
          close(fd);
          unlinkat(dir_fd, name.c_str(), 0);
          ClearPendingTemporaryFile(0);
        }
      });
      usleep(trial % 50);
      RemovePendingTemporaryFiles();
      const bool left = !std::filesystem::is_empty(dir.path());
      job.join();
      _exit(left ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "trial " << trial;
  }
  close(dir_fd);
}

TEST(RunBatch, CountsEveryPictureMatchedAndWhyEachNotWrittenWasNot) {
  // A .html file is a table, "bad" and .txt files no pictures; "b=a" is a hard link, "c>a" a
  // symbolic one; "a.html" beside "a.png" is a rerun.
  const struct {
    Names files, words;
    int code;
    const char* summary;
  } cases[] = {
      {{"bad.bmp"}, {"*"}, kExitFailed, "0 of 1 table written, 1 failed"},
      {{"a.html", "a.png"}, {"*"}, kExitWritten, "1 of 1 table written, 1 HTML file left out"},
      {{"a.bmp", "b.bmp=a.bmp", "c.bmp>a.bmp"}, {"a.bmp", "b.bmp", "c.bmp"}, kExitWritten,
       "3 of 3 tables written"},
      {{"a.bmp", "a.png"}, {"*"}, kExitFailed,
       "1 of 2 tables written, 1 left out for a table's name in use"},
      {{"a.bmp"}, {"*", "none"}, kExitFailed, "1 of 1 table written, 1 word matched no file"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    for (const std::string& file : c.files) {
      const size_t at = file.find_first_of("=>");
      const std::string name = file.substr(0, at), kind = name.substr(name.find('.'));
      const std::string target = file.substr(at + 1), path = dir / name;
      const bool picture = kind != ".html" && kind != ".txt" && !name.starts_with("bad");
      if (at == std::string::npos) {
        dir.Write(name, picture ? test::EncodeBmp(kPicture) : kind == ".html" ? "<table>" : "BM");
      } else {
        const int made = file[at] == '=' ? link((dir / target).c_str(), path.c_str())
                                         : symlink(target.c_str(), path.c_str());
        ASSERT_EQ(made, 0) << file;
      }
    }
    Options options;
    options.each = true;
    for (const std::string& word : c.words) options.words.push_back(dir / word);
    FakeUi ui;
    EXPECT_EQ(RunBatch(options, ui), c.code) << c.summary;
    EXPECT_EQ(ui.closing, c.summary);
  }
}

}  // namespace
}  // namespace pixtable
