// The extraction job end to end: a real worker thread, nginx (or a scripted
// server) on loopback, and a recording window driven by an event loop on the
// test's thread, which plays the window's thread.
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/pipeline/network_startup.h"
#include "engine/window_job/event_loop.h"
#include "engine/window_job/window_job_controller.h"
#include "tests/engine/recording_window.h"
#include "tests/engine/window_job/counting_thread.h"
#include "tests/helpers/file_size_limit.h"
#include "tests/helpers/no_pauses.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scoped_env.h"
#include "tests/helpers/scripted_server.h"
#include "tests/helpers/silent_name_server.h"

namespace {

using namespace std::chrono_literals;
using movrek::TEventLoop;
using movrek::TJobSettings;
using movrek::TWindowJobController;
using movrek::test::NoPauses;
using movrek::testing::TCountingThread;
using Window = movrek::testing::TRecordingWindow;

constexpr auto kJobTimeout = 30s;

bool IsTransferProgress(const std::string& text) {
  return (!text.empty() && text.back() == '%') || text.rfind("Bytes received : ", 0) == 0;
}

// The calls that change the window, without the transfer progress and the
// filter reads, as "Operation:Text".
std::vector<std::string> WindowChanges(const Window& window) {
  std::vector<std::string> out;
  for (const auto& call : window.Calls) {
    if (call.Operation == "ReadFilterSettings") continue;
    if (call.Operation == "SetStatusText" && IsTransferProgress(call.Text)) continue;
    out.push_back(call.Operation + ":" + call.Text);
  }
  return out;
}

std::vector<std::string> UisFilesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      if (std::string(e->d_name).rfind("uis", 0) == 0) names.push_back(e->d_name);
    }
    ::closedir(d);
  }
  return names;
}

// A loopback port that takes no more connections: its queue of one is
// full, so the system drops every further SYN and a connect waits for an
// answer that never comes, like one to an address that is gone.
class TSilentListener {
 public:
  TSilentListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener_, 0);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(filler_, reinterpret_cast<sockaddr*>(&address), length);
  }
  ~TSilentListener() {
    ::close(filler_);
    ::close(listener_);
  }
  TSilentListener(const TSilentListener&) = delete;
  TSilentListener& operator=(const TSilentListener&) = delete;
  int Port() const { return port_; }

 private:
  int listener_ = -1;
  int filler_ = -1;
  int port_ = 0;
};

class ExtractionJob : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { static movrek::TNetworkStartup network; }

  void SetUp() override { window_.StartEnabled = true; }
  void TearDown() override {
    controller_.reset();  // joins every worker
    EXPECT_EQ(UisFilesIn(job_tmp_.path()), std::vector<std::string>{});
  }

  void StartNginx() {
    MOVREK_REQUIRE_PEER("nginx");
    nginx_.WriteFile("index.html",
                     "<html><body>\n<a href=\"rel/a.html\">A</a>\n"
                     "<a href=\"http://other.test/x\">X</a>\n"
                     "<a href=\"sub/b.html?q=1\">B</a>\n</body></html>\n");
    nginx_.WriteFile("sub/inner.html", "<html><p>in</p><a href=\"x.html\">x</a></html>");
    nginx_.WriteFile("empty.html", "");
    nginx_.AddLocation("location = /moved { return 302 /sub/inner.html; }");
    ASSERT_TRUE(nginx_.Start());
  }

  // Starts a job the way Start does; false when Start refused the list.
  bool Start(std::vector<std::string> lines, TJobSettings settings = NoPauses()) {
    controller_ = std::make_unique<TWindowJobController>(counting_loop_, window_, settings);
    if (!controller_->Button1Click(lines)) return false;
    window_.StartEnabled = false;  // what the window does right after Start
    return true;
  }
  bool RunToIdle() {
    return loop_.RunUntil([&] { return controller_->StartEnabled(); }, kJobTimeout);
  }

  std::vector<std::string> IndexBlock(const std::string& address) {
    const std::string base = nginx_.Url("/");
    return {"#===========#",        "# Links From: " + address, "# Baseurl: " + base,
            "#===========#",        base + "rel/a.html",        "http://other.test/x",
            base + "sub/b.html?q=1"};
  }

  movrek::test::TempDir job_tmp_;
  movrek::test::ScopedEnv tmpdir_{"TMPDIR", job_tmp_.path()};
  movrek::test::TempDir out_dir_;
  movrek::test::NginxServer nginx_;
  TEventLoop loop_;
  TCountingThread counting_loop_{loop_};
  Window window_;
  std::unique_ptr<TWindowJobController> controller_;
};

