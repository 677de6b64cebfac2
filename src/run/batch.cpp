#include "run/batch.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "os/path.h"
#include "run/batch_plan.h"
#include "text/captions.h"
#include "text/display_name.h"
#include "os/memory_budget.h"
#include "os/signals.h"
#include "text/catalogue.h"

namespace pixtable {
namespace {

static_assert(kMaxJobs <= kPendingSlots, "each job needs a pending-file slot of its own");

/// How often the main thread shows progress and runs window events.
constexpr auto kTick = std::chrono::milliseconds(40);

/// What a job's picture tells the user, kept until the main thread shows it:
/// only the main thread touches the batch's front end.
class JobUi : public Ui {
 public:
  explicit JobUi(const std::string& input) : name_(DisplayName(input)) {}
  void Report(Stage, int64_t, int64_t) override {}
  void ShowCaption(const std::string&) override {}
  void PumpEvents() override {
    if (CancelRequested()) cancel.Cancel();
  }
  bool KeyHeld(char) override { return false; }
  std::string AskMagnification(const std::string&) override { return ""; }
  std::optional<std::string> ShowOpenDialog() override { return std::nullopt; }
  void ShowMessage(const std::string& text) override { said.push_back(text); }
  void ShowUsageError(const std::string& text) override { said.push_back(text); }
  void ShowProgressWindow() override {}
  void UnloadProgressWindow() override {}
  /// A note that does not name the picture (the size search's choice) gets
  /// its name in front.
  void ShowNote(const std::string& text) override {
    said.push_back(text.starts_with("pixtable: ") ? text : name_ + ": " + text);
  }

  std::vector<std::string> said;

 private:
  std::string name_;
};

/// What the jobs and the main thread share, under `mutex`.
struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  size_t next = 0;           ///< The next picture to start.
  size_t done = 0, written = 0, failed = 0;
  bool cancelled = false;    ///< A picture ended by a cancel.
  int running = 0;           ///< Jobs not yet ended.
  std::string latest;        ///< The picture started last.
  std::vector<std::string> said;  ///< Messages not yet shown.
};

/// One job: converts pictures one after another until none is left or the
/// batch is cancelled.
void RunJob(const Options& options, const std::vector<BatchPicture>& pictures, const TableStyle& style, int slot,
            Shared& shared, MemoryBudget& budget) {
  std::unique_lock lock(shared.mutex);
  while (shared.next < pictures.size() && !CancelRequested()) {
    const BatchPicture& picture = pictures[shared.next++];
    shared.latest = picture.input;
    lock.unlock();
    JobUi ui(picture.input);
    int code;
    try {
      code = ConvertPicture(options, picture.input, picture.output, ui, style, 1, slot, &budget);
    } catch (const std::bad_alloc&) {
      code = kExitFailed;
      ui.said.push_back(Fill(Tr("pixtable: not enough memory to convert {1}"), {DisplayName(picture.input)}));
    }
    lock.lock();
    ++shared.done;
    shared.written += code == kExitWritten;
    shared.failed += code == kExitFailed;
    shared.cancelled |= code == kExitCancelled;
    for (std::string& text : ui.said) shared.said.push_back(std::move(text));
    if (!ui.said.empty()) shared.changed.notify_one();
  }
  --shared.running;
  shared.changed.notify_one();
}

/// "変換中・・・(done/total、失敗 n) name": the count and the latest picture.
std::string ProgressText(const Shared& shared, size_t total, Captions texts) {
  const std::string name = DisplayName(FileNameOf(shared.latest));
  return BatchCaption(shared.done, total, shared.failed, name, texts);
}

/// "a", "a or b", "a, b or c", each quoted.
std::string Listed(const std::vector<std::string>& words) {
  std::string text = QuotedName(words[0]);
  for (size_t i = 1; i < words.size(); ++i) {
    text = Fill(i + 1 == words.size() ? Tr("{1} or {2}") : Tr("{1}, {2}"), {text, QuotedName(words[i])});
  }
  return text;
}

/// How a batch ended, picture by picture.
struct Tally {
  size_t matched = 0;    ///< Every picture the words matched: the rest add up to it.
  size_t written = 0;
  size_t failed = 0;     ///< Not loaded, or the table not written.
  size_t clashes = 0;    ///< Left out: its table's path was an earlier picture's.
  size_t html = 0;       ///< HTML files the words matched, left out (no pictures).
  size_t unmatched = 0;  ///< Words that matched no file.
};

/// "2 of 5 tables written, 1 failed, 1 left out for a table's name in use, 1
/// cancelled, 3 HTML files left out, 1 word matched no file": why every
/// picture matched and not written was not.
std::string Summary(const Tally& t) {
  const auto n = [](size_t count) { return Grouped(static_cast<int64_t>(count)); };
  std::string text = Fill(TrN("{1} of {2} table written", "{1} of {2} tables written", static_cast<int64_t>(t.matched)),
                          {n(t.written), n(t.matched)});
  const size_t cancelled = t.matched - t.written - t.failed - t.clashes;
  if (t.failed > 0) text += Fill(Tr(", {1} failed"), {n(t.failed)});
  if (t.clashes > 0) text += Fill(Tr(", {1} left out for a table's name in use"), {n(t.clashes)});
  if (cancelled > 0) text += Fill(Tr(", {1} cancelled"), {n(cancelled)});
  if (t.html > 0) {
    text += Fill(TrN(", {1} HTML file left out", ", {1} HTML files left out", static_cast<int64_t>(t.html)), {n(t.html)});
  }
  if (t.unmatched > 0) {
    text += Fill(TrN(", {1} word matched no file", ", {1} words matched no file", static_cast<int64_t>(t.unmatched)),
                 {n(t.unmatched)});
  }
  return text;
}

}  // namespace

