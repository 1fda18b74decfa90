#include "net/base/web_url.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>
#include <vector>

namespace movrek {
namespace {

struct Resolution {
  std::string base;  // empty: none
  std::string href;
  std::optional<std::string> link;  // nothing: no URL
};

std::optional<std::string> Resolve(const Resolution& c) {
  if (c.base.empty()) {
    const std::optional<TWebUrl> url = ParseWebUrl(c.href);
    return url ? std::optional<std::string>(url->Href) : std::nullopt;
  }
  return ResolveWebUrl(c.href, c.base);
}

// What a browser's a.href gives for hrefs that real pages write.
TEST(WebUrl, ResolvesHrefsAsBrowsersDo) {
  const std::vector<Resolution> cases = {
      {"http://h/lua/genindex.html", "#A", "http://h/lua/genindex.html#A"},
      {"http://s.example/shop/list.php?page=1", "?page=2", "http://s.example/shop/list.php?page=2"},
      {"http://h/a/b.html?q#top", "", "http://h/a/b.html?q"},
      {"http://h/a/b.html", " spaced.html ", "http://h/a/spaced.html"},
      {"http://h/a/b/c.html", "..\\up\\x.html", "http://h/a/up/x.html"},
      {"http://h/a/b.html", "li\tnk\r\n.html", "http://h/a/link.html"},
      {"http://h/a/b.html", "//other.example", "http://other.example/"},
      {"https://h/a/", "x/%2e%2E/./y.html", "https://h/a/y.html"},
      {"http://h/", "a b/é?x=é y#f é", "http://h/a%20b/%C3%A9?x=%C3%A9%20y#f%20%C3%A9"},
      {"http://h/", "?q='<>\"", "http://h/?q=%27%3C%3E%22"},
      {"", "HTTP://EXAMPLE.COM:80/A/../b", "http://example.com/b"},
      {"", "https://u:p@h.example:443/", "https://u:p@h.example/"},
      {"", "http://0x7f.1/", "http://127.0.0.1/"},
      {"", "http://[0:0:1:0:0:0:0:0]:8080/", "http://[0:0:1::]:8080/"},
      {"", "http://Bücher.example/", "http://xn--bcher-kva.example/"},
      {"", "http://faß.de/", "http://xn--fa-hia.de/"},
      // Hyphens and ASCII symbols that IDNA2008 refuses and browsers take.
      {"", "http://-日本語-.jp/", "http://xn-----6t7du0ck91h.jp/"},
      {"", "http://XN--AB---3RA.de/", "http://xn--ab---3ra.de/"},
      {"", "http://h$xé/", "http://xn--h$x-dma/"},
      {"", "http://XN--H$X-DMA/", "http://xn--h$x-dma/"},
      {"", "http://xn--a.com/", std::nullopt},
      {"", "file:///C|/x/../../y", "file:///C:/y"},
      {"http://h/a", "mailto:x@y.org", "mailto:x@y.org"},
      {"http://h/a", "javascript:go( 1 )", "javascript:go( 1 )"},
      {"http://h/a", "foo://Host/%7e", "foo://Host/%7e"},
      {"http://h/a", "http://exa mple.com/", std::nullopt},
      {"http://h/a", "http://h:65536/", std::nullopt},
      {"http://h/a", "http://[::1/", std::nullopt},
      {"http://h/a", "http://1.2.3.256/", std::nullopt},
      {"mailto:x@y.org", "z", std::nullopt},
      {"", "relative.html", std::nullopt},
  };
  for (const Resolution& c : cases) {
    EXPECT_EQ(Resolve(c), c.link) << c.base << " + " << c.href;
  }
}

// The examples of RFC 3986 section 5.4 as browsers resolve them: "//g"
// gains its root path, "http:g" is relative to an http base.
TEST(WebUrl, ReferenceExamplesOfRfc3986) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g/"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q#s"},
      {"g#s", "http://a/b/c/g#s"},
      {"g?y#s", "http://a/b/c/g?y#s"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"g;x?y#s", "http://a/b/c/g;x?y#s"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g#s/./x"},
      {"g#s/../x", "http://a/b/c/g#s/../x"},
      {"http:g", "http://a/b/c/g"},
  };
  for (const auto& [href, link] : cases) {
    EXPECT_EQ(ResolveWebUrl(href, "http://a/b/c/d;p?q"), link) << href;
  }
}

TEST(WebUrl, DotSegmentsCostLinearTimeOnLongPaths) {
  std::string href;
  for (int i = 0; i < 200000; ++i) {
    href += "/seg/..";
  }
  EXPECT_EQ(ResolveWebUrl(href + "/end", "http://h/"), "http://h/end");
}

TEST(WebUrl, PartsLieWhereTheOffsetsSay) {
  const std::optional<TWebUrl> url = ParseWebUrl("HTTPS://u:p@H.example:8443/a/b?q=1#f");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->Scheme(), "https");
  EXPECT_EQ(url->Host(), "h.example");
  EXPECT_EQ(url->Port, 8443);
  EXPECT_EQ(url->Path(), "/a/b");
  EXPECT_EQ(url->Query(), "q=1");
  EXPECT_EQ(url->Fragment(), "f");
}

TEST(WebUrl, ReusedRecordKeepsNothingOfTheLastUrl) {
  const std::optional<TWebUrl> base = ParseWebUrl("http://h/dir/page.html");
  ASSERT_TRUE(base);
  TWebUrl url;
  ASSERT_TRUE(ParseWebUrl("x.html?q#f", &*base, nullptr, url));
  ASSERT_TRUE(ParseWebUrl("y.html", &*base, nullptr, url));
  EXPECT_EQ(url.Href, "http://h/dir/y.html");
  EXPECT_EQ(url.QueryStart, TWebUrl::kNone);
  EXPECT_EQ(url.FragmentStart, TWebUrl::kNone);
}

// A windows-1251 encoder as the page's encoding gives it: characters the
// encoding lacks come out as "&#N;".
void ToWindows1251(std::string_view utf8, std::string& bytes) {
  iconv_t cd = iconv_open("WINDOWS-1251", "UTF-8");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  while (inLeft > 0) {
    char buffer[64];
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) &&
        errno == EILSEQ) {
      bytes += "&#128512;";  // the one unmappable character the test uses
      in += 4;
      inLeft -= 4;
    }
    bytes.append(buffer, out);
  }
  iconv_close(cd);
}

TEST(WebUrl, QueryTakesThePageEncodingAndTheRestStaysUtf8) {
  const std::optional<TWebUrl> base = ParseWebUrl("http://h/");
  ASSERT_TRUE(base);
  int calls = 0;
  const TQueryEncoder encoder = [&calls](std::string_view utf8, std::string& bytes) {
    ++calls;
    ToWindows1251(utf8, bytes);
  };
  TWebUrl url;
  ASSERT_TRUE(ParseWebUrl("/д?q=дом 😀&x#д", &*base, &encoder, url));
  EXPECT_EQ(url.Href, "http://h/%D0%B4?q=%E4%EE%EC%20%26%23128512%3B&x#%D0%B4");
  ASSERT_TRUE(ParseWebUrl("ws://h/?д", &*base, &encoder, url));
  EXPECT_EQ(url.Href, "ws://h/?%D0%B4");
  const int callsBefore = calls;
  ASSERT_TRUE(ParseWebUrl("?plain=ascii", &*base, &encoder, url));
  EXPECT_EQ(calls, callsBefore) << "an ASCII query needs no encoder";
}

}  // namespace
}  // namespace movrek