TEST_F(ExtractionJob, ListsPagesRedirectsAndErrorPagesAndGoesOnAfterFailedFetches) {
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  const std::string index = nginx_.Url("/index.html");
  const std::string missing = nginx_.Url("/missing.html");
  const std::string moved = nginx_.Url("/moved");
  const std::string unresolvable = "http://nothing.invalid/";
  const std::string refused =
      "127.0.0.1:" + std::to_string(movrek::test::UnusedLoopbackPort()) + "/x";
  const std::vector<std::string> lines = {"  " + index + " ", missing, unresolvable, refused,
                                          moved};
  ASSERT_TRUE(Start(lines));
  ASSERT_TRUE(RunToIdle());

  const std::string root = nginx_.Url("/");
  std::vector<std::string> expected;
  auto progress = [&](std::size_t i) {
    expected.push_back("SetProgressLine:" + lines[i] + " [List number: " + std::to_string(i + 1) +
                       ", Total List Items: 5].");
  };
  progress(0);
  expected.push_back("SetStatusText:OK : " + index);
  for (const auto& line : IndexBlock(index)) expected.push_back("AppendResultLine:" + line);
  progress(1);
  expected.push_back("SetStatusText:OK : " + missing);  // an error page is a page
  for (const auto& line : {std::string("#===========#"), "# Links From: " + missing,
                           "# Baseurl: " + root, std::string("#===========#")}) {
    expected.push_back("AppendResultLine:" + line);
  }
  progress(2);
  expected.push_back("SetStatusText:NETWORK ERROR or DOMAIN DOES NOT EXIST. " + unresolvable);
  progress(3);
  expected.push_back("SetStatusText:NETWORK ERROR or DOMAIN DOES NOT EXIST. http://" + refused);
  progress(4);
  expected.push_back("SetStatusText:OK : " + moved);
  // The page address is the one asked for, the base comes from where the
  // redirect led.
  for (const auto& line :
       {std::string("#===========#"), "# Links From: " + moved, "# Baseurl: " + root + "sub/",
        std::string("#===========#"), root + "sub/x.html"}) {
    expected.push_back("AppendResultLine:" + line);
  }
  for (const char* tail : {"ReadSaveTarget:", "EnableStart:", "ClearSaveTarget:",
                           "SetProgressLine:", "SetStatusText:"}) {
    expected.push_back(tail);
  }
  EXPECT_EQ(WindowChanges(window_), expected);
  EXPECT_TRUE(window_.CallsOf("ReportJobError").empty());

  // Every request carried the system's user agent.
  EXPECT_NE(nginx_.WaitForAccessLog("Movrek/Brisvane")
                .find("ua=\"Mozilla/4.0 (compatible; Movrek/Brisvane)\""),
            std::string::npos);
}

TEST_F(ExtractionJob, AListGivenAsTextIsSplitByTheJobAsTheWindowSplitsIt) {
  const std::string refused =
      "127.0.0.1:" + std::to_string(movrek::test::UnusedLoopbackPort()) + "/";
  controller_ = std::make_unique<TWindowJobController>(counting_loop_, window_, NoPauses());
  controller_->Button1ClickOnText(
      [&refused] { return refused + "a\r\n" + refused + "b\r" + refused + "c\n"; });
  ASSERT_TRUE(RunToIdle());
  std::vector<std::string> progress;
  for (const auto& call : window_.CallsOf("SetProgressLine")) progress.push_back(call.Text);
  EXPECT_EQ(progress,
            (std::vector<std::string>{refused + "a [List number: 1, Total List Items: 3].",
                                      refused + "b [List number: 2, Total List Items: 3].",
                                      refused + "c [List number: 3, Total List Items: 3].", ""}));
}

