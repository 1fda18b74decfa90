// Pages in the encodings a listing must read, as a server sends them, and the
// link each one gives: the path in UTF-8, the query in the page's encoding.
#pragma once

#include <string>
#include <vector>

namespace movrek::test {

struct EncodingPage {
  std::string File;
  std::string HeaderCharset;  // the charset the server adds to text/html; "" for none
  std::string Bytes;
  std::string Link;  // the link line, after the server's http://host:port
};

inline std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

inline std::vector<EncodingPage> EncodingPages() {
  std::string utf16 = Utf16Le("<p><a href=\"/X?q=X\">u</a>");
  // U+00FC in place of each X.
  for (std::size_t at = utf16.find('X'); at != std::string::npos; at = utf16.find('X', at))
    utf16[at] = '\xFC';
  return {
      {"w1252.html", "", "<a href=\"/caf\xE9?q=caf\xE9\">c</a>", "/caf%C3%A9?q=caf%E9"},
      {"w1251.html", "",
       "<meta charset=\"windows-1251\"><a href=\"/\xCF\xF0\xE8?q=\xCF\xF0\xE8\">p</a>",
       "/%D0%9F%D1%80%D0%B8?q=%CF%F0%E8"},
      {"sjis.html", "",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">"
       "<a href=\"/\x93\xFA?q=\x93\xFA&amp;r=1\">j</a>",
       "/%E6%97%A5?q=%93%FA&r=1"},
      {"utf16.html", "", utf16, "/%C3%BC?q=%C3%BC"},
      {"header.html", "windows-1251", "<meta charset=\"utf-8\"><a href=\"/\xE9?q=\xE9\">h</a>",
       "/%D0%B9?q=%E9"},
  };
}

}  // namespace movrek::test
