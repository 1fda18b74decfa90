// Content codings undone piece by piece: every coding gives the body back
// however the coded bytes are split, and corrupt and cut-short bodies fail
// with a reason (a bomb: tests/engine/page_body_test.cpp).
#include "net/http/content_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/helpers/coded_bodies.h"
#include "tests/helpers/scripted_server.h"

namespace movrek {
namespace {

using test::EncodeBody;

// Past one decoded piece, text and bytes that compress poorly.
std::string Page() {
  std::string page = "<html><body>";
  for (int i = 0; i < 3000; ++i) {
    page += "<a href=\"/doc/" + std::to_string(i) + ".html\">page " + std::to_string(i) + "</a>\n";
  }
  return page + test::PatternBytes(100000) + "</body></html>";
}

// The decoded body, or "ERROR: reason".
std::string Decode(const std::vector<std::string>& codings, const std::string& coded,
                   size_t piece) {
  TContentDecoder decoder(codings);
  std::string decoded;
  const TDecodedOut out = [&decoded](std::string_view part) {
    decoded.append(part);
    return true;
  };
  for (size_t at = 0; at < coded.size(); at += piece) {
    if (!decoder.Feed(std::string_view(coded).substr(at, piece), out)) {
      return "ERROR: " + decoder.Error();
    }
  }
  return decoder.Finish() ? decoded : "ERROR: " + decoder.Error();
}

TEST(ContentDecoder, EachCodingGivesTheBodyBackWholeAndInPieces) {
  const std::string page = Page();
  const struct {
    const char* name;
    std::vector<std::string> codings;
    std::string coded;
    std::string decoded;
  } cases[] = {
      {"gzip", {"gzip"}, EncodeBody("gzip", page), page},
      {"x-gzip", {"x-gzip"}, EncodeBody("gzip", page), page},
      {"zlib deflate", {"deflate"}, EncodeBody("deflate", page), page},
      {"raw deflate", {"deflate"}, EncodeBody("raw-deflate", page), page},
      {"br", {"br"}, EncodeBody("br", page), page},
      {"zstd", {"zstd"}, EncodeBody("zstd", page), page},
      {"gzip then br", {"gzip", "br"}, EncodeBody("br", EncodeBody("gzip", page)), page},
      {"two gzip members",
       {"gzip"},
       EncodeBody("gzip", "<a>") + EncodeBody("gzip", page),
       "<a>" + page},
      {"two zstd frames",
       {"zstd"},
       EncodeBody("zstd", "<a>") + EncodeBody("zstd", page),
       "<a>" + page},
      {"empty gzip body", {"gzip"}, "", ""},
      // Bytes after the last member are dropped, however they arrive; a
      // 0x1F among them starts no member.
      {"gzip then other bytes",
       {"gzip"},
       EncodeBody("gzip", page) + "junk\x1f\x8b" + EncodeBody("gzip", "<a>"),
       page},
  };
  for (const auto& c : cases) {
    for (const size_t piece : {c.coded.size() + 1, size_t{7}, size_t{1}}) {
      const std::string decoded = Decode(c.codings, c.coded, piece);
      EXPECT_TRUE(decoded == c.decoded)
          << c.name << " in pieces of " << piece << ": " << decoded.substr(0, 80);
    }
  }
}

TEST(ContentDecoder, CorruptOrCutShortBodiesFailWithAReason) {
  const std::string page = Page();
  // Its head spoilt: br and zstd bodies (without checksum) have no other
  // place where a change is sure to show.
  const auto corrupt = [](std::string coded) {
    for (size_t i = 0; i < 16; ++i) coded[i] ^= 0x5a;
    return coded;
  };
  const auto cut = [](std::string coded) { return coded.substr(0, coded.size() - 9); };
  const struct {
    const char* coding;
    std::string coded;
    const char* reason;
  } cases[] = {
      {"gzip", corrupt(EncodeBody("gzip", page)), "gzip: "},
      {"gzip", cut(EncodeBody("gzip", page)), "cut short"},
      {"gzip", "not gzip at all", "gzip: "},
      {"deflate", cut(EncodeBody("deflate", page)), "cut short"},
      {"deflate", "<", "cut short"},
      {"br", corrupt(EncodeBody("br", page)), "br: "},
      {"br", cut(EncodeBody("br", page)), "cut short"},
      {"zstd", corrupt(EncodeBody("zstd", page)), "zstd: "},
      {"zstd", cut(EncodeBody("zstd", page)), "cut short"},
      {"compress", "x", "unsupported content coding 'compress'"},
  };
  for (const auto& c : cases) {
    const std::string decoded = Decode({c.coding}, c.coded, 4096);
    EXPECT_EQ(decoded.rfind("ERROR: ", 0), 0u) << c.coding << " " << c.reason;
    EXPECT_NE(decoded.find(c.reason), std::string::npos)
        << c.coding << ": " << decoded.substr(0, 80);
  }
}

TEST(ContentCodings, TheHeadNamesThemInTheOrderApplied) {
  EXPECT_EQ(ContentCodingsOf({"HTTP/1.1 200 OK", "content-encoding: identity, GZIP ,br",
                              "Content-Encoding:zstd", "Content-Type: text/html"}),
            (std::vector<std::string>{"gzip", "br", "zstd"}));
  EXPECT_TRUE(ContentCodingsOf({"HTTP/1.1 200 OK", "X-Content-Encoding: gzip"}).empty());
}

}  // namespace
}  // namespace movrek