// The window lists a body of any type, so only the list's line and the
// page's <base> can bring control bytes to it.
TEST_F(ExtractionJob, NoControlByteFromAServerOrTheListReachesTheWindow) {
  movrek::test::ScriptedServer based;
  based.ReadRequest()
      .Send(movrek::test::HttpResponse(
          "200 OK", "<base href=\"http://b.example/\x1b]0;t\x07/\"><a href=l>l</a>",
          "Connection: close\r\n"))
      .Close();
  based.Start();
  ASSERT_TRUE(Start({based.Url("/b?\x1b[2J\xC2\x9B")}));
  ASSERT_TRUE(RunToIdle());
  const std::string line = based.Url("/b??[2J?");
  const std::vector<std::string> changes = WindowChanges(window_);
  const std::vector<std::string> expected = {
      "SetProgressLine:" + line + " [List number: 1, Total List Items: 1].",
      "SetStatusText:OK : " + line,
      "AppendResultLine:#===========#",
      "AppendResultLine:# Links From: " + line,
      "AppendResultLine:# Baseurl: http://b.example/?]0;t?/",
      "AppendResultLine:#===========#",
      "AppendResultLine:http://b.example/%1B]0;t%07/l"};
  ASSERT_GE(changes.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(changes.begin(), changes.begin() + 7), expected);
}

TEST_F(ExtractionJob, ProgressCountsEveryByteOfTheUrlAgainstTheAnnouncedBody) {
  std::string page = "<html>";
  for (int i = 0; i < 20000; ++i) page += "<p>filler</p>\n";
  nginx_.WriteFile("big.html", page + "</html>");
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  ASSERT_TRUE(Start({nginx_.Url("/big.html")}));
  ASSERT_TRUE(RunToIdle());
  std::vector<std::string> progress;
  for (const auto& call : window_.CallsOf("SetStatusText")) {
    if (IsTransferProgress(call.Text)) progress.push_back(call.Text);
  }
  // The first read holds the head, before the body's size is known; later
  // reads show a share of it that counts the head too, so it ends at 100 or above.
  ASSERT_GE(progress.size(), 2u);
  EXPECT_EQ(progress.front().rfind("Bytes received : ", 0), 0u) << progress.front();
  ASSERT_EQ(progress.back().back(), '%');
  EXPECT_GE(std::stoi(progress.back()), 100) << progress.back();
}

TEST_F(ExtractionJob, FetchesHttpsThroughTheTlsPluginChosenAtStartUp) {
  nginx_.EnableTls();
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  const std::string index = nginx_.TlsUrl("/index.html");
  ASSERT_TRUE(Start({index}));
  ASSERT_TRUE(RunToIdle());
  const std::string base = nginx_.TlsUrl("/");
  EXPECT_EQ(window_.ResultLines,
            (std::vector<std::string>{"#===========#", "# Links From: " + index,
                                      "# Baseurl: " + base, "#===========#", base + "rel/a.html",
                                      "http://other.test/x", base + "sub/b.html?q=1"}));
}

TEST_F(ExtractionJob, APageWithoutAnyElementDoesNotEndTheJob) {
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  const std::string empty = nginx_.Url("/empty.html");
  const std::string index = nginx_.Url("/index.html");
  ASSERT_TRUE(Start({empty, index}));
  ASSERT_TRUE(RunToIdle());
  std::vector<std::string> expected = {"#===========#", "# Links From: " + empty,
                                       "# Baseurl: " + nginx_.Url("/"), "#===========#"};
  for (const auto& line : IndexBlock(index)) expected.push_back(line);
  EXPECT_EQ(window_.ResultLines, expected);
  EXPECT_TRUE(window_.CallsOf("ReportJobError").empty());
}

