// The body of a page on its way to the page file: every framing streamed
// and bounded, every content coding undone (asked for or not), corrupt
// bodies failed with a reason, bodies that are no page skipped, redirect
// bodies kept out, and nothing left behind.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/parallel/parallel_job.h"
#include "engine/pipeline/page_body_sink.h"
#include "engine/pipeline/pipeline_limits.h"
#include "engine/pipeline/temp_files.h"
#include "net/http/fetch.h"
#include "net/http/http_limits.h"
#include "net/http/http_transaction.h"
#include "tests/helpers/coded_bodies.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scoped_env.h"
#include "tests/helpers/scripted_server.h"

namespace movrek {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    }
    ::closedir(d);
  }
  return names;
}

using test::EncodeBody;
using test::ScriptedServer;

constexpr std::int64_t kMiB = std::int64_t{1} << 20;

std::string Page() {
  std::string page = "<html><body>";
  for (int i = 0; i < 2000; ++i) page += "<a href=\"/doc/" + std::to_string(i) + ".html\">x</a>\n";
  return page + "</body></html>";
}

// The settings of movrek-cli: pages only, bounded, compression asked for.
TJobSettings CliSettings(std::int64_t maxBytes = 64 * kMiB) {
  TJobSettings settings;
  settings.PagesOnly = true;
  settings.MaxBodyBytes = maxBytes;
  settings.RequestCompression = true;
  return settings;
}

class PageBody : public ::testing::Test {
 protected:
  // One line through the parallel job (the window's settings by default).
  TPageResult Fetch(const std::string& url, TJobSettings settings = {}) {
    TParallelSettings parallel;
    parallel.Job = std::move(settings);
    parallel.Job.Pauses = false;
    TParallelJob job(std::move(parallel), {url});
    job.Start();
    std::optional<TPageResult> page = job.Next(60s);
    job.Shutdown();
    EXPECT_TRUE(page.has_value()) << url;
    EXPECT_TRUE(FilesIn(tmp_.path()).empty()) << "temporary files left behind";
    return page ? *page : TPageResult{};
  }
  static std::string Head(const std::string& lines) {
    return "HTTP/1.1 200 OK\r\nConnection: close\r\n" + lines + "\r\n";
  }

  test::TempDir tmp_;
  test::ScopedEnv tmpdir_{"TMPDIR", tmp_.path()};
};

// Sends chunks of 64 KiB until the client goes (or 4 GiB went out).
bool EndlessChunks(int fd) {
  const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
  for (int i = 0; i < 65536; ++i) {
    if (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0) return false;
  }
  return false;
}

TEST_F(PageBody, EndlessBodiesOfEveryFramingStopAtTheBoundAndTheirPartIsListed) {
  const std::string link = "<a href=\"/first\">f</a>";
  const struct {
    const char* name;
    std::function<void(ScriptedServer&)> script;
  } cases[] = {
      {"counted beyond 32 bits",
       [&](ScriptedServer& s) {
         s.Send(Head("Content-Type: text/html\r\nContent-Length: 40000000000\r\n") + link)
             .SendLarge(size_t{4} << 30);
       }},
      {"chunked",
       [&](ScriptedServer& s) {
         s.Send(Head("Content-Type: text/html\r\nTransfer-Encoding: chunked\r\n") + "16\r\n" +
                link + "\r\n")
             .Call(EndlessChunks);
       }},
      {"until close",
       [&](ScriptedServer& s) {
         s.Send(Head("Content-Type: text/html\r\n") + link).SendLarge(size_t{4} << 30);
       }},
      {"gzip until close",
       [&](ScriptedServer& s) {
         s.Send(Head("Content-Type: text/html\r\nContent-Encoding: gzip\r\n") +
                EncodeBody("gzip", link + std::string(size_t{64} << 20, ' ')));
       }},
  };
  for (const auto& c : cases) {
    ScriptedServer server;
    c.script(server.ReadRequest());
    server.Start();
    const TPageResult page = Fetch(server.Url("/"), CliSettings(kMiB));
    EXPECT_EQ(page.StatusText, "OK : ") << c.name;
    EXPECT_TRUE(page.Truncated) << c.name;
    EXPECT_EQ(page.Bytes, kMiB) << c.name;
    EXPECT_TRUE(page.Listed) << c.name;
    ASSERT_FALSE(page.Links.empty()) << c.name;
    EXPECT_EQ(page.Links.front(), server.Url("/first")) << c.name;
  }
}

