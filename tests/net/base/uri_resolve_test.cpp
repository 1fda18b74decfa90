#include "net/base/uri_resolve.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace movrek {
namespace {

struct Resolution {
  std::string reference;
  std::string target;
};

// RFC 3986 section 5.4, normal (5.4.1) and abnormal (5.4.2) examples.
TEST(UriResolve, ReferenceResolutionExamplesOfRfc3986) {
  const std::string base = "http://a/b/c/d;p?q";
  const std::vector<Resolution> cases = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
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
      // abnormal
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
      {"http:g", "http:g"},  // strict parsers keep the reference's scheme
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolveReference(base, c.reference), c.target) << "reference: " << c.reference;
}

TEST(UriResolve, BaseWithoutPathOrWithFragmentAndPorts) {
  const std::vector<std::pair<std::string, Resolution>> cases = {
      {"http://host", {"x", "http://host/x"}},
      {"http://host", {"?q", "http://host?q"}},
      {"http://host:8080/dir/page#top", {"other#s", "http://host:8080/dir/other#s"}},
      {"http://host:8080/dir/page#top", {"", "http://host:8080/dir/page"}},
      {"https://host/a/b/", {"//cdn.example/x/../y", "https://cdn.example/y"}},
      {"http://host/a/", {"mailto:me@example.org", "mailto:me@example.org"}},
      {"http://host/a/", {"a:b/../c", "a:/c"}},  // as section 5.2.4 step C gives
  };
  for (const auto& [base, c] : cases)
    EXPECT_EQ(ResolveReference(base, c.reference), c.target) << base << " + " << c.reference;
}

TEST(UriResolve, SchemeIsALetterThenSchemeCharactersThenColon) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"http://x", true},
      {"HTTPS://x", true},
      {"mailto:a", true},
      {"a+b-c.d:", true},
      {"javascript:void(0)", true},
      {"x:", true},
      {"1http://x", false},
      {":x", false},
      {"/a:b", false},
      {"a b:c", false},
      {"", false},
      {"'http://x", false},
      {"http", false},
      {"a_b:c", false},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(HasUriScheme(text), expected) << text;
}

TEST(UriResolve, RemovingDotSegmentsIsLinearOnLongPaths) {
  std::string path;
  for (int i = 0; i < 200000; ++i) path += "/seg/..";
  EXPECT_EQ(RemoveDotSegments(path + "/end"), "/end");
}

}  // namespace
}  // namespace movrek