// Each hostile answer fails its own page on the status bar, with no lines;
// the job goes on. The page file may not grow past 64 KiB, as on a full disk.
TEST_F(ExtractionJob, HostileAnswersFailOnlyTheirOwnPage) {
  const std::string page = "<a href=\"/next.html\">n</a>";
  const std::string early = "HTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n";
  const std::pair<std::string, std::string> answers[] = {
      {"/interim",
       [&] {
         std::string many;
         for (int i = 0; i < 17; ++i) many += early;
         return many + movrek::test::HttpResponse("200 OK", page);
       }()},
      {"/codings", movrek::test::HttpResponse("200 OK", page,
                                              "Content-Encoding: gzip,gzip,gzip,gzip,gzip,gzip,"
                                              "gzip,gzip,gzip\r\n")},
      {"/full", movrek::test::HttpResponse("200 OK", page + std::string(100000, ' '))},
      {"/early", early + movrek::test::HttpResponse("200 OK", page)},
  };
  movrek::test::ScriptedServer server;
  std::vector<std::string> lines;
  for (const auto& [path, answer] : answers) {
    server.ReadRequest().Send(answer).Close().NextConnection();
    lines.push_back(server.Url(path));
  }
  server.Start();
  const movrek::test::ScopedFileSizeLimit full(64 << 10);
  ASSERT_TRUE(Start(lines));
  ASSERT_TRUE(RunToIdle());
  std::vector<std::string> statuses;
  for (const auto& call : window_.CallsOf("SetStatusText")) {
    if (!call.Text.empty() && !IsTransferProgress(call.Text)) statuses.push_back(call.Text);
  }
  const std::vector<std::string> expected = {"GENERAL ERROR. " + lines[0],
                                             "GENERAL ERROR. " + lines[1],
                                             "GENERAL ERROR. " + lines[2], "OK : " + lines[3]};
  EXPECT_EQ(statuses, expected);
  EXPECT_EQ(window_.ResultLines,
            (std::vector<std::string>{"#===========#", "# Links From: " + lines[3],
                                      "# Baseurl: " + server.Url("/"), "#===========#",
                                      server.Url("/next.html")}));
  EXPECT_TRUE(window_.CallsOf("ReportJobError").empty());
}

TEST_F(ExtractionJob, FilterModesKeepOrDropLinksByTheirOwnText) {
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  const std::string index = nginx_.Url("/index.html");
  const std::string base = nginx_.Url("/");
  const struct {
    bool enabled;
    int mode;
    std::string keyword;
    std::vector<std::string> links;
  } cases[] = {
      {false, 0, "other", {base + "rel/a.html", "http://other.test/x", base + "sub/b.html?q=1"}},
      {true, 0, "other", {"http://other.test/x"}},
      {true, 1, "other", {base + "rel/a.html", base + "sub/b.html?q=1"}},
      {true, 0, "127.0.0.1", {}},  // only in the base: relative links are dropped
      {true, 0, "OTHER", {}},      // letter case matters
      {true, 2, "", {base + "rel/a.html", "http://other.test/x", base + "sub/b.html?q=1"}},
  };
  for (const auto& c : cases) {
    window_ = Window();
    window_.StartEnabled = true;
    window_.Filter = {c.enabled, c.mode, c.keyword};
    ASSERT_TRUE(Start({index}));
    ASSERT_TRUE(RunToIdle());
    ASSERT_GE(window_.ResultLines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(window_.ResultLines.begin() + 4, window_.ResultLines.end()),
              c.links)
        << "filter " << c.enabled << " mode " << c.mode << " keyword " << c.keyword;
  }
}