TEST_F(PageBody, EveryContentCodingGivesTheLinksOfThePageAskedForOrNot) {
  const std::string page = Page();
  std::vector<std::string> expected;
  const struct {
    const char* name;
    std::string head;
    std::string body;
  } cases[] = {
      {"identity", "", page},
      {"gzip", "Content-Encoding: gzip\r\n", EncodeBody("gzip", page)},
      {"deflate", "Content-Encoding: deflate\r\n", EncodeBody("deflate", page)},
      {"raw deflate", "Content-Encoding: deflate\r\n", EncodeBody("raw-deflate", page)},
      {"br", "Content-Encoding: br\r\n", EncodeBody("br", page)},
      {"zstd", "Content-Encoding: zstd\r\n", EncodeBody("zstd", page)},
      {"gzip, br", "Content-Encoding: gzip, br\r\n", EncodeBody("br", EncodeBody("gzip", page))},
  };
  for (const auto& c : cases) {
    for (const bool chunked : {false, true}) {
      ScriptedServer server;
      std::string head = "Content-Type: text/html\r\n" + c.head;
      std::string body = c.body;
      if (chunked) {
        char size[16];
        std::snprintf(size, sizeof size, "%zx", body.size());
        head += "Transfer-Encoding: chunked\r\n";
        body = size + ("\r\n" + body) + "\r\n0\r\n\r\n";
      } else {
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
      }
      server.ReadRequest().Send(Head(head) + body);
      server.Start();
      // The window asks for no coding: each one here comes unasked.
      const TPageResult result = Fetch(server.Url("/"));
      EXPECT_EQ(result.StatusText, "OK : ") << c.name;
      EXPECT_EQ(result.Bytes, static_cast<std::int64_t>(page.size())) << c.name;
      std::vector<std::string> paths;
      for (const std::string& link : result.Links)
        paths.push_back(link.substr(server.Url("").size()));
      if (expected.empty()) expected = paths;
      EXPECT_TRUE(paths == expected)
          << c.name << (chunked ? " chunked" : "") << ": " << paths.size() << " links";
      EXPECT_EQ(server.Received().find("Accept-Encoding"), std::string::npos);
    }
  }
  EXPECT_EQ(expected.size(), 2000u);
}

TEST_F(PageBody, ACorruptOrCutShortCodedBodyFailsWithAReasonAndLeavesNoFile) {
  const std::string gzip = EncodeBody("gzip", Page());
  const struct {
    const char* name;
    std::string head;
    std::string body;
    const char* reason;
  } cases[] = {
      {"corrupt gzip", "Content-Encoding: gzip\r\n",
       gzip.substr(0, 10) + "\xff\xff" + gzip.substr(12),
       "content decoding failed: gzip: invalid block type"},
      {"cut-short gzip", "Content-Encoding: gzip\r\n", gzip.substr(0, gzip.size() / 2),
       "content decoding failed: the coded body was cut short"},
      {"cut-short br", "Content-Encoding: br\r\n", EncodeBody("br", Page()).substr(0, 100),
       "content decoding failed: the coded body was cut short"},
      {"corrupt zstd", "Content-Encoding: zstd\r\n", "not zstd", "content decoding failed: zstd: "},
      {"unknown coding", "Content-Encoding: compress\r\n", "x",
       "content decoding failed: unsupported content coding 'compress'"},
  };
  for (const auto& c : cases) {
    ScriptedServer server;
    server.ReadRequest().Send(Head("Content-Type: text/html\r\nContent-Length: " +
                                   std::to_string(c.body.size()) + "\r\n" + c.head) +
                              c.body);
    server.Start();
    const TPageResult page = Fetch(server.Url("/"), CliSettings());
    EXPECT_EQ(page.StatusText, "GENERAL ERROR. ") << c.name;
    EXPECT_EQ(page.Reason.rfind(c.reason, 0), 0u) << c.name << ": " << page.Reason;
    EXPECT_FALSE(page.Listed) << c.name;
  }
}

