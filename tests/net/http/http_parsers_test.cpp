// The socket-free response head parser and body decoder: each response fed
// whole, byte by byte and cut once at every offset must give the same
// events, and those must be the expected ones.
#include <gtest/gtest.h>

#include <string>

#include "fuzz/net/http_parse_events.h"

namespace movrek {
namespace {

using fuzz::EveryOffset;
using fuzz::ParseEvents;
using fuzz::TParseOptions;

struct ParseCase {
  const char* name;
  std::string response;
  std::string events;
  TParseOptions options = {};
};

class ResponseParsers : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ResponseParsers, GiveTheSameEventsWhereverTheInputIsCut) {
  const ParseCase& c = GetParam();
  EXPECT_EQ(ParseEvents(c.response, {}, c.options), c.events);
  EXPECT_EQ(ParseEvents(c.response, EveryOffset(c.response.size()), c.options), c.events);
  for (size_t at = 1; at < c.response.size(); ++at) {
    ASSERT_EQ(ParseEvents(c.response, {at}, c.options), c.events) << "cut at " << at;
  }
}

const std::string k26 = "abcdefghijklmnopqrstuvwxyz";
const std::string kChunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
const std::string kChunkedHead =
    "head 200 OK\n  HTTP/1.1 200 OK\n  Transfer-Encoding: chunked\n  \n";

std::string Times(const std::string& part, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += part;
  return text;
}

constexpr TParseOptions kHead{true, false, 65536};
constexpr TParseOptions kExpect{false, true, 65536};
constexpr TParseOptions kShortLines{false, false, 16};
constexpr TParseOptions kLines28{false, false, 28};

INSTANTIATE_TEST_SUITE_P(
    Cases, ResponseParsers,
    ::testing::Values(
        ParseCase{"Counted", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA",
                  "head 200 OK\n  HTTP/1.0 200 OK\n  Content-Length: 5\n  \n"
                  "body hello\nend\nmessage\nleft 5\n"},
        ParseCase{"ChunkedWithExtensionsAndTrailer",
                  kChunked + "1a;name=v\r\n" + k26 + "\r\n3 ;x\r\nabc\r\n0\r\nT: x\r\n\r\nNEXT",
                  kChunkedHead + "body " + k26 + "abc\nend\nmessage\nleft 4\n"},
        ParseCase{"ChunkedWithBareLineEnds", kChunked + "5\rhello\n\r3\nabc\r0\n\r\n",
                  kChunkedHead + "body helloabc\nend\nmessage\nleft 0\n"},
        ParseCase{"ChunkedCutAfterTheLastChunk", kChunked + "2\r\nab\r\n0\r\nT: 1\r\n",
                  kChunkedHead + "body ab\nend\nabandoned\nleft 0\n"},
        ParseCase{"UntilClose", "HTTP/1.0 200 OK\n\nall of it\r\nand more",
                  "head 200 OK\n  HTTP/1.0 200 OK\n  \nbody all of it\r\nand more\nend\nmessage\n"
                  "left 0\n"},
        ParseCase{"InterimAnswersThenTheFinalOne",
                  "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early\r\nLink: <a>\r\n\r\n"
                  "HTTP/1.1 200 Fine\r\nContent-Length: 2\r\n\r\nok",
                  "head 200 Fine\n  HTTP/1.1 100 Continue\n  HTTP/1.1 103 Early\n"
                  "  HTTP/1.1 200 Fine\n  Content-Length: 2\n  \nbody ok\nend\nmessage\nleft 0\n"},
        ParseCase{"ExpectAnswerThenTheFinalOne",
                  "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx",
                  "head 100 Continue\n  HTTP/1.1 100 Continue\n  \n"
                  "head 200 OK\n  HTTP/1.1 200 OK\n  Content-Length: 1\n  \nbody x\nend\nmessage\n"
                  "left 0\n",
                  kExpect},
        ParseCase{"SeventeenInterimAnswers", Times("HTTP/1.1 102 P\r\n\r\n", 17),
                  "failed head too many interim answers (17)\n"},
        ParseCase{"NoContentHasNoBody", "HTTP/1.1 204 No Content\r\nContent-Length: 3\r\n\r\nabc",
                  "head 204 No Content\n  HTTP/1.1 204 No Content\n  Content-Length: 3\n  \n"
                  "end\nmessage\nleft 3\n"},
        ParseCase{"NotModifiedHasNoBody", "HTTP/1.1 304 NM\r\nTransfer-Encoding: chunked\r\n\r\nx",
                  "head 304 NM\n  HTTP/1.1 304 NM\n  Transfer-Encoding: chunked\n  \n"
                  "end\nmessage\nleft 1\n"},
        ParseCase{"AnswerToHeadHasNoBody", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n",
                  "head 200 OK\n  HTTP/1.1 200 OK\n  Content-Length: 3\n  \nend\nmessage\nleft 0\n",
                  kHead},
        ParseCase{"NoStatusLine", "\r\n<html>hi\nrest",
                  "head 0 \nbody <html>hi\r\nrest\nend\nmessage\nleft 0\n"},
        ParseCase{"FirstLineBeyondTheLineBound", "<html>0123456789abcdef\r\nrest",
                  "head 0 \nbody <html>0123456789abcdef\r\nrest\nend\nmessage\nleft 0\n",
                  kShortLines},
        ParseCase{"FieldLineBeyondTheLineBound", "HTTP/1.0 200 OK\r\nX: 0123456789abcdef\r\n\r\n",
                  "failed head response head line too long\n", kShortLines},
        ParseCase{"ChunkSizeLineBeyondTheLineBound",
                  kChunked + "1;" + std::string(30, 'a') + "\r\nx\r\n0\r\n\r\n",
                  kChunkedHead + "failed body line too long\n", kLines28},
        ParseCase{"MalformedChunkSize", kChunked + "2\r\nab\r\nzz\r\nmore",
                  kChunkedHead + "body ab\nfailed body bad chunk size\n"},
        ParseCase{"ChunkSizeBeyond32Bits", kChunked + "FFFFFFFFFFFF\r\nxyz",
                  kChunkedHead + "failed body chunk too large\n"},
        ParseCase{"CountedCutShort", "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nhello",
                  "head 200 OK\n  HTTP/1.0 200 OK\n  Content-Length: 10\n  \nbody hello\n"
                  "failed body cut short\n"},
        ParseCase{"HeadCutShort", "HTTP/1.0 200 OK\r\nServer: x", "head cut short\nleft 0\n"}),
    [](const ::testing::TestParamInfo<ParseCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace movrek
