// The window as a user drives it: a page of 100,000 links from Start to its
// last line in the result list (beside movrek-cli on the same page), how long
// the event loop is ever held meanwhile, the list commands on large lists,
// and the time to the first painted window. Runs on a private X server.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/text_edit_lines.h"
#include "engine/pipeline/network_startup.h"
#include "tests/app/x_display.h"
#include "tests/helpers/peers.h"

namespace {

using namespace movrek;

constexpr int kBigPageLinks = 100000;

std::string PageWithLinks(int count) {
  std::string page = "<html><body>\n";
  for (int i = 0; i < count; ++i) page += "<a href=\"page" + std::to_string(i) + ".html\">p</a>\n";
  return page + "</body></html>\n";
}

test::NginxServer& Server() {
  static test::NginxServer* nginx = [] {
    auto* server = new test::NginxServer();
    server->WriteFile("big.html", PageWithLinks(kBigPageLinks));
    server->WriteFile("small.html", PageWithLinks(20));
    if (!server->Start()) std::abort();
    return server;
  }();
  return *nginx;
}

std::unique_ptr<app::TForm1> ShownForm(TJobSettings settings = {}) {
  auto form = std::make_unique<app::TForm1>(settings);
  form->show();
  // A window that never shows would time nothing real.
  if (!QTest::qWaitForWindowExposed(form.get())) {
    std::abort();
  }
  return form;
}

// The longest gap between the beats of a 10 ms timer: how long input and
// painting would have waited at worst.
class TStallProbe {
 public:
  TStallProbe() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      if (last_ >= 0) longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
    clock_.start();
    timer_.start(10);
  }
  qint64 LongestMs() const { return longest_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = -1;
  qint64 longest_ = 0;
};

// Every beat gap of a 10 ms timer while a job runs on 1,000,000 lines, from
// Start until the job has been at work for a few seconds: the longest one
// is how long the window ever held up input (a clipboard request, a key).
class TBeatGaps {
 public:
  TBeatGaps() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      gaps_.push_back(now - last_);
      last_ = now;
    });
    clock_.start();
    timer_.start(10);
  }
  qint64 Longest() const {
    return gaps_.empty() ? 0 : *std::max_element(gaps_.begin(), gaps_.end());
  }
  qint64 Median() {
    if (gaps_.empty()) return 0;
    std::nth_element(gaps_.begin(), gaps_.begin() + gaps_.size() / 2, gaps_.end());
    return gaps_[gaps_.size() / 2];
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  // From the start: work done right after the probe is made counts too.
  qint64 last_ = 0;
  std::vector<qint64> gaps_;
};

// Resident and peak resident memory of this process, in MiB; the peak can
// be reset so that each action has its own.
double StatusMiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024.0;
  }
  return -1;
}
double RssMiB() {
  return StatusMiB("VmRSS");
}
double PeakMiB() {
  return StatusMiB("VmHWM");
}
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

// Runs a list command until its work is in and the list is painted: the
// time, the longest stall of the event loop meanwhile and the peak memory.
template <typename Action>
void TimeListCommand(benchmark::State& state, app::TForm1& form, Action action) {
  ResetPeak();
  TStallProbe probe;
  QElapsedTimer timer;
  timer.start();
  action();
  if (!QTest::qWaitFor([&] { return !form.Busy(); }, 60000)) {
    state.SkipWithError("the command did not finish within 60 s");
    return;
  }
  form.repaint();
  state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
  // A beat after the end, so a stall at the very end is seen too.
  QTest::qWait(30);
  state.counters["longest_stall_ms"] =
      std::max(state.counters["longest_stall_ms"].value, static_cast<double>(probe.LongestMs()));
  state.counters["peak_rss_MiB"] = std::max(state.counters["peak_rss_MiB"].value, PeakMiB());
}

