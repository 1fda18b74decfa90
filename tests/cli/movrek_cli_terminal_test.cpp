// movrek-cli on a real terminal (a tmux pane): the live line at the bottom
// while pages come, gone at the end; and never a control character when
// standard error is a file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scripted_server.h"

namespace {

using namespace std::chrono_literals;
using movrek::test::CliRun;
using movrek::test::CliRunner;
using movrek::test::Contains;
using movrek::test::HttpResponse;
using movrek::test::ReadFileText;
using movrek::test::RunCommand;
using movrek::test::ScriptedServer;

// A tmux server of its own (a private socket), one pane 100 columns wide.
class TmuxPane {
 public:
  explicit TmuxPane(const movrek::test::TempDir& dir) : socket_(dir.File("tmux.socket")) {}
  ~TmuxPane() { RunCommand({"tmux", "-S", socket_, "kill-server"}); }
  bool Start(const std::string& command) {
    return RunCommand({"tmux", "-S", socket_, "-f", "/dev/null", "new-session", "-d", "-x", "100",
                       "-y", "30", command}) == 0;
  }
  std::string Screen() const {
    std::string screen;
    RunCommand({"tmux", "-S", socket_, "capture-pane", "-p"}, &screen);
    return screen;
  }

 private:
  std::string socket_;
};

// The last line on the screen that is not blank.
std::string LastLine(const std::string& screen) {
  std::istringstream lines(screen);
  std::string line;
  std::string last;
  while (std::getline(lines, line)) {
    if (line.find_first_not_of(' ') != std::string::npos) last = line;
  }
  return last;
}

TEST(MovrekCliTerminal, LiveLineWhileTransfersRunAndSameOutputWithout) {
  MOVREK_REQUIRE_PEER("tmux");
  ScriptedServer slow;  // about two seconds for 100 kB
  slow.ReadRequest()
      .Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n<a href=\"/s\">s</a>")
      .SendSplit(std::string(100000 - 18, ' '), 1000, 20)
      .Close()
      .RepeatForever();
  slow.Start();
  ScriptedServer fast;
  fast.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n<a href=\"/f\">f</a>").Close().RepeatForever();
  fast.Start();
  CliRunner cli;
  const std::string list =
      cli.Write("urls.txt", slow.Url("/slow") + "\n" + fast.Url("/fast") + "\n");
  const std::string out = cli.File("out.txt");
  const std::string done = cli.File("done");
  movrek::test::TempDir dir;
  TmuxPane pane(dir);
  ASSERT_TRUE(pane.Start("TMPDIR=" + cli.tmpdir() + " " + MOVREK_CLI_PATH +
                         " --no-delay --jobs 2 " + list + " >" + out + "; touch " + done +
                         "; sleep 60"));

  // The fast page is done and written while the slow one is in transfer. The
  // slow one's length is known from its second read on: the first read,
  // which brings the head, may be all there was when the fast page ended.
  std::string screen;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!(Contains(LastLine(screen), "1/2 pages, 0 failed, 1 link | 127.0.0.1:") &&
           Contains(LastLine(screen), "%")) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
    screen = pane.Screen();
  }
  const std::string live = LastLine(screen);
  EXPECT_TRUE(Contains(live, "/slow ")) << screen;
  EXPECT_TRUE(Contains(live, "%")) << screen;  // the length is known
  EXPECT_LE(live.size(), 100u);
  EXPECT_FALSE(Contains(screen, "OK : ")) << "the slow page is first in the list:\n" << screen;

  while (::access(done.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
  }
  std::this_thread::sleep_for(100ms);
  screen = pane.Screen();
  EXPECT_TRUE(Contains(LastLine(screen), "2 pages, 2 links, 0 failed, 0 skipped in ")) << screen;
  EXPECT_FALSE(Contains(screen, "/2 pages")) << screen;
  EXPECT_TRUE(Contains(screen, "OK : " + fast.Url("/fast"))) << screen;

  // Byte for byte the same output when standard error is a file, and no
  // control character there; --progress forces the line into the file.
  const CliRun plain = cli.Run({"--no-delay", "--jobs", "2", list});
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.out, ReadFileText(out));
  EXPECT_EQ(plain.err.find_first_of("\r\x1b"), std::string::npos) << plain.err;
  // One page at a time: the slow first page holds the count at 0 for a while.
  const CliRun forced = cli.Run({"--no-delay", "--jobs", "1", "--progress", list});
  EXPECT_EQ(forced.out, plain.out);
  EXPECT_TRUE(Contains(forced.err, "\r0/2 pages, 0 failed, 0 links")) << forced.err;
  EXPECT_TRUE(Contains(forced.err, "\r\x1b[K")) << forced.err;
}

// The first byte that would act on a terminal (C0 but TAB, CR and LF; DEL;
// C1 as UTF-8), npos when there is none.
std::size_t FirstControl(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c0 = c < 0x20 && c != '\t' && c != '\r' && c != '\n';
    const bool c1 = c == 0xC2 && i + 1 < text.size() && (text[i + 1] & 0xE0) == 0x80;
    if (c0 || c == 0x7F || c1) return i;
  }
  return std::string::npos;
}

TEST(MovrekCliTerminal, NoControlByteFromAServerOrTheListReachesAnyOutput) {
  ScriptedServer typed;  // no page, of a media type with a colour escape
  typed.ReadRequest()
      .Send(HttpResponse("200 OK", "x", "Content-Type: text/\x1b[41mred\r\nConnection: close\r\n"))
      .Close()
      .RepeatForever();
  typed.Start();
  ScriptedServer based;  // a <base> holding ESC and BEL
  based.ReadRequest()
      .Send(HttpResponse("200 OK",
                         "<base href=\"http://b.example/\x1b]0;t\x07/\"><a href=\"l\">l</a>",
                         "Content-Type: text/html\r\nConnection: close\r\n"))
      .Close()
      .RepeatForever();
  based.Start();
  CliRunner cli;
  // A list line holding ESC and the C1 CSI.
  const std::string list =
      cli.Write("urls.txt", typed.Url("/t") + "\n" + based.Url("/b?\x1b[2J\xC2\x9B") + "\n");
  const std::string line2 = based.Url("/b?\?[2J?");
  const struct {
    const char* format;
    std::vector<std::string> shown;  // on standard error or standard output
  } cases[] = {
      {"text",
       {"SKIPPED, NOT HTML (text/?[41mred). " + typed.Url("/t"),
        line2 + " [List number: 2, Total List Items: 2].", "OK : " + line2,
        "# Links From: " + line2, "# Baseurl: http://b.example/?]0;t?/"}},
      {"tsv", {"OK : " + line2}},
      {"jsonl", {"OK : " + line2, R"("url":")" + based.Url("/b?\\u001b[2J\\u009b") + "\""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const std::string saved = cli.File(std::string("saved.") + c.format);
    const CliRun run = cli.Run({"--no-delay", "--format", c.format, "--save", saved, list});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const std::string& output : {run.out, run.err, ReadFileText(saved)}) {
      EXPECT_EQ(FirstControl(output), std::string::npos) << output;
    }
    for (const std::string& line : c.shown) {
      EXPECT_TRUE(Contains(run.err + run.out, line)) << line << "\n" << run.err << run.out;
    }
  }
}

}  // namespace