TEST_F(PageBody, OnlyPagesAreDownloadedUnlessEveryTypeIsWanted) {
  const std::string html = "<a href=\"/l\">l</a>";
  const struct {
    const char* name;
    std::string type_line;
    std::string body;
    const char* skipped;  // "": listed
  } cases[] = {
      {"octet-stream", "Content-Type: application/octet-stream\r\n", html,
       "application/octet-stream"},
      {"image with parameters", "Content-Type: image/png; q=1\r\n", html, "image/png"},
      {"html in capitals", "Content-Type: TEXT/HTML; charset=UTF-8\r\n", html, ""},
      {"xhtml", "Content-Type: application/xhtml+xml\r\n", html, ""},
      {"no type, PDF", "", "%PDF-1.7\n" + html, "application/pdf"},
      {"no type, ZIP", "", "PK\x03\x04" + html, "application/zip"},
      {"no type, NUL bytes", "", html + std::string(1, '\0') + html, "application/octet-stream"},
      {"no type, short page", "", html, ""},
      {"no type, long page", "", html + std::string(5000, ' '), ""},
  };
  for (const auto& c : cases) {
    for (const bool pagesOnly : {true, false}) {
      ScriptedServer server;
      server.ReadRequest().Send(Head(c.type_line) + c.body);
      server.Start();
      TJobSettings settings = CliSettings();
      settings.PagesOnly = pagesOnly;
      const TPageResult page = Fetch(server.Url("/"), settings);
      const bool skipped = pagesOnly && *c.skipped != '\0';
      EXPECT_EQ(page.StatusText, skipped ? "SKIPPED, NOT HTML. " : "OK : ") << c.name;
      EXPECT_EQ(page.Listed, !skipped) << c.name;
      if (skipped) {
        EXPECT_EQ(page.ContentType, c.skipped) << c.name;
        EXPECT_EQ(page.Messages.back(),
                  "SKIPPED, NOT HTML (" + std::string(c.skipped) + "). " + server.Url("/"));
      }
    }
  }
}

TEST_F(PageBody, ALargeBodyThatIsNoPageIsLeftUnreadAfterItsHead) {
  ScriptedServer server;
  server.ReadRequest()
      .Send(Head("Content-Type: application/x-iso9660-image\r\nContent-Length: 1073741824\r\n"))
      .SendLarge(size_t{1} << 30);
  server.Start();
  const TPageResult page = Fetch(server.Url("/big.iso"), CliSettings());
  EXPECT_EQ(page.Messages.back(),
            "SKIPPED, NOT HTML (application/x-iso9660-image). " + server.Url("/big.iso"));
  EXPECT_EQ(page.Bytes, 0);
  // The client closed: the server could not send the gigabyte.
  EXPECT_TRUE(server.WaitDone(10000));
  EXPECT_NE(server.Problems().find("send failed"), std::string::npos) << server.Problems();
}

TEST_F(PageBody, OnlyTheLastResponsesBodyIsListedAfterRedirects) {
  for (const size_t redirect_body : {size_t{30}, size_t{3} << 20}) {
    ScriptedServer server;
    std::string body = "<a href=\"/from-redirect\">r</a>";
    body.resize(redirect_body, ' ');
    server.ReadRequest()
        .Send(
            "HTTP/1.1 302 Found\r\nLocation: /final\r\nContent-Type: text/html\r\n"
            "Content-Length: " +
            std::to_string(body.size()) + "\r\n\r\n" + body)
        .NextConnection()
        .ReadRequest()
        .Send(Head("Content-Type: text/html\r\n") + "<a href=\"/from-final\">f</a>");
    server.Start();
    const TPageResult page = Fetch(server.Url("/start"), CliSettings());
    EXPECT_EQ(page.StatusText, "OK : ");
    EXPECT_EQ(page.FinalUrl, server.Url("/final"));
    EXPECT_EQ(page.Links, std::vector<std::string>{server.Url("/from-final")}) << redirect_body;
  }
}

size_t PeakResidentBytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

TEST(PageBodySink, ABombIsCutAtTheBoundWithBoundedMemory) {
  test::TempDir tmp;
  const std::string bomb = test::GzipBomb(160);  // 10 GiB from about 10 MiB
  ScriptedServer server;
  server.ReadRequest().Send(
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: gzip\r\n"
      "Content-Length: " +
      std::to_string(bomb.size()) + "\r\n\r\n" + bomb);
  server.Start();
  const size_t before = PeakResidentBytes();
  const std::string file = tmp.Write("page.xtr", "");
  TPageBodySink body(file, CliSettings(256 * kMiB));
  THttpTransaction http;
  http.BodySink = &body;
  TUrlInfo info;
  HttpGetFollow(server.Url("/"), &http, false, info);
  body.Close();
  EXPECT_EQ(info.Status, 0);
  EXPECT_TRUE(body.Cut());
  EXPECT_EQ(body.Bytes(), 256 * kMiB);
  EXPECT_TRUE(http.Document.empty());
  EXPECT_LE(PeakResidentBytes(), before + 32 * kMiB)
      << "peak " << PeakResidentBytes() / kMiB << " MiB, before " << before / kMiB << " MiB";
}

// Without a bound of the settings the HTTP layer's ceiling holds: a length
// announced past it is refused before any byte, not read up to it.
TEST(PageBodySink, ALengthAnnouncedPastTheCeilingIsRefusedUnread) {
  test::TempDir tmp;
  TPageBodySink body(tmp.Write("page.xtr", ""), TJobSettings{});
  THttpTransaction http;
  http.ResultCode = 200;
  http.ContentLength = static_cast<std::int64_t>(kMaxBodyBytes) + 1;
  EXPECT_FALSE(body.BeginBody(http));
  EXPECT_TRUE(body.TooLarge());
  EXPECT_FALSE(body.Cut());
}

