// The command line of movrek-cli.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/option_table.h"
#include "tests/helpers/peers.h"

namespace {

using movrek::cli::ParseCommandLine;
using movrek::cli::TCliOptions;
using movrek::cli::TValueKind;

TEST(CliOptions, AcceptedCommandLines) {
  TCliOptions o;
  ASSERT_EQ(ParseCommandLine({"--not-having", "ads", "--save", "out.txt", "--no-delay", "urls",
                              "HTTPS://h/a", "-", "ftp://h/", "a://b"},
                             o),
            "");
  EXPECT_FALSE(o.Engine.Filter.Passes("/ads/1"));
  EXPECT_TRUE(o.Engine.Filter.Passes("/news/1"));
  EXPECT_EQ(o.SaveFile, "./out.txt");
  EXPECT_FALSE(o.Engine.Job.Pauses);
  // Addresses and lists in the order given.
  std::string inputs;
  for (const auto& input : o.Inputs) {
    inputs += (input.IsAddress ? "@" : "") + input.Text + " ";
  }
  EXPECT_EQ(inputs, "urls @HTTPS://h/a - @ftp://h/ @a://b ");

  TCliOptions p;
  ASSERT_EQ(ParseCommandLine({"--having=x", "--proxy", "[::1]:3128", "--proxy-user", "u:p:w",
                              "--socks=127.0.0.1:1080", "--socks4", "--socks-user", "id",
                              "--pauses", "--", "--file"},
                             p),
            "");
  EXPECT_TRUE(p.Engine.Filter.Passes("/x"));
  EXPECT_FALSE(p.Engine.Filter.Passes("/y"));
  EXPECT_TRUE(p.Engine.Job.Pauses);
  EXPECT_EQ(p.Engine.Job.Proxy.ProxyHost, "::1");
  EXPECT_EQ(p.Engine.Job.Proxy.ProxyPort, "3128");
  EXPECT_EQ(p.Engine.Job.Proxy.ProxyUser, "u");
  EXPECT_EQ(p.Engine.Job.Proxy.ProxyPass, "p:w");
  EXPECT_EQ(p.Engine.Job.Proxy.SocksIP, "127.0.0.1");
  EXPECT_EQ(p.Engine.Job.Proxy.SocksPort, "1080");
  EXPECT_EQ(p.Engine.Job.Proxy.SocksType, movrek::ST_Socks4);
  EXPECT_EQ(p.Engine.Job.Proxy.SocksUsername, "id");
  EXPECT_EQ(p.Engine.Job.Proxy.SocksPassword, "");
  ASSERT_EQ(p.Inputs.size(), 1u);
  EXPECT_EQ(p.Inputs[0].Text, "--file");

  TCliOptions conventions;
  ASSERT_EQ(ParseCommandLine({"-j", "4", "-q", "-o", "out", "-A", "a/1", "-H", "X-A: 1", "-H",
                              "accept:", "--filter-href", "--no-fragments", "-V"},
                             conventions),
            "");
  EXPECT_EQ(conventions.Engine.Jobs, 4);
  EXPECT_TRUE(conventions.Quiet && conventions.Version);
  EXPECT_TRUE(conventions.Engine.FilterOnHref && conventions.Engine.DropFragments);
  EXPECT_EQ(conventions.OutputFile, "out");
  EXPECT_EQ(conventions.Engine.Job.UserAgent, "a/1");
  EXPECT_EQ(conventions.Engine.Job.HeaderOverrides,
            (std::vector<std::string>{"X-A: 1", "accept:"}));

  TCliOptions short_name;
  ASSERT_EQ(ParseCommandLine({"--save", "a"}, short_name), "");
  EXPECT_EQ(short_name.SaveFile, "./a");  // a target of up to 3 characters would be ignored
  ASSERT_EQ(ParseCommandLine({"--save", "/tmp/a"}, short_name), "");
  EXPECT_EQ(short_name.SaveFile, "/tmp/a");

  TCliOptions q;
  ASSERT_EQ(ParseCommandLine({}, q), "");
  EXPECT_TRUE(q.Engine.Filter.Empty());
  EXPECT_EQ(q.Engine.Jobs, 4);
  EXPECT_EQ(q.Engine.PerHost, 4);
  EXPECT_EQ(q.Format, movrek::TResultFormat::Text);
  EXPECT_TRUE(q.Engine.Job.VerifyCertificates);
  TCliOptions servers;
  ASSERT_EQ(ParseCommandLine({"--dns-servers", "192.0.2.1:5353,::1,[::1]:53"}, servers), "");
  EXPECT_EQ(servers.Engine.Job.NameServers.Addresses, "192.0.2.1:5353,::1,[::1]:53");
  TCliOptions insecure;
  ASSERT_EQ(ParseCommandLine({"-k"}, insecure), "");
  EXPECT_FALSE(insecure.Engine.Job.VerifyCertificates);

  TCliOptions r;
  ASSERT_EQ(ParseCommandLine({"--jobs", "64", "--per-host=1", "--max-time", "2.5", "--format",
                              "jsonl", "--unique", "--verify"},
                             r),
            "");
  EXPECT_EQ(r.Engine.Jobs, 64);
  EXPECT_EQ(r.Engine.PerHost, 1);
  EXPECT_EQ(r.Engine.MaxTime.count(), 2500);
  EXPECT_EQ(r.Format, movrek::TResultFormat::Jsonl);
  EXPECT_TRUE(r.Unique);
  EXPECT_TRUE(r.Engine.Job.VerifyCertificates);
  EXPECT_TRUE(q.Inputs.empty());
  EXPECT_FALSE(q.Engine.Job.Pauses);
  EXPECT_TRUE(q.Engine.Job.Proxy.ProxyHost.empty());
  EXPECT_TRUE(q.Engine.Job.Proxy.SocksIP.empty());
  EXPECT_EQ(q.Progress, movrek::cli::TProgressMode::Auto);

  TCliOptions s;
  ASSERT_EQ(ParseCommandLine({"--with-status", "--format=tsv", "--quiet", "--progress"}, s), "");
  EXPECT_TRUE(s.WithStatus);
  EXPECT_TRUE(s.Quiet);
  EXPECT_EQ(s.Progress, movrek::cli::TProgressMode::On);
  ASSERT_EQ(ParseCommandLine({"--no-progress", "--version"}, s), "");
  EXPECT_EQ(s.Progress, movrek::cli::TProgressMode::Off);
  EXPECT_TRUE(s.Version);
}

TEST(CliOptions, ConnectionRetryAndTimeOptions) {
  TCliOptions d;
  ASSERT_EQ(ParseCommandLine({}, d), "");
  EXPECT_TRUE(d.Engine.Fetch.KeepAlive);
  EXPECT_EQ(d.Engine.Fetch.Retries, 2);
  EXPECT_EQ(d.Engine.Fetch.MaxRetryWait.count(), 120000);
  EXPECT_EQ(d.Engine.Fetch.Delay.count(), 0);
  EXPECT_EQ(d.Engine.MaxTime.count(), 300000);
  EXPECT_EQ(d.Engine.Fetch.MinSpeedBytes, 1024);
  EXPECT_EQ(d.Engine.Fetch.MinSpeedWindow.count(), 30000);

  TCliOptions o;
  ASSERT_EQ(ParseCommandLine({"--no-keep-alive", "--retries", "0", "--max-retry-wait=0.5",
                              "--delay", "300", "--min-speed", "10/1.5", "--max-time", "0"},
                             o),
            "");
  EXPECT_FALSE(o.Engine.Fetch.KeepAlive);
  EXPECT_EQ(o.Engine.Fetch.Retries, 0);
  EXPECT_EQ(o.Engine.Fetch.MaxRetryWait.count(), 500);
  EXPECT_EQ(o.Engine.Fetch.Delay.count(), 300);
  EXPECT_EQ(o.Engine.Fetch.MinSpeedBytes, 10);
  EXPECT_EQ(o.Engine.Fetch.MinSpeedWindow.count(), 1500);
  EXPECT_EQ(o.Engine.MaxTime.count(), 0);
  ASSERT_EQ(ParseCommandLine({"--min-speed", "0"}, o), "");
  EXPECT_EQ(o.Engine.Fetch.MinSpeedBytes, 0);
}

TEST(CliOptions, BodySettings) {
  TCliOptions defaults;
  ASSERT_EQ(ParseCommandLine({}, defaults), "");
  EXPECT_TRUE(defaults.Engine.Job.PagesOnly);
  EXPECT_TRUE(defaults.Engine.Job.RequestCompression);
  EXPECT_EQ(defaults.Engine.Job.MaxBodyBytes, std::int64_t{64} << 20);
  TCliOptions o;
  ASSERT_EQ(ParseCommandLine({"--any-type", "--no-compression", "--max-size=0"}, o), "");
  EXPECT_FALSE(o.Engine.Job.PagesOnly);
  EXPECT_FALSE(o.Engine.Job.RequestCompression);
  EXPECT_EQ(o.Engine.Job.MaxBodyBytes, 0);
  const struct {
    const char* text;
    std::int64_t bytes;
  } sizes[] = {{"123", 123}, {"2k", 2048}, {"64M", 64 << 20}, {"1024G", std::int64_t{1} << 40}};
  for (const auto& size : sizes) {
    ASSERT_EQ(ParseCommandLine({"--max-size", size.text}, o), "") << size.text;
    EXPECT_EQ(o.Engine.Job.MaxBodyBytes, size.bytes) << size.text;
  }
}

TEST(CliOptions, UsageErrors) {
  const std::vector<std::vector<std::string>> bad = {
      {"--having"},
      {"--match", "a(b"},
      {"--jobs", "0"},
      {"--jobs", "65"},
      {"--per-host", "x"},
      {"--max-time", "86401"},
      {"--max-time", "-1"},
      {"--format", "xml"},
      {"--unique=1"},
      {"--save"},
      {"--save="},
      {"--frobnicate"},
      {"-x"},
      {"--proxy", "host"},
      {"--proxy", "host:0"},
      {"--proxy", "host:70000"},
      {"--proxy", ":8080"},
      {"--proxy", "::1:8080"},
      {"--socks", "h:x"},
      {"--dns-servers", "ns.example"},
      {"--dns-servers", "192.0.2.1,"},
      {"--dns-servers", "192.0.2.1:0"},
      {"--dns-servers", "::1:53:x"},
      {"--dns-servers", "[::1]53"},
      {"--proxy-user", "u:p"},
      {"--socks4"},
      {"--socks-user", "u:p"},
      {"--no-delay=1"},
      {"--no-keep-alive=1"},
      {"--retries", "11"},
      {"--retries", "-1"},
      {"--max-retry-wait", "x"},
      {"--delay", "600001"},
      {"--delay", "-5"},
      {"--min-speed", "1024"},
      {"--min-speed", "0/30"},
      {"--min-speed", "1024/0"},
      {"--min-speed", "1024/"},
      {"--with-status"},
      {"--format", "jsonl", "--with-status"},
      {"--quiet=yes"},
      {"--max-size", "1.5M"},
      {"--max-size", "M"},
      {"--max-size", "-1"},
      {"--max-size", "2T"},
      {"--max-size", "1025G"},
      {"--any-type=1"},
      {"-H", "no colon"},
      {"-H", "a b: c"},
      {"-H", ": c"},
      {"-H", "X: a\r\nY: b"},
      {"-A", "a\nb"},
      {"-o", ""},
  };
  for (const auto& args : bad) {
    TCliOptions o;
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_NE(ParseCommandLine(args, o), "") << joined;
  }
  // A bad pattern is named, with RE2's reason.
  TCliOptions o;
  EXPECT_EQ(ParseCommandLine({"--not-match", "a(b"}, o),
            "bad regular expression 'a(b': missing ): a(b");
}

// The names on the man page's bold lines, "\-" read as "-".
std::set<std::string> ManPageNames() {
  std::istringstream lines(movrek::test::ReadFileText(MOVREK_MAN_DIR "/movrek-cli.1"));
  std::set<std::string> names;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(".B", 0) != 0) continue;
    for (std::size_t at; (at = line.find("\\-")) != std::string::npos;) line.erase(at, 1);
    std::istringstream words(line);
    for (std::string word; words >> word;) {
      word.erase(0, word.find_first_not_of('"'));
      if (word.size() > 1 && word[0] == '-')
        names.insert(word.substr(0, word.find_first_of("\",")));
    }
  }
  return names;
}

