// movrek-cli's bodies as a user sees them: compression offered unless
// --no-compression, bodies that are no page skipped unless --any-type, the
// cut of --max-size and the reason of a body that cannot be decoded.
#include <gtest/gtest.h>

#include <string>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/scripted_server.h"

namespace {

using movrek::test::CliRun;
using movrek::test::CliRunner;
using movrek::test::Contains;
using movrek::test::ScriptedServer;

std::string Response(const std::string& head, const std::string& body) {
  return "HTTP/1.0 200 OK\r\n" + head + "\r\n" + body;
}

TEST(MovrekCliBodies, OptionsDecideWhatIsAskedForReadAndCut) {
  const struct {
    std::vector<std::string> options;
    std::string head;
    std::string body;
    std::string sent;      // a line the request must (or, with "!", must not) carry
    std::string err_line;  // a line of standard error
    std::string record;    // a part of the jsonl record
  } cases[] = {
      {{},
       "Content-Type: text/html\r\n",
       "<a href=/a>",
       "\r\nAccept-Encoding: gzip, deflate, br, zstd\r\n",
       "OK : ",
       R"("content_type":"text/html","truncated":false)"},
      {{"--no-compression"},
       "",
       "<a href=/a>",
       "!Accept-Encoding",
       "OK : ",
       R"("content_type":null)"},
      {{},
       "Content-Type: application/pdf\r\n",
       "%PDF-",
       "",
       "SKIPPED, NOT HTML (application/pdf). ",
       R"("status":"SKIPPED, NOT HTML.","outcome":"skipped","http_status":200,"reason":null,"base":null)"},
      {{"--any-type"},
       "Content-Type: application/pdf\r\n",
       "<a href=/a>",
       "",
       "OK : ",
       R"("links":["http://)"},
      {{"--max-size", "1K"},
       "",
       "<a href=/a>" + std::string(5000, ' '),
       "",
       "\n  note: body cut at 1024 bytes (--max-size)\n",
       R"("bytes":1024,)"},
      {{},
       "Content-Encoding: br\r\n",
       "not brotli",
       "",
       "GENERAL ERROR. ",
       R"("status":"GENERAL ERROR.","outcome":"failed","http_status":200,"reason":"content decoding failed: )"},
  };
  CliRunner cli;
  for (const auto& c : cases) {
    ScriptedServer server;
    server.ReadRequest().Send(Response(c.head, c.body)).Close();
    server.Start();
    std::vector<std::string> args = {"--no-delay", "--format", "jsonl"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CliRun run = cli.Run(args, server.Url("/p") + "\n");
    EXPECT_EQ(run.status, Contains(run.out, R"("outcome":"failed")") ? 3 : 0) << run.err;
    EXPECT_TRUE(Contains(run.err, c.err_line)) << run.err;
    EXPECT_TRUE(Contains(run.out, c.record)) << run.out;
    server.WaitDone(5000);
    const std::string request = server.Received();
    if (!c.sent.empty() && c.sent[0] == '!') {
      EXPECT_FALSE(Contains(request, c.sent.substr(1))) << request;
    } else {
      EXPECT_TRUE(Contains(request, c.sent)) << request;
    }
  }
  // The reason of the body that could not be decoded.
  ScriptedServer corrupt;
  corrupt.ReadRequest().Send(Response("Content-Encoding: gzip\r\n", "not gzip")).Close();
  corrupt.Start();
  const CliRun run = cli.Run({"--no-delay"}, corrupt.Url("/") + "\n");
  EXPECT_TRUE(
      Contains(run.err, "GENERAL ERROR. " + corrupt.Url("/") +
                            "\n  reason: content decoding failed: gzip: incorrect header check\n"))
      << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace
