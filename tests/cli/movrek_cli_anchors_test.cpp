// Each link's anchor text and rel as scripts and spreadsheets read them: tsv
// fields, jsonl anchors and csv rows, the csv read back by Python.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/scripted_server.h"

namespace {

using movrek::test::CliRunner;
using movrek::test::ScriptedServer;

struct TAnchorCase {
  std::string markup;  // after the <a href=... of the case
  std::string text;
  std::string rel;
};

const std::vector<TAnchorCase>& AnchorCases() {
  static const std::vector<TAnchorCase> cases = {
      {">  Hello \n\t <b>big</b>   world </a>", "Hello big world", ""},
      {" rel='nofollow ugc'>x</a>", "x", "nofollow ugc"},
      {" rel='a&amp;b'>caf&eacute; &lt;3&#x20;&#10;ok</a>", "caf\xC3\xA9 <3 ok", "a&b"},
      {"><img src=p alt=' the  logo '></a>", "the logo", ""},
      {"><img src=p><img alt=second></a>", "second", ""},
      {"><img alt=ignored> shown </a>", "shown", ""},
      {">x<script>no()</script>y<!-- no --></a>", "xy", ""},
      {">quote\" and, comma</a>", "quote\" and, comma", ""},
      {">open, closed by the next anchor", "open, closed by the next anchor", ""},
      {">" + std::string(400, 'w') + "</a>", std::string(300, 'w'), ""},
      {">" + std::string(200, 'v') + "<i> " + std::string(200, 'v') + "</i></a>",
       std::string(200, 'v') + ' ' + std::string(99, 'v'), ""},
      {"></a>", "", ""},
  };
  return cases;
}

std::string AnchorPage() {
  std::string page = "<!doctype html><title>t</title><p>before";
  for (std::size_t i = 0; i < AnchorCases().size(); ++i) {
    page += "<a href=/" + std::to_string(i) + AnchorCases()[i].markup;
  }
  return page;
}

TEST(MovrekCliAnchors, TextAndRelInEveryFormat) {
  ScriptedServer server;
  server.ReadRequest()
      .Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + AnchorPage())
      .Close()
      .RepeatForever();
  server.Start();
  CliRunner cli;
  const std::string page = server.Url("/p");
  const auto link = [&](std::size_t i) { return server.Url("/" + std::to_string(i)); };
  std::string tsv;
  std::string csv_fields;  // what Python reads from the csv: fields by \x1f, rows by \x1e
  std::string jsonl_anchors;
  for (std::size_t i = 0; i < AnchorCases().size(); ++i) {
    const TAnchorCase& c = AnchorCases()[i];
    tsv += page + '\t' + link(i) + "\t200\t" + c.text + '\t' + c.rel + '\n';
    csv_fields += page + '\x1f' + link(i) + '\x1f' + c.text + '\x1f' + c.rel +
                  "\x1f"
                  "200\x1e";
    std::string text = c.text;  // as JSON writes it
    for (std::size_t at = 0; (at = text.find('"', at)) != std::string::npos; at += 2) {
      text.insert(at, 1, '\\');
    }
    jsonl_anchors += std::string(i > 0 ? "," : "") + R"({"url":")" + link(i) + R"(","text":")" +
                     text + R"(","rel":")" + c.rel + "\"}";
  }
  const struct {
    std::vector<std::string> args;
    std::string expected;  // the whole output, or a part of it for jsonl
  } formats[] = {
      {{"--format", "tsv", "--with-status", "--with-text"}, tsv},
      {{"--format", "jsonl", "--with-text"}, R"("anchors":[)" + jsonl_anchors + "]"},
  };
  for (const auto& format : formats) {
    std::vector<std::string> args = format.args;
    args.push_back(page);
    const auto run = cli.Run(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(movrek::test::Contains(run.out, format.expected))
        << "with " << format.args[1] << ":\n"
        << run.out;
  }
  const std::string csv = cli.File("links.csv");
  const auto run = cli.Run({"--format", "csv", "-o", csv, page});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string script =
      "import csv,sys\n"
      "rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))\n"
      "assert rows[0] == ['page', 'link', 'text', 'rel', 'status'], rows[0]\n"
      "sys.stdout.write(''.join('\\x1f'.join(r) + '\\x1e' for r in rows[1:]))\n";
  std::string output;
  ASSERT_EQ(movrek::test::RunCommand({"python3", "-c", script, csv}, &output), 0) << output;
  EXPECT_EQ(output, csv_fields);
}

TEST(MovrekCliAnchors, WithTextNeedsARecordFormat) {
  CliRunner cli;
  const auto run = cli.Run({"--with-text", "http://127.0.0.1:9/"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(movrek::test::Contains(run.err, "--with-text needs --format tsv, jsonl or csv"));
}

}  // namespace