// Each numeric option refuses the value just outside its range and takes its
// edges, and --help states the range it enforces; every option is in --help
// and on the man page.
TEST(CliOptions, TableRangesHelpAndManPage) {
  const std::string help = movrek::cli::UsageText();
  const std::set<std::string> man = ManPageNames();
  for (const auto& option : movrek::cli::OptionTable()) {
    const std::string name = option.Name;
    const std::string shortName = option.ShortName;
    const std::string listed = "\n  " + (shortName.empty() ? "" : shortName + ", ") + name;
    EXPECT_NE(help.find(listed), std::string::npos) << name;
    EXPECT_EQ(man.count(name), 1u) << name;
    if (option.Kind != TValueKind::Integer && option.Kind != TValueKind::Seconds &&
        option.Kind != TValueKind::Size && option.Kind != TValueKind::Rate) {
      continue;
    }
    // Rate: the range is BYTES'.
    const std::string tail = option.Kind == TValueKind::Rate ? "/30" : "";
    const struct {
      std::int64_t value;
      bool accepted;
    } edges[] = {
        {option.Low - 1, false}, {option.Low, true}, {option.High, true}, {option.High + 1, false}};
    for (const auto& edge : edges) {
      TCliOptions o;
      const std::string value = std::to_string(edge.value) + tail;
      EXPECT_EQ(ParseCommandLine({name, value}, o),
                edge.accepted ? "" : "option " + name + " needs " + option.Need)
          << name << " " << value;
    }
    if (option.Kind != TValueKind::Size) {  // --help gives sizes in K, M and G
      const std::string text = option.Help;
      EXPECT_NE(text.find(std::to_string(option.Low)), std::string::npos) << name;
      EXPECT_NE(text.find(std::to_string(option.High)), std::string::npos) << name;
    }
  }
}

}  // namespace