double CliSeconds(const std::string& url) {
  const std::string cli = std::string(MOVREK_BUILD_DIR) + "/cli/movrek-cli";
  QElapsedTimer timer;
  timer.start();
  const std::string command = "echo '" + url + "' | " + cli + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return -1;
  return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// Start to the last line of a 100,000-link page, with the pauses a user gets.
void BM_StartToLastLine(benchmark::State& state) {
  const std::string url = Server().Url("/big.html");
  double longest_stall = 0;
  for (auto _ : state) {
    auto form = ShownForm();
    form->Memo1->setPlainText(QString::fromStdString(url));
    TStallProbe probe;
    QElapsedTimer timer;
    timer.start();
    form->Button1->click();
    if (!QTest::qWaitFor([&] { return form->Memo2->LineCount() >= kBigPageLinks + 4; }, 60000)) {
      state.SkipWithError("the last line did not arrive within 60 s");
      break;
    }
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    if (!QTest::qWaitFor([&] { return form->Button1->isEnabled(); }, 60000)) {
      state.SkipWithError("the job did not end within 60 s");
      break;
    }
    longest_stall = std::max(longest_stall, static_cast<double>(probe.LongestMs()));
  }
  state.counters["longest_stall_ms"] = longest_stall;
  state.counters["cli_s"] = CliSeconds(url);
}
BENCHMARK(BM_StartToLastLine)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Generator100k(benchmark::State& state) {
  auto form = ShownForm();
  form->SpinEdit1->setValue(1);
  form->SpinEdit2->setValue(100000);
  for (auto _ : state) {
    form->Memo2->clear();
    form->Button6temp->click();
    if (!QTest::qWaitFor([&] { return !form->Busy(); }, 60000)) {
      state.SkipWithError("the command did not finish within 60 s");
      break;
    }
  }
}
BENCHMARK(BM_Generator100k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RemoveHashLines300k(benchmark::State& state) {
  auto form = ShownForm();
  QString text;
  for (int i = 0; i < 100000; ++i) {
    text += QStringLiteral("#===========#\n# Links From: http://h/%1\nhttp://h/link%1\n").arg(i);
  }
  for (auto _ : state) {
    state.PauseTiming();
    form->Memo2->setPlainText(text);
    state.ResumeTiming();
    form->RemoveLinesStartsWith1->trigger();
    if (!QTest::qWaitFor([&] { return !form->Busy(); }, 60000)) {
      state.SkipWithError("the command did not finish within 60 s");
      break;
    }
  }
}
BENCHMARK(BM_RemoveHashLines300k)->Unit(benchmark::kMillisecond)->Iterations(3);

// The generator from 1 to 1,000,000 into the result list.
void BM_Generator1M(benchmark::State& state) {
  auto form = ShownForm();
  form->SpinEdit1->setValue(1);
  form->SpinEdit2->setValue(1000000);
  for (auto _ : state) {
    form->Memo2->setPlainText({});
    TimeListCommand(state, *form, [&] { form->Button6temp->click(); });
  }
  state.counters["lines"] = form->Memo2->LineCount();
}
BENCHMARK(BM_Generator1M)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Remove Lines Starts With # on 2,000,000 lines (two thirds of them marked),
// then Clear All: how much of the memory comes back.
void BM_RemoveHash2MThenClearAll(benchmark::State& state) {
  const double start_rss = RssMiB();
  auto form = ShownForm();
  std::string text;
  for (int i = 0; i < 2000000 / 3; ++i) {
    text += "#===========#\n# Links From: http://host.example/" + std::to_string(i) +
            "\nhttp://host.example/dir/link" + std::to_string(i) + ".html\n";
  }
  for (auto _ : state) {
    state.PauseTiming();
    form->Memo2->ReplaceAll(text);
    state.ResumeTiming();
    TimeListCommand(state, *form, [&] { form->RemoveLinesStartsWith1->trigger(); });
  }
  state.counters["text_MiB"] = static_cast<double>(text.size()) / (1 << 20);
  form->Memo2->ReplaceAll(text);
  std::string().swap(text);  // (assigning an empty string would keep the buffer)
  form->ClearAll1->trigger();
  QApplication::processEvents();
  state.counters["after_clear_all_MiB"] = RssMiB() - start_rss;
}
BENCHMARK(BM_RemoveHash2MThenClearAll)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Load URL From File with 1,000,000 lines (33 MB), to the painted list.
void BM_LoadUrlFile1M(benchmark::State& state) {
  test::TempDir dir;
  std::string lines;
  for (int i = 0; i < 1000000; ++i)
    lines += "http://host.example/page" + std::to_string(i) + "\r\n";
  const std::string file = dir.Write("urls.txt", lines);
  auto form = ShownForm();
  for (auto _ : state) {
    TimeListCommand(state, *form, [&] { form->LoadUrlFile(QString::fromStdString(file)); });
  }
  state.counters["lines"] = form->Memo1->LineCount();
}
BENCHMARK(BM_LoadUrlFile1M)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FirstPaintedWindow(benchmark::State& state) {
  for (auto _ : state) {
    app::TForm1 form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
      state.SkipWithError("the window was not shown");
      break;
    }
    form.repaint();
  }
}
BENCHMARK(BM_FirstPaintedWindow)->Unit(benchmark::kMillisecond)->Iterations(5);

// 1,000,000 result lines in 500 batches of 2,000, as a job hands them over:
// each batch must cost the same, however long the list already is.
void BM_ResultBatches1M(benchmark::State& state) {
  auto form = ShownForm();
  std::vector<std::string> batch;
  for (int j = 0; j < 2000; ++j)
    batch.push_back("http://host.example/dir/page" + std::to_string(j));
  const std::string joined = app::JoinLf(batch);
  for (auto _ : state) {
    form->Memo2->setPlainText({});
    for (int i = 0; i < 500; ++i) form->Memo2->AppendLines(joined);
  }
  state.counters["lines"] = form->Memo2->LineCount();
}
BENCHMARK(BM_ResultBatches1M)->Unit(benchmark::kMillisecond)->Iterations(3);

// Start on a list of 1,000,000 addresses, the job at work for 4 s (with the
// pauses a user gets), then Abort: the longest and median beat gap of the
// window while the job runs, and the gap the abort makes.
void BM_JobOn1MLineList(benchmark::State& state) {
  std::string list;
  const std::string url = Server().Url("/small.html?");
  for (int i = 0; i < 1000000; ++i) list += url + std::to_string(i) + "\n";
  double longest = 0;
  double median = 0;
  double abort_gap = 0;
  for (auto _ : state) {
    auto form = ShownForm();
    form->Memo1->ReplaceAll(list);
    QTest::qWait(200);
    auto gaps = std::make_unique<TBeatGaps>();
    form->Button1->click();
    QTest::qWait(4000);
    longest = std::max(longest, static_cast<double>(gaps->Longest()));
    median = std::max(median, static_cast<double>(gaps->Median()));
    gaps = std::make_unique<TBeatGaps>();
    form->Button5->click();
    QTest::qWait(300);
    abort_gap = std::max(abort_gap, static_cast<double>(gaps->Longest()));
    if (!form->Button1->isEnabled()) state.SkipWithError("Abort did not end the job");
  }
  state.counters["longest_stall_ms"] = longest;
  state.counters["median_beat_ms"] = median;
  state.counters["abort_stall_ms"] = abort_gap;
}
BENCHMARK(BM_JobOn1MLineList)->Unit(benchmark::kMillisecond)->Iterations(3);

// Memory of a result list of 1,000,000 lines (run alone for its own peak).
void BM_MillionResultLines(benchmark::State& state) {
  std::size_t text = 0;
  for (auto _ : state) {
    auto form = ShownForm();
    for (int i = 0; i < 10; ++i) {
      std::vector<std::string> lines;
      for (int j = 0; j < 100000; ++j) {
        lines.push_back("http://host.example/dir/page" + std::to_string(i * 100000 + j) + ".html");
      }
      form->Memo2->AppendLines(app::JoinLf(lines));
      QApplication::processEvents();
    }
    text = form->Memo2->ByteCount();
  }
  state.counters["text_MiB"] = static_cast<double>(text) / (1 << 20);
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_MillionResultLines)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  test::TXDisplay display;
  if (!display.Started()) {
    std::fprintf(stderr, "window benchmark: %s\n", display.Problem().c_str());
    return 1;
  }
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  TNetworkStartup network;
  QApplication application(argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
