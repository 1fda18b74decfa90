// The command line of movrek-cli.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using movrek::cli::ParseCommandLine;
using movrek::cli::TCliOptions;

TEST(CliOptions, AcceptedCommandLines) {
  TCliOptions o;
  ASSERT_EQ(ParseCommandLine({"--not-having", "ads", "--save", "out.txt", "--no-delay", "urls"}, o),
            "");
  EXPECT_TRUE(o.FilterEnabled);
  EXPECT_EQ(o.FilterMode, 1);
  EXPECT_EQ(o.Keyword, "ads");
  EXPECT_EQ(o.SaveFile, "./out.txt");
  EXPECT_FALSE(o.Job.Pauses);
  EXPECT_EQ(o.UrlFile, "urls");

  TCliOptions p;
  ASSERT_EQ(
      ParseCommandLine({"--having=x", "--proxy", "[::1]:3128", "--proxy-user", "u:p:w",
                        "--socks=127.0.0.1:1080", "--socks4", "--socks-user", "id", "--", "--file"},
                       p),
      "");
  EXPECT_EQ(p.FilterMode, 0);
  EXPECT_EQ(p.Keyword, "x");
  EXPECT_TRUE(p.Job.Pauses);
  EXPECT_EQ(p.Job.Proxy.ProxyHost, "::1");
  EXPECT_EQ(p.Job.Proxy.ProxyPort, "3128");
  EXPECT_EQ(p.Job.Proxy.ProxyUser, "u");
  EXPECT_EQ(p.Job.Proxy.ProxyPass, "p:w");
  EXPECT_EQ(p.Job.Proxy.SocksIP, "127.0.0.1");
  EXPECT_EQ(p.Job.Proxy.SocksPort, "1080");
  EXPECT_EQ(p.Job.Proxy.SocksType, movrek::ST_Socks4);
  EXPECT_EQ(p.Job.Proxy.SocksUsername, "id");
  EXPECT_EQ(p.Job.Proxy.SocksPassword, "");
  EXPECT_EQ(p.UrlFile, "--file");

  TCliOptions short_name;
  ASSERT_EQ(ParseCommandLine({"--save", "a"}, short_name), "");
  EXPECT_EQ(short_name.SaveFile, "./a");  // a target of up to 3 characters would be ignored
  ASSERT_EQ(ParseCommandLine({"--save", "/tmp/a"}, short_name), "");
  EXPECT_EQ(short_name.SaveFile, "/tmp/a");

  TCliOptions q;
  ASSERT_EQ(ParseCommandLine({}, q), "");
  EXPECT_FALSE(q.FilterEnabled);
  EXPECT_EQ(q.UrlFile, "");
  EXPECT_TRUE(q.Job.Proxy.ProxyHost.empty());
  EXPECT_TRUE(q.Job.Proxy.SocksIP.empty());
}

TEST(CliOptions, UsageErrors) {
  const std::vector<std::vector<std::string>> bad = {
      {"--having"},
      {"--having", "a", "--not-having", "b"},
      {"--save"},
      {"--save="},
      {"--frobnicate"},
      {"-x"},
      {"a.txt", "b.txt"},
      {"--proxy", "host"},
      {"--proxy", "host:0"},
      {"--proxy", "host:70000"},
      {"--proxy", ":8080"},
      {"--proxy", "::1:8080"},
      {"--socks", "h:x"},
      {"--proxy-user", "u:p"},
      {"--socks4"},
      {"--socks-user", "u:p"},
      {"--no-delay=1"},
  };
  for (const auto& args : bad) {
    TCliOptions o;
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_NE(ParseCommandLine(args, o), "") << joined;
  }
}

}  // namespace