TEST_F(ExtractionJob, AFilterChangeDuringTheJobAppliesToLaterLinks) {
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  const std::string index = nginx_.Url("/index.html");
  int reads = 0;
  window_.OnReadFilter = [&](Window& window) {
    if (++reads == 2) window.Filter = {true, 0, "other"};
  };
  ASSERT_TRUE(Start({index, index}));
  ASSERT_TRUE(RunToIdle());
  ASSERT_GE(window_.ResultLines.size(), 5u);
  const std::vector<std::string> second_block(window_.ResultLines.end() - 5,
                                              window_.ResultLines.end());
  EXPECT_EQ(second_block[1], "# Links From: " + index);
  EXPECT_EQ(second_block[4], "http://other.test/x");
}

TEST_F(ExtractionJob, CompletionSavesTheResultListWithCrLfOnceAndClearsTheTarget) {
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  const std::string index = nginx_.Url("/index.html");
  const std::string target = out_dir_.File("links.txt");
  window_.ResultLines = {"typed by hand"};
  window_.SaveTarget = target;
  window_.SaveLabelVisible = true;
  ASSERT_TRUE(Start({index}));
  ASSERT_TRUE(RunToIdle());
  std::string expected = "typed by hand\r\n";
  for (const auto& line : IndexBlock(index)) expected += line + "\r\n";
  EXPECT_EQ(movrek::test::ReadFileText(target), expected);
  EXPECT_EQ(window_.SaveTarget, "");
  EXPECT_FALSE(window_.SaveLabelVisible);

  // The target is used once: a second job saves nothing.
  ::unlink(target.c_str());
  ASSERT_TRUE(Start({index}));
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(window_.CallsOf("SaveResultList").size(), 1u);
}

TEST_F(ExtractionJob, StartRefusesAnEmptyListAndRunsAnEmptyJobToCompletion) {
  EXPECT_FALSE(Start({}));
  EXPECT_TRUE(window_.Calls.empty());

  const std::string target = out_dir_.File("empty.txt");
  window_.SaveTarget = target;
  ASSERT_TRUE(Start({"ab", "", "\t"}));  // every line shorter than 3 characters
  ASSERT_TRUE(RunToIdle());
  EXPECT_EQ(WindowChanges(window_),
            (std::vector<std::string>{
                "ReadSaveTarget:" + target, "SaveResultList:" + target,
                "EnableStart:", "ClearSaveTarget:", "SetProgressLine:", "SetStatusText:"}));
  EXPECT_EQ(movrek::test::ReadFileText(target), "");
  EXPECT_EQ(::access(target.c_str(), F_OK), 0);
}

TEST_F(ExtractionJob, ATemporaryFileErrorEndsTheJobWithCompletionAndAReport) {
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  const std::string gone = job_tmp_.File("gone");
  tmpdir_.Set(gone);
  const std::string target = out_dir_.File("partial.txt");
  window_.SaveTarget = target;
  const std::string index = nginx_.Url("/index.html");
  ASSERT_TRUE(Start({nginx_.Url("/missing.html"), index}));
  ASSERT_TRUE(RunToIdle());
  tmpdir_.Set(job_tmp_.path());

  const auto reports = window_.CallsOf("ReportJobError");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Line, 1);
  EXPECT_NE(reports[0].Text.find("Cannot create a temporary file in " + gone + "/"),
            std::string::npos)
      << reports[0].Text;
  // The second URL was never started, the completion ran (save included).
  for (const auto& call : window_.CallsOf("SetProgressLine")) {
    EXPECT_EQ(call.Text.find("List number: 2"), std::string::npos);
  }
  EXPECT_EQ(window_.CallsOf("SaveResultList").size(), 1u);
  EXPECT_TRUE(window_.StartEnabled);
  EXPECT_EQ(window_.StatusText, "");
  EXPECT_EQ(window_.ProgressLine, "");
}

