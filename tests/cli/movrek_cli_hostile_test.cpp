// movrek-cli against hostile servers: an answer that cannot be taken fails
// its own page with a reason, and the run goes on with the next line.
#include <gtest/gtest.h>

#include <string>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/file_size_limit.h"
#include "tests/helpers/scripted_server.h"

namespace {

using movrek::test::CliRun;
using movrek::test::CliRunner;
using movrek::test::Contains;
using movrek::test::HttpResponse;
using movrek::test::ScriptedServer;

const std::string kPage = "<a href=\"/next.html\">n</a>";
const std::string kEarlyHints = "HTTP/1.1 103 Early Hints\r\nLink: </s.css>; rel=preload\r\n\r\n";

std::string Times(const std::string& part, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += part;
  return text;
}

// The line after the hostile one, from a server that behaves.
class GoodServer {
 public:
  GoodServer() {
    server_.ReadRequest().Send(HttpResponse("200 OK", kPage, "Connection: close\r\n")).Close();
    server_.RepeatForever().Start();
  }
  std::string Url() const { return server_.Url("/good"); }

 private:
  ScriptedServer server_;
};

TEST(MovrekCliHostile, EachAnswerFailsOnlyItsOwnPage) {
  const struct {
    const char* name;
    std::string answer;
    std::string err;  // the lines of the hostile page on standard error
  } cases[] = {
      {"early hints before the page", kEarlyHints + HttpResponse("200 OK", kPage), "OK : URL\n"},
      {"interim answers without end", Times(kEarlyHints, 17) + HttpResponse("200 OK", kPage),
       "GENERAL ERROR. URL\n  reason: too many interim answers (17)\n"},
      {"nine content codings",
       HttpResponse("200 OK", kPage, "Content-Encoding: " + Times("gzip, ", 8) + "br\r\n"),
       "GENERAL ERROR. URL\n  reason: too many content codings (9)\n"},
      {"a coding header of 60 KB",
       HttpResponse("200 OK", kPage, "Content-Encoding: br" + Times(",br", 19999) + "\r\n"),
       "GENERAL ERROR. URL\n  reason: too many content codings (20000)\n"},
  };
  const GoodServer good;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server;
    server.ReadRequest().Send(c.answer).Close();
    server.Start();
    CliRunner cli;
    const std::string url = server.Url("/hostile");
    const CliRun run = cli.Run({"--no-delay", "--retries", "0"}, url + "\n" + good.Url() + "\n");
    std::string err = c.err;
    err.replace(err.find("URL"), 3, url);
    EXPECT_TRUE(Contains(run.err, err)) << run.err;
    EXPECT_TRUE(Contains(run.err, "OK : " + good.Url() + "\n")) << run.err;
    // A hostile page is a failure of the run, not the end of it.
    EXPECT_EQ(run.status, Contains(c.err, "OK : ") ? 0 : 3) << run.err;
  }
}

TEST(MovrekCliHostile, APageThatCannotBeStoredIsFailedNotOk) {
  ScriptedServer server;
  // Past what is held in memory, so that it needs its page file.
  server.ReadRequest().Send(HttpResponse("200 OK", kPage + std::string(3 << 20, ' '))).Close();
  server.Start();
  const GoodServer good;
  CliRunner cli;
  const std::string url = server.Url("/big");
  pid_t pid = -1;
  {
    // Room for the small page file, the output and the list, not for the big page.
    const movrek::test::ScopedFileSizeLimit full(64 << 10);
    pid = cli.Spawn({"--no-delay"}, url + "\n" + good.Url() + "\n");
  }
  const CliRun run = cli.Wait(pid);
  EXPECT_FALSE(Contains(run.err, "OK : " + url)) << run.err;
  EXPECT_TRUE(Contains(run.err, "GENERAL ERROR. " + url +
                                    "\n  reason: cannot write the page file: File too large\n"))
      << run.err;
  EXPECT_TRUE(Contains(run.err, "OK : " + good.Url() + "\n")) << run.err;
  EXPECT_TRUE(Contains(run.err, "2 pages, 1 link, 1 failed")) << run.err;
  EXPECT_EQ(movrek::test::FilesIn(cli.tmpdir()), std::vector<std::string>{});
}

}  // namespace
