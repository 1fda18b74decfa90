// Addresses as browsers read them (the WHATWG URL Standard's basic URL
// parser and serialiser), so that a listed link is the very address a
// browser follows for the same href: "\" read as "/", dot segments and
// default ports dropped, hosts in their ASCII form, each part escaped with
// its own set of bytes, the query in the page's encoding.
//
// A page's links are resolved against one base: parse the base once, then
// parse each href against that record. The href of the result is the link.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace movrek {

// A parsed URL: its serialisation and where each part lies in it, so that a
// reference resolved against it copies spans instead of reparsing.
struct TWebUrl {
  static constexpr std::uint32_t kNone = 0xFFFFFFFF;

  std::string Href;
  std::uint32_t SchemeEnd = 0;    // the ":" after the scheme
  std::uint32_t UsernameEnd = 0;  // with a host: end of the user name
  std::uint32_t HostStart = 0;    // with a host: after "//" and any "user:password@"
  std::uint32_t HostEnd = 0;
  std::uint32_t AuthorityEnd = 0;  // after the port; SchemeEnd + 1 without a host
  std::uint32_t PathStart = 0;  // after a "/." that keeps "//" of the path from reading as a host
  std::uint32_t QueryStart = kNone;     // the "?"
  std::uint32_t FragmentStart = kNone;  // the "#"
  std::int32_t Port = -1;               // -1: none, or the scheme's default
  bool Special = false;                 // http, https, ws, wss, ftp, file
  bool HasHost = false;
  bool OpaquePath = false;  // "mailto:x", "javascript:..." : a path of no segments

  std::string_view Scheme() const { return std::string_view(Href).substr(0, SchemeEnd); }
  std::string_view Host() const;
  std::string_view Path() const;
  std::string_view Query() const;     // without "?"; empty also when there is none
  std::string_view Fragment() const;  // without "#"
};

// Writes the query's UTF-8 text in the page's encoding. It is handed runs of
// non-ASCII characters only (every encoding a page may declare for URLs
// keeps ASCII as it is) and writes a character the encoding lacks as "&#N;"
// with N in decimal, the form browsers send. UTF-16 pages pass no encoder.
using TQueryEncoder = std::function<void(std::string_view utf8Text, std::string& bytesOut)>;

// The href (UTF-8) parsed against the base, or alone when there is none.
// False when a browser would find no URL in it; `out` is then unspecified.
// Reusing `out` from link to link keeps its buffer. Without an encoder, and
// for schemes other than http(s), ftp and file, the query stays UTF-8.
bool ParseWebUrl(std::string_view input, const TWebUrl* base, const TQueryEncoder* encoder,
                 TWebUrl& out);
std::optional<TWebUrl> ParseWebUrl(std::string_view input, const TWebUrl* base = nullptr);

// The href resolved against the base address, both UTF-8, or nothing when
// the base is no URL or the href none against it.
std::optional<std::string> ResolveWebUrl(std::string_view href, std::string_view base);

}  // namespace movrek