TEST_F(ExtractionJob, AFailedSaveIsReportedWithTheFileAndTheWindowReturnsToIdle) {
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  const std::string target = out_dir_.File("no/such/folder/links.txt");
  window_.SaveTarget = target;
  const std::string index = nginx_.Url("/index.html");
  ASSERT_TRUE(Start({index}));
  ASSERT_TRUE(RunToIdle());
  const auto reports = window_.CallsOf("ReportJobError");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].Text.find(target), std::string::npos) << reports[0].Text;
  EXPECT_NE(reports[0].Text.find("No such file or directory"), std::string::npos)
      << reports[0].Text;
  EXPECT_EQ(window_.ResultLines, IndexBlock(index));
  EXPECT_TRUE(window_.StartEnabled);
  EXPECT_EQ(window_.SaveTarget, "");
}

TEST_F(ExtractionJob, AbortDuringASlowTransferKeepsLinesSavesNothingAndChangesNothingLater) {
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  movrek::test::ScriptedServer slow;
  slow.ReadRequest()
      .Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n")
      .SendSplit(movrek::test::PatternBytes(100000), 500, 20);
  slow.Start();
  const std::string index = nginx_.Url("/index.html");
  const std::string target = out_dir_.File("never.txt");
  window_.SaveTarget = target;
  ASSERT_TRUE(Start({index, slow.Url("/slow.html"), index}));
  ASSERT_TRUE(loop_.RunUntil(
      [&] {
        return window_.ProgressLine.find("List number: 2") != std::string::npos &&
               IsTransferProgress(window_.StatusText);
      },
      kJobTimeout));

  const std::size_t before = window_.Calls.size();
  controller_->Button5Click();
  const std::vector<Window::Call> abort_calls(window_.Calls.begin() + before, window_.Calls.end());
  ASSERT_EQ(abort_calls.size(), 4u);
  EXPECT_EQ(abort_calls[0].Operation, "EnableStart");
  EXPECT_EQ(abort_calls[1].Operation, "ClearSaveTarget");
  EXPECT_EQ(abort_calls[2].Operation + ":" + abort_calls[2].Text, "SetProgressLine:");
  EXPECT_EQ(abort_calls[3].Operation + ":" + abort_calls[3].Text, "SetStatusText:");
  EXPECT_TRUE(controller_->StartEnabled());

  // The worker stops at its next receive; whatever it queued, nothing more
  // reaches the window and the completion never runs.
  EXPECT_TRUE(controller_->WaitForWorkers(kJobTimeout));
  loop_.RunUntil([] { return false; }, 200ms);
  EXPECT_EQ(window_.Calls.size(), before + 4);
  EXPECT_EQ(window_.ResultLines, IndexBlock(index));
  EXPECT_TRUE(window_.CallsOf("SaveResultList").empty());
  EXPECT_TRUE(window_.CallsOf("ReportJobError").empty());
  EXPECT_EQ(::access(target.c_str(), F_OK), -1);
}

// Both cases stop a job while its worker pauses after saving the page, with
// the page file and its name file in place; `cleanup` is the window's move.
struct PageFileCase {
  const char* name;
  std::function<void(TWindowJobController&)> cleanup;
};

class ExtractionJobWithPageFile : public ExtractionJob,
                                  public ::testing::WithParamInterface<PageFileCase> {};

