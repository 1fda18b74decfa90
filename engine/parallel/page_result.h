// One line of the URL list as a record, once the per-URL pipeline is through
// with it: what a front end writes for the page, in whatever form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace movrek {

struct TPageResult {
  std::string Line;        // the list line as given
  int InputLine = 0;       // where the line stands in its input, 1-based
  std::string Address;     // as fetched: trimmed, "http://" put in front
  std::string FinalUrl;    // the address requested last (after redirects)
  std::string StatusText;  // "OK : " and its kind, without the address
  // The status code and text of the last response; 0 when no answer came.
  std::int32_t HttpStatus = 0;
  std::string HttpStatusText;
  // The links were listed: the page was fetched and read. Only then do Base
  // and Links mean anything.
  bool Listed = false;
  std::string Base;
  std::vector<std::string> Links;  // the lines of the links kept, in page order
  // With anchor text asked for, each link's text and rel, in step with Links.
  struct TAnchor {
    std::string Text;
    std::string Rel;
  };
  std::vector<TAnchor> Anchors;
  bool WithText = false;   // the job gathered anchor text: Anchors counts
  std::int64_t Bytes = 0;  // body bytes of the last response
  std::int64_t ElapsedMs = 0;
  // Why a fetch failed: the socket error number and its text; 0 when it did
  // not fail at the socket.
  std::int32_t SocketError = 0;
  std::string SocketErrorText;
  // The media type of the response's Content-Type (or the one its first
  // bytes showed when that made it no page); empty: none.
  std::string ContentType;
  bool Truncated = false;  // the body was cut at the size bound
  // Why the page has no links, in words ("socket error 10061, Connection
  // refused", "redirect loop"); empty when nothing more is known.
  std::string Reason;
  // Left alone on purpose (not fetched, or not read): counted apart from
  // the pages that failed.
  bool Skipped = false;
  // What the front end shows on its status line for this page, in order.
  std::vector<std::string> Messages;
  // Not empty: an error that ends the job at this line (no temporary file
  // could be had, the page could not be read back).
  std::string JobError;
};

}  // namespace movrek