// A held body costs no file until it outgrows memory or its file is asked
// for; either way the file gets the whole body, whatever came before it.
TEST(PageBodySink, AHeldBodyGetsItsFileOnlyWhenItMust) {
  const std::int64_t bound = kMaxHeldBodyBytes;
  const struct {
    std::int64_t size;
    bool ask;
    int reserved;  // page files reserved in the end
  } cases[] = {{1000, false, 0},
               {1000, true, 1},
               {bound, false, 0},
               {bound + 1, false, 1},
               {3 * bound, true, 1}};
  for (const auto& c : cases) {
    test::TempDir tmp;
    int reserved = 0;
    TJobSettings settings;
    settings.HoldSmallBodies = true;
    TPageBodySink body(
        [&] {
          ++reserved;
          return tmp.Write("page.xtr", "");
        },
        settings);
    THttpTransaction http;
    http.ResultCode = 200;
    std::string page;
    for (std::int64_t i = 0; static_cast<std::int64_t>(page.size()) < c.size; ++i) {
      page += "<a href=\"/" + std::to_string(i) + "\">x</a>\n";
    }
    page.resize(static_cast<std::size_t>(c.size));
    // A redirect's body before: never part of the page.
    ASSERT_TRUE(body.BeginBody(http));
    ASSERT_TRUE(body.TakeBody(std::string(1000, 'r')));
    body.EndBody();
    ASSERT_TRUE(body.BeginBody(http));
    for (std::size_t at = 0; at < page.size(); at += 65536) {
      ASSERT_TRUE(body.TakeBody(std::string_view(page).substr(at, 65536))) << c.size;
    }
    body.EndBody();
    EXPECT_EQ(body.Close(), "");
    EXPECT_EQ(body.Bytes(), c.size);
    if (c.ask) {
      EXPECT_EQ(test::ReadFileText(body.SavedFile()), page) << c.size;
    }
    EXPECT_EQ(reserved, c.reserved) << c.size;
  }
}

TEST(PageBodySink, AHeldBodyWithNoRoomForItsFileEndsAsAReservationUpFrontWould) {
  TJobSettings settings;
  settings.HoldSmallBodies = true;
  TPageBodySink body([]() -> std::string { throw EPageFileError("no room"); }, settings);
  THttpTransaction http;
  http.ResultCode = 200;
  ASSERT_TRUE(body.BeginBody(http));
  EXPECT_TRUE(body.TakeBody(std::string(static_cast<std::size_t>(kMaxHeldBodyBytes), 'x')));
  EXPECT_FALSE(body.TakeBody("y"));
  EXPECT_THROW(body.RethrowReserveFailure(), EPageFileError);
}

// Body bytes nginx logged for the request line that asked with `accept`.
long LoggedBytes(const std::string& log, const std::string& accept) {
  const size_t at = log.find("accept_encoding=\"" + accept + "\"");
  const size_t line = log.rfind("\" 200 ", at);
  return at == std::string::npos || line == std::string::npos ? -1
                                                              : std::stol(log.substr(line + 6));
}

TEST_F(PageBody, NginxSendsGzipWhenAskedAndTheLinksAreTheSame) {
  MOVREK_REQUIRE_PEER("nginx");
  test::NginxServer nginx;
  nginx.AddLocation("gzip on; gzip_http_version 1.0; gzip_min_length 1;");
  const std::string page = Page();
  nginx.WriteFile("p.html", page);
  ASSERT_TRUE(nginx.Start());
  TJobSettings plain = CliSettings();
  plain.RequestCompression = false;
  const TPageResult identity = Fetch(nginx.Url("/p.html"), plain);
  const TPageResult gzip = Fetch(nginx.Url("/p.html"), CliSettings());
  EXPECT_EQ(identity.Links.size(), 2000u);
  EXPECT_EQ(gzip.Links, identity.Links);
  EXPECT_EQ(gzip.Bytes, static_cast<std::int64_t>(page.size()));
  const std::string log = nginx.WaitForAccessLog("accept_encoding=\"gzip, deflate, br, zstd\"");
  EXPECT_EQ(LoggedBytes(log, "-"), static_cast<long>(page.size())) << log;
  EXPECT_LT(LoggedBytes(log, "gzip, deflate, br, zstd"), static_cast<long>(page.size() / 4)) << log;
}

}  // namespace
}  // namespace movrek