TEST_P(ExtractionJobWithPageFile, StoppingTheJobRemovesTheTemporaryFiles) {
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  const std::string index = nginx_.Url("/index.html");
  ASSERT_TRUE(Start({index}, TJobSettings{}));  // with the 500 ms pause after saving the page
  ASSERT_TRUE(loop_.RunUntil([&] { return window_.StatusText == "OK : " + index; }, kJobTimeout));
  for (int i = 0; i < 200 && UisFilesIn(job_tmp_.path()).size() < 2; ++i) {
    std::this_thread::sleep_for(2ms);
  }
  ASSERT_EQ(UisFilesIn(job_tmp_.path()).size(), 2u);
  GetParam().cleanup(*controller_);
  EXPECT_EQ(UisFilesIn(job_tmp_.path()), std::vector<std::string>{});
  EXPECT_TRUE(window_.ResultLines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractionJobWithPageFile,
    ::testing::Values(PageFileCase{"AbortThenWaitForTheWorker",
                                   [](TWindowJobController& controller) {
                                     controller.Button5Click();
                                     EXPECT_TRUE(controller.WaitForWorkers(kJobTimeout));
                                   }},
                      // A front end that leaves: Shutdown waits for the worker.
                      PageFileCase{
                          "ShutdownWaitsForTheWorker",
                          [](TWindowJobController& controller) { controller.Shutdown(); }}),
    [](const ::testing::TestParamInfo<PageFileCase>& p) { return std::string(p.param.name); });

TEST_F(ExtractionJob, APageOfManyLinksReachesTheWindowWholeInFewHandOffs) {
  constexpr int kLinks = 10000;
  std::string page = "<html><body>\n";
  for (int i = 0; i < kLinks; ++i) page += "<a href=\"p" + std::to_string(i) + ".html\">p</a>\n";
  nginx_.WriteFile("many.html", page + "</body></html>\n");
  ASSERT_NO_FATAL_FAILURE(StartNginx());
  if (IsSkipped()) return;
  ASSERT_TRUE(Start({nginx_.Url("/many.html")}));
  ASSERT_TRUE(RunToIdle());
  ASSERT_EQ(window_.ResultLines.size(), 4u + kLinks);
  for (int i = 0; i < kLinks; ++i) {
    ASSERT_EQ(window_.ResultLines[4 + i], nginx_.Url("/p" + std::to_string(i) + ".html"));
  }
  EXPECT_LT(counting_loop_.HandOffs.load(), 200);
}

TEST_F(ExtractionJob, AbortEndsAConnectToAnAddressThatNeverAnswers) {
  TSilentListener silent;
  const std::string line = "http://127.0.0.1:" + std::to_string(silent.Port()) + "/x";
  ASSERT_TRUE(Start({line}));
  ASSERT_TRUE(loop_.RunUntil([&] { return !window_.ProgressLine.empty(); }, kJobTimeout));
  std::this_thread::sleep_for(300ms);  // well into the connect
  const auto start = std::chrono::steady_clock::now();
  controller_->Button5Click();
  EXPECT_TRUE(controller_->WaitForWorkers(kJobTimeout));
  // The connect waits in slices of 100 ms; the system's own time-out would
  // take minutes.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(window_.CallsOf("SetStatusText").size(), 1u);  // the reset only
}

// A name server that never answers holds the worker in its lookup; Abort
// and Shutdown end it within a slice or two, not at the resolver's time-out.
TEST_F(ExtractionJob, AbortAndShutdownEndAHangingLookup) {
  for (const bool shutdown : {false, true}) {
    movrek::test::SilentNameServer server;
    TJobSettings settings = NoPauses();
    settings.NameServers = {server.Address(), 60000};
    ASSERT_TRUE(Start({"http://no-such-host.example/x"}, settings));
    for (int i = 0; i < 2000 && server.Dropped() == 0; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_GT(server.Dropped(), 0);
    const auto start = std::chrono::steady_clock::now();
    if (shutdown) {
      controller_->Shutdown();
    } else {
      controller_->Button5Click();  // includes its 100 ms pause
      EXPECT_TRUE(controller_->WaitForWorkers(kJobTimeout));
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 200ms) << shutdown;
    std::printf("%s during a hanging lookup: %lld ms to idle\n", shutdown ? "Shutdown" : "Abort",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_EQ(UisFilesIn(job_tmp_.path()), std::vector<std::string>{});
  }
}

TEST_F(ExtractionJob, AbortWhileIdleDoesNothing) {
  controller_ = std::make_unique<TWindowJobController>(counting_loop_, window_, NoPauses());
  controller_->Button5Click();
  EXPECT_TRUE(window_.Calls.empty());

  // Nor after a job has completed.
  ASSERT_TRUE(Start({"ab"}));
  ASSERT_TRUE(RunToIdle());
  const std::size_t after_job = window_.Calls.size();
  controller_->Button5Click();
  EXPECT_EQ(window_.Calls.size(), after_job);
}

}  // namespace
