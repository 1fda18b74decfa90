// Address normalisation, status and progress texts, and the temporary names
// of the per-URL pipeline.
#include "engine/pipeline/process_url.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "engine/window_job/window_job_controller.h"
#include "net/http/fetch.h"
#include "net/http/http_transaction.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scoped_env.h"
#include "tests/helpers/scripted_server.h"

namespace {

using movrek::MakeTempFileName;
using movrek::NormaliseAddress;
using movrek::test::ScopedEnv;

std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    ::closedir(d);
  }
  return names;
}

TEST(NormaliseAddress, TrimsAndAddsSchemeUnlessTheLineStartsWithOne) {
  const struct {
    const char* line;
    const char* address;
  } cases[] = {
      {"  http://a.test/x  ", "http://a.test/x"},
      {"\t\x01https://a.test/\r", "https://a.test/"},
      {"a.test/page", "http://a.test/page"},
      {"HTTP://A.test/Page", "HTTP://A.test/Page"},  // capitals: no prefix, case kept
      {"HttpS://a.test", "HttpS://a.test"},
      {"a.test/go?to=http://b.test/", "http://a.test/go?to=http://b.test/"},
      {"ftp://a.test/f", "http://ftp://a.test/f"},
      {"http:/a.test", "http://http:/a.test"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormaliseAddress(c.line), c.address) << c.line;
}

// A URL line from the list to the peer: the line normalised and fetched
// through a scripted plain proxy, whose absolute request target names the
// host and port the client really meant to reach.
struct UrlLineCase {
  const char* name;
  std::string line;
  std::uint8_t outcome;
  std::string request_line;  // empty: no request may be made
  std::string also_sent;     // a head line the request must carry
};

void PrintTo(const UrlLineCase& c, std::ostream* os) {
  *os << c.name;
}

class UrlLine : public ::testing::TestWithParam<UrlLineCase> {};

TEST_P(UrlLine, ReachesOnlyTheHostItNames) {
  const UrlLineCase& c = GetParam();
  movrek::test::ScriptedServer proxy;
  proxy.ReadRequest().Send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok").Close();
  proxy.Start();
  movrek::THttpTransaction http;
  http.ProxyHost = "127.0.0.1";
  http.ProxyPort = std::to_string(proxy.port());
  movrek::TUrlInfo info;
  movrek::HttpGetFollow(NormaliseAddress(c.line), &http, false, info);
  EXPECT_EQ(info.Status, c.outcome) << http.Sock->LastErrorText;
  if (c.request_line.empty()) {
    EXPECT_EQ(proxy.Connections(), 0u);
    return;
  }
  ASSERT_TRUE(proxy.WaitDone(5000)) << proxy.Problems();
  const std::string request = proxy.Received();
  EXPECT_EQ(request.substr(0, request.find("\r\n")), c.request_line);
  EXPECT_NE(request.find("\r\n" + c.also_sent + "\r\n"), std::string::npos) << request;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UrlLine,
    ::testing::Values(
        UrlLineCase{"SchemeInTheQuery", "127.0.0.1:8080/go?next=http://other.host/x", 0,
                    "GET http://127.0.0.1:8080/go?next=http://other.host/x HTTP/1.0",
                    "Host: 127.0.0.1:8080"},
        UrlLineCase{"AtSignInTheQuery", "a.test?to=b@other.host", 0,
                    "GET http://a.test:80/?to=b@other.host HTTP/1.0", "Host: a.test"},
        UrlLineCase{"AtSignInTheFragment", "http://a.test#@other.host/", 0,
                    "GET http://a.test:80/#@other.host/ HTTP/1.0", "Host: a.test"},
        UrlLineCase{"PortBeyond16Bits", "a.test:92537/", 1, "", ""},
        UrlLineCase{"PortNotANumber", "a.test:8o/", 1, "", ""},
        UrlLineCase{"Blanks", "   \t ", 1, "", ""},
        UrlLineCase{"SchemeWithoutHost", "http:///etc/passwd", 1, "", ""},
        UrlLineCase{"EscapedCredentials", "user:pa%3Ass@a.test/", 0,
                    "GET http://a.test:80/ HTTP/1.0",
                    "Authorization: Basic dXNlcjpwYTpzcw=="},  // user:pa:ss
        UrlLineCase{"LastAtSignEndsTheCredentials", "http://u@v@a.test/", 0,
                    "GET http://a.test:80/ HTTP/1.0", "Authorization: Basic dUB2Og=="},  // u@v:
        UrlLineCase{"InternationalName", "b\303\274cher.example/", 0,
                    "GET http://xn--bcher-kva.example:80/ HTTP/1.0", "Host: xn--bcher-kva.example"},
        UrlLineCase{"NameWithoutAsciiForm", "b\374cher.example/", 1, "", ""},
        // U+034F alone: the mapping drops it, which leaves no name at all.
        UrlLineCase{"NameThatMapsToNothing", "\315\217/", 1, "", ""}),
    [](const ::testing::TestParamInfo<UrlLineCase>& p) { return std::string(p.param.name); });

TEST(OutcomeStatusText, NamesEachFetchStatusAndTakesUnknownNumbersAsGeneralErrors) {
  const std::pair<std::uint8_t, const char*> cases[] = {
      {0, "OK : "},
      {1, "NETWORK ERROR or DOMAIN DOES NOT EXIST. "},
      {2, "COULD NOT FIND REDIRECT LOCATION FROM HEADER. "},
      {3, "GENERAL ERROR. "},
      {4, "GENERAL ERROR. "},
      {255, "GENERAL ERROR. "},
  };
  for (const auto& [number, text] : cases) {
    EXPECT_EQ(movrek::OutcomeStatusText(movrek::FetchStatusOf(number)), text) << int(number);
  }
}

TEST(TransferProgressText, PercentRoundsHalfToEvenAndBytesWithoutSize) {
  const struct {
    int received;
    int size;
    const char* text;
  } cases[] = {
      {1024, 2048, "50%"},
      {1, 8, "12%"},  // 12.5 -> 12
      {3, 8, "38%"},
      {5, 8, "62%"},  // 37.5 -> 38, 62.5 -> 62
      {2, 3, "67%"},
      {300, 100, "300%"},
      {0, 10, "0%"},
      {0, 0, "Bytes received : 0"},
      {4711, 0, "Bytes received : 4711"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(movrek::TransferProgressText(c.received, c.size), c.text)
        << c.received << "/" << c.size;
  }
}

TEST(MakeTempFileName, ReservesANameFileAndThePagePathPrivately) {
  movrek::test::TempDir dir;
  ScopedEnv tmpdir("TMPDIR", dir.path());
  std::set<std::string> pages;
  for (int i = 0; i < 20; ++i) {
    const std::string page = MakeTempFileName(".xtr");
    ASSERT_EQ(page.rfind(dir.path() + "/uis", 0), 0u) << page;
    ASSERT_EQ(page.substr(page.size() - 4), ".xtr");
    const std::string name_file = page.substr(0, page.size() - 4) + ".tmp";
    for (const std::string& path : {name_file, page}) {
      struct stat info {};
      ASSERT_EQ(::lstat(path.c_str(), &info), 0) << path;
      EXPECT_TRUE(S_ISREG(info.st_mode)) << path;
      EXPECT_EQ(info.st_size, 0) << path;
      EXPECT_EQ(info.st_mode & 0777, 0600u) << path;
    }
    EXPECT_TRUE(pages.insert(page).second) << "name handed out twice: " << page;
  }
  EXPECT_EQ(FilesIn(dir.path()).size(), 40u);
}

TEST(MakeTempFileName, FailsClearlyWhenTheDirectoryIsMissing) {
  movrek::test::TempDir dir;
  ScopedEnv tmpdir("TMPDIR", dir.path() + "/gone");
  try {
    MakeTempFileName(".xtr");
    FAIL() << "a name was handed out in a missing directory";
  } catch (const movrek::EPageFileError& error) {
    EXPECT_NE(std::string(error.what()).find(dir.path() + "/gone/"), std::string::npos)
        << error.what();
    EXPECT_NE(std::string(error.what()).find("No such file or directory"), std::string::npos)
        << error.what();
  }
}

}  // namespace
