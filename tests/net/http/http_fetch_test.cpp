#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http/fetch.h"
#include "net/http/http_limits.h"
#include "net/http/http_transaction.h"
#include "net/http/wildcard.h"
#include "tests/helpers/scripted_server.h"

namespace movrek {
namespace {

using test::ScriptedServer;

std::string Redirect(int code, const std::string& location_line) {
  std::string head = "HTTP/1.0 " + std::to_string(code) + " Moved\r\n";
  if (!location_line.empty()) head += location_line + "\r\n";
  return head + "Content-Length: 0\r\n\r\n";
}

std::string RequestLineOf(const std::string& request) {
  return request.substr(0, request.find("\r\n"));
}

std::string WithPort(std::string text, const ScriptedServer& server) {
  const std::string port = std::to_string(server.port());
  for (size_t at = text.find("PORT"); at != std::string::npos; at = text.find("PORT", at)) {
    text.replace(at, 4, port);
  }
  return text;
}

// --- one redirect, every way of naming the target ----------------------------

struct HopCase {
  const char* name;
  int code;
  const char* location_line;  // "PORT" stands for the server's port
  const char* first_path;
  const char* target_path;  // as requested on the second connection
};

class OneRedirect : public ::testing::TestWithParam<HopCase> {};

TEST_P(OneRedirect, IsFollowedToTheResolvedTarget) {
  const HopCase& c = GetParam();
  ScriptedServer server;
  server.ReadRequest().Send(WithPort(Redirect(c.code, c.location_line), server)).Close();
  server.NextConnection();
  server.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\nfinal").Close();
  server.Start();

  THttpTransaction http;
  TUrlInfo info;
  HttpGetFollow(server.Url(c.first_path), &http, false, info);
  ASSERT_TRUE(server.WaitDone(5000)) << server.Problems();
  EXPECT_EQ(info.Status, 0);
  EXPECT_EQ(info.Url, server.Url(c.target_path));
  EXPECT_EQ(http.Document, "final");
  EXPECT_EQ(RequestLineOf(server.Received(1)), "GET " + std::string(c.target_path) + " HTTP/1.0");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OneRedirect,
    ::testing::Values(
        HopCase{"Absolute302", 302, "Location: http://127.0.0.1:PORT/two", "/one", "/two"},
        HopCase{"Absolute301", 301, "Location: http://127.0.0.1:PORT/two", "/", "/two"},
        HopCase{"Absolute307", 307, "Location: http://127.0.0.1:PORT/t?q=1", "/", "/t?q=1"},
        // Correction: relative targets resolve against the address requested.
        HopCase{"RootRelative", 301, "Location: /two?x=1", "/a/b", "/two?x=1"},
        HopCase{"PathRelative", 307, "Location: page.html", "/dir/one.html", "/dir/page.html"},
        HopCase{"DotSegments", 302, "Location: ../up.html", "/a/b/c.html", "/a/up.html"},
        HopCase{"NetworkPath", 302, "Location: //127.0.0.1:PORT/net", "/", "/net"},
        HopCase{"FragmentIsNotRequested", 302, "Location: /doc?a=1#part", "/", "/doc?a=1"},
        // Correction: the name in any letter case, the value trimmed.
        HopCase{"LowerCaseName", 302, "location: /lc", "/", "/lc"},
        HopCase{"UpperCaseNameWithoutBlank", 302, "LOCATION:/uc", "/", "/uc"},
        HopCase{"ValueTrimmed", 302, "Location: \t /trim  ", "/", "/trim"},
        // Correction: 303 and 308 are redirects too.
        HopCase{"SeeOther303", 303, "Location: /303", "/form", "/303"},
        HopCase{"Permanent308", 308, "Location: /308", "/", "/308"},
        // Read as a browser reads it: "\\" as "/", blanks and UTF-8 escaped.
        HopCase{"ReadAsBrowsersDo", 302, "Location: ..\\a b/./\xC3\xA9?q=\xC3\xA9", "/d/e/f",
                "/d/a%20b/%C3%A9?q=%C3%A9"}),
    [](const ::testing::TestParamInfo<HopCase>& p) { return std::string(p.param.name); });

// --- outcomes -----------------------------------------------------------------

struct OutcomeCase {
  const char* name;
  std::string response;
  uint8_t status;
};

class SingleResponse : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(SingleResponse, GivesItsOutcome) {
  const OutcomeCase& c = GetParam();
  ScriptedServer server;
  server.ReadRequest().Send(c.response).Close();
  server.Start();
  THttpTransaction http;
  TUrlInfo info;
  HttpGetFollow(server.Url("/p"), &http, false, info);
  EXPECT_EQ(info.Status, c.status);
  EXPECT_EQ(info.Url, server.Url("/p"));
  EXPECT_TRUE(server.WaitDone(5000));
  EXPECT_EQ(server.Connections(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SingleResponse,
    ::testing::Values(
        OutcomeCase{"Ok", "HTTP/1.0 200 OK\r\n\r\npage", 0},
        OutcomeCase{"NotFoundIsThePage", "HTTP/1.0 404 Not Found\r\n\r\nmissing", 0},
        OutcomeCase{"MultipleChoicesIsNotFollowed", Redirect(300, "Location: /x"), 0},
        OutcomeCase{"RedirectWithoutLocation", Redirect(302, ""), 2},
        OutcomeCase{"ContentLocationIsNoLocation", Redirect(301, "Content-Location: /x"), 2},
        OutcomeCase{"EmptyLocationValue", Redirect(307, "Location:   "), 2},
        OutcomeCase{"BrokenBody", "HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nabc", 1},
        // Only http and https are followed: any other scheme's address sent
        // as an HTTP request would reach what the page never named for it.
        OutcomeCase{"FileSchemeIsNotFollowed", Redirect(302, "Location: file:///etc/passwd"), 3},
        OutcomeCase{"FtpSchemeIsNotFollowed", Redirect(301, "Location: ftp://127.0.0.1:21/"), 3},
        OutcomeCase{"GopherSchemeIsNotFollowed", Redirect(307, "Location: GOPHER://h:70/"), 3}),
    [](const ::testing::TestParamInfo<OutcomeCase>& p) { return std::string(p.param.name); });

TEST(HttpGetFollow, ChainKeepsTheLastAddressAndCarriesCookies) {
  ScriptedServer server;
  server.ReadRequest()
      .Send("HTTP/1.0 301 Moved\r\nSet-Cookie: k=v\r\nLocation: /second\r\n\r\n")
      .Close();
  server.NextConnection();
  server.ReadRequest().Send(Redirect(302, "Location: /third")).Close();
  server.NextConnection();
  server.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\nthird page").Close();
  server.Start();
  THttpTransaction http;
  TUrlInfo info;
  HttpGetFollow(server.Url("/first"), &http, false, info);
  ASSERT_TRUE(server.WaitDone(5000));
  EXPECT_EQ(info.Status, 0);
  EXPECT_EQ(info.Url, server.Url("/third"));
  EXPECT_EQ(http.Document, "third page");
  EXPECT_EQ(http.ResultCode, 200);
  EXPECT_NE(server.Received(2).find("\r\nCookie: k=v\r\n"), std::string::npos);
}

// Correction: the number of hops is bounded.
TEST(HttpGetFollow, StopsAfterTheRedirectLimit) {
  for (int redirects : {kMaxRedirects, kMaxRedirects + 1}) {
    SCOPED_TRACE(redirects);
    ScriptedServer server;
    for (int i = 0; i < redirects; ++i) {
      server.ReadRequest().Send(Redirect(302, "Location: /hop" + std::to_string(i + 1))).Close();
      server.NextConnection();
    }
    server.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\nend").Close();
    server.Start();
    THttpTransaction http;
    TUrlInfo info;
    HttpGetFollow(server.Url("/hop0"), &http, false, info);
    if (redirects == kMaxRedirects) {
      EXPECT_EQ(info.Status, 0);
      EXPECT_EQ(info.Reason, "");
      EXPECT_EQ(info.Url, server.Url("/hop" + std::to_string(redirects)));
      EXPECT_EQ(server.Connections(), static_cast<size_t>(redirects + 1));
    } else {
      EXPECT_EQ(info.Status, 3);
      EXPECT_EQ(info.Reason, "too many redirects (20)");
      EXPECT_EQ(info.Url, server.Url("/hop" + std::to_string(redirects - 1)));
      EXPECT_EQ(server.Connections(), static_cast<size_t>(redirects));
    }
  }
}

TEST(HttpGetFollow, FailingRedirectTargetIsANetworkError) {
  const std::string dead =
      "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/gone";
  ScriptedServer server;
  server.ReadRequest().Send(Redirect(302, "Location: " + dead)).Close();
  server.Start();
  THttpTransaction http;
  TUrlInfo info;
  HttpGetFollow(server.Url("/"), &http, false, info);
  EXPECT_EQ(info.Status, 1);
  EXPECT_EQ(info.Url, dead);
}

TEST(HttpGetFollow, WithoutTransactionLeavesTheResultAlone) {
  TUrlInfo info;
  info.Status = 7;
  info.Url = "untouched";
  HttpGetFollow("http://127.0.0.1/", nullptr, true, info);
  EXPECT_EQ(info.Status, 7);
  EXPECT_EQ(info.Url, "untouched");
}

TEST(HttpGetFollow, TraceReportsEachResponseOnlyWhenAsked) {
  for (bool trace : {false, true}) {
    ScriptedServer server;
    server.ReadRequest().Send("HTTP/1.0 302 Found\r\nLocation: /b\r\n\r\n").Close();
    server.NextConnection();
    server.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n").Close();
    server.Start();
    std::vector<std::string> lines;
    TraceOutput = [&lines](const std::string& text) { lines.push_back(text); };
    THttpTransaction http;
    TUrlInfo info;
    HttpGetFollow(server.Url("/a"), &http, trace, info);
    TraceOutput = nullptr;
    const std::vector<std::string> expected =
        trace ? std::vector<std::string>{"302 Found",
                                         "",
                                         "HTTP/1.0 302 Found\r\nLocation: /b\r\n\r\n",
                                         "",
                                         "200 OK",
                                         "",
                                         "HTTP/1.0 200 OK\r\n\r\n",
                                         ""}
              : std::vector<std::string>{};
    EXPECT_EQ(lines, expected);
  }
}

TEST(PosWild, MatchesQuestionMarksAnywhere) {
  struct Case {
    const char* pattern;
    const char* text;
    int position;
  };
  const Case cases[] = {
      {"?b", "abc", 1},    {"?c", "abc", 2},
      {"a?c", "xxabc", 3}, {"????", "abc", 0},
      {"???", "abc", 1},   {"?", "", 0},
      {"b", "abcb", 2},    {"B", "abc", 0},
      {"", "abc", 0},      {"abcd", "abc", 0},
      {"c?", "abc", 0},    {"?x?", "axbxc", 1},
      {"x?z", "xyxyz", 3}, {"Loc??ion", "Location", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PosWild(c.pattern, c.text), c.position) << c.pattern << " in " << c.text;
  }
}

}  // namespace
}  // namespace movrek