int32_t CoresAvailable() {
  cpu_set_t set;
  const int count = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set)
                                                                : static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp<int32_t>(count, 1, kMaxJobs);
}

int RunBatch(const Options& options, Ui& ui) {
  const TableStyle style = StartStyle(options, ui);
  if (CancelRequested()) return kExitCancelled;  // A signal ended the magnification box.
  if (options.words.empty()) {
    ui.ShowUsageError(Tr("no picture given"));
    return kExitUsage;
  }
  BatchPlan plan = PlanBatch(options);
  if (plan.pictures.empty() && plan.refused.empty() && plan.html.empty()) {
    ui.ShowUsageError(Fill(Tr("no file matches {1}"), {Listed(plan.unmatched)}));
    return kExitUsage;
  }
  for (const std::string& word : plan.unmatched) {
    ui.ShowNote(Fill(Tr("pixtable: no file matches {1}"), {QuotedName(word)}));
  }
  for (const std::string& text : plan.refused) ui.ShowNote(text);
  if (!plan.html.empty()) {
    const int64_t count = static_cast<int64_t>(plan.html.size());
    ui.ShowNote(Fill(TrN("pixtable: leaving out {2}, an HTML file: tables are no pictures",
                         "pixtable: leaving out {1} HTML files, {2} the first: tables are no pictures", count),
                     {Grouped(count), DisplayName(plan.html[0])}));
  }
  if (const std::string failure = MakeOutputFolder(options); !failure.empty()) {
    ui.ShowNote(failure);
    return kExitFailed;
  }

  const std::vector<BatchPicture>& pictures = plan.pictures;
  const size_t jobs = std::min<size_t>(options.jobs > 0 ? options.jobs : CoresAvailable(), pictures.size());
  Shared shared;
  // Fewer pictures at once when they are large: each job reserves its picture's memory.
  MemoryBudget budget(BatchMemoryBudget());
  std::vector<std::thread> threads;
  ui.ShowProgressWindow();
  {
    std::lock_guard lock(shared.mutex);
    for (size_t slot = 0; slot < jobs; ++slot) {
      try {
        threads.emplace_back(RunJob, std::cref(options), std::cref(pictures), std::cref(style), static_cast<int>(slot),
                             std::ref(shared), std::ref(budget));
        ++shared.running;
      } catch (const std::system_error&) {
        break;  // The jobs that started do the work.
      }
    }
  }
  if (threads.empty()) {  // No thread could be started: one job on this one.
    shared.running = 1;
    RunJob(options, pictures, style, 0, shared, budget);
  }

  std::unique_lock lock(shared.mutex);
  for (;;) {
    shared.changed.wait_for(lock, kTick, [&] { return !shared.said.empty() || shared.running == 0; });
    std::vector<std::string> said = std::move(shared.said);
    shared.said.clear();
    const std::string text = ProgressText(shared, pictures.size(), ui.CaptionTexts());
    const bool ended = shared.running == 0;
    lock.unlock();
    for (const std::string& message : said) ui.ShowNote(message);
    if (ended) break;
    ui.ShowCaption(text);
    ui.PumpEvents();
    if (ui.cancel.Cancelled()) RequestCancel();
    // A job waiting on a stalled reader or a FIFO's open wakes to see the cancel.
    if (CancelRequested()) {
      for (std::thread& thread : threads) pthread_kill(thread.native_handle(), SIGALRM);
    }
    lock.lock();
  }
  for (std::thread& thread : threads) thread.join();
  ui.UnloadProgressWindow();

  const Tally tally{.matched = pictures.size() + plan.refused.size(),
                    .written = shared.written,
                    .failed = shared.failed,
                    .clashes = plan.refused.size(),
                    .html = plan.html.size(),
                    .unmatched = plan.unmatched.size()};
  ui.ShowClosingLine(Summary(tally));
  if (shared.cancelled || CancelRequested()) return kExitCancelled;
  return tally.failed + tally.clashes + tally.unmatched > 0 ? kExitFailed : kExitWritten;
}

}  // namespace pixtable
