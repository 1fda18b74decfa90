#include <gtest/gtest.h>

#include <string>

#include "net/http/fetch.h"
#include "net/http/http_transaction.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scripted_server.h"

namespace movrek {
namespace {

using test::NginxServer;

constexpr int kCodes[] = {301, 302, 303, 307, 308};

class AgainstNginx : public ::testing::Test {
 protected:
  void SetUp() override {
    MOVREK_REQUIRE_PEER("nginx");
    nginx_.WriteFile("index.html", "<html><a href=\"x\">x</a></html>");
    nginx_.WriteFile("target.html", "target page");
    nginx_.WriteFile("dir/page.html", "page in dir");
    nginx_.WriteLargeFile("large.bin", kLargeSize);
    for (int code : kCodes) {
      const std::string c = std::to_string(code);
      nginx_.AddLocation("location = /abs" + c + " { return " + c +
                         " $scheme://$http_host/target.html; }");
      // Without absolute_redirect nginx sends the location exactly as written.
      nginx_.AddLocation("location = /rel" + c + " { absolute_redirect off; return " + c +
                         " /target.html; }");
    }
    nginx_.AddLocation("location = /dir/hop { absolute_redirect off; return 302 page.html; }");
    nginx_.AddLocation("location = /chain { absolute_redirect off; return 301 /rel302; }");
    nginx_.AddLocation("location = /loop { absolute_redirect off; return 302 /loop; }");
    ASSERT_TRUE(nginx_.Start());
  }

  TUrlInfo Fetch(const std::string& path, THttpTransaction& http) {
    TUrlInfo info;
    HttpGetFollow(nginx_.Url(path), &http, false, info);
    return info;
  }

  static constexpr size_t kLargeSize = (3u << 20) + 12345;  // not a whole number of blocks
  NginxServer nginx_;
};

TEST_F(AgainstNginx, StaticPage) {
  THttpTransaction http;
  const TUrlInfo info = Fetch("/index.html", http);
  EXPECT_EQ(info.Status, 0);
  EXPECT_EQ(http.ResultCode, 200);
  EXPECT_EQ(http.Document, "<html><a href=\"x\">x</a></html>");
  EXPECT_EQ(http.MimeType, "text/html");
  EXPECT_NE(nginx_.WaitForAccessLog("GET /index.html HTTP/1.0\" 200"), "");
}

TEST_F(AgainstNginx, LargeFileArrivesIntact) {
  THttpTransaction http;
  const TUrlInfo info = Fetch("/large.bin", http);
  EXPECT_EQ(info.Status, 0);
  EXPECT_EQ(http.DownloadSize, static_cast<int32_t>(kLargeSize));
  ASSERT_EQ(http.Document.size(), kLargeSize);
  EXPECT_TRUE(http.Document == test::PatternBytes(kLargeSize));
}

TEST_F(AgainstNginx, MissingPageIsStillAPage) {
  THttpTransaction http;
  const TUrlInfo info = Fetch("/nothing-here", http);
  EXPECT_EQ(info.Status, 0);
  EXPECT_EQ(http.ResultCode, 404);
  EXPECT_NE(http.Document.find("404"), std::string::npos);
}

TEST_F(AgainstNginx, EveryRedirectCodeAbsoluteAndRelative) {
  for (int code : kCodes) {
    for (const char* kind : {"/abs", "/rel"}) {
      const std::string path = kind + std::to_string(code);
      SCOPED_TRACE(path);
      THttpTransaction http;
      const TUrlInfo info = Fetch(path, http);
      EXPECT_EQ(info.Status, 0);
      EXPECT_EQ(info.Url, nginx_.Url("/target.html"));
      EXPECT_EQ(http.Document, "target page");
    }
  }
}

TEST_F(AgainstNginx, RelativePathAndChains) {
  THttpTransaction http;
  const TUrlInfo info = Fetch("/dir/hop", http);
  EXPECT_EQ(info.Status, 0);
  EXPECT_EQ(info.Url, nginx_.Url("/dir/page.html"));
  EXPECT_EQ(http.Document, "page in dir");

  const TUrlInfo chained = Fetch("/chain", http);
  EXPECT_EQ(chained.Status, 0);
  EXPECT_EQ(chained.Url, nginx_.Url("/target.html"));
}

TEST_F(AgainstNginx, RedirectLoopEnds) {
  THttpTransaction http;
  const TUrlInfo info = Fetch("/loop", http);
  EXPECT_EQ(info.Status, 3);
  EXPECT_EQ(info.Reason, "redirect loop");
  EXPECT_EQ(info.Url, nginx_.Url("/loop"));
}

TEST_F(AgainstNginx, RangeAndKeptConnection) {
  THttpTransaction http;
  http.Protocol = "1.1";
  http.RangeStart = 10;
  http.RangeEnd = 19;
  ASSERT_TRUE(http.PerformRequest("GET", nginx_.Url("/large.bin")));
  EXPECT_EQ(http.ResultCode, 206);
  EXPECT_EQ(http.Document, test::PatternBytes(10, 10));
  EXPECT_FALSE(http.ConnectedHost.empty());
  http.ResetState();
  ASSERT_TRUE(http.PerformRequest("GET", nginx_.Url("/target.html")));
  EXPECT_EQ(http.Document, "target page");
}

}  // namespace
}  // namespace movrek
