// Arbitrary bytes as a coded body: the first byte picks the coding and the
// size of the pieces the rest arrives in. Fed whole or in pieces, the decoder
// must reach the same verdict (and the same bytes when it completes), in
// pieces no larger than its bound, and stop as soon as its reader does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/http/content_decoder.h"
#include "net/http/http_limits.h"

namespace {

constexpr const char* kCodings[] = {"gzip", "deflate", "br", "zstd"};
// A bomb is cut here: the reader stops, as the page file's bound would.
constexpr std::size_t kReaderBound = std::size_t{4} << 20;

struct TOutcome {
  std::string Decoded;
  bool Complete = false;
  bool Failed = false;
};

TOutcome Decode(const char* coding, std::string_view coded, std::size_t piece) {
  movrek::TContentDecoder decoder({coding});
  TOutcome outcome;
  const movrek::TDecodedOut out = [&outcome](std::string_view part) {
    if (part.empty() || part.size() > movrek::kDecodedPieceBytes) {
      std::abort();
    }
    outcome.Decoded.append(part.substr(0, kReaderBound - outcome.Decoded.size()));
    return outcome.Decoded.size() < kReaderBound;
  };
  for (std::size_t at = 0; at < coded.size(); at += piece) {
    if (!decoder.Feed(coded.substr(at, piece), out)) {
      outcome.Failed = !decoder.Error().empty();
      return outcome;
    }
  }
  outcome.Complete = decoder.Finish();
  outcome.Failed = !outcome.Complete;
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) {
    return 0;
  }
  const char* coding = kCodings[data[0] % 4];
  const std::size_t piece = 1 + data[0] / 4;
  const std::string_view coded(reinterpret_cast<const char*>(data) + 1, size - 1);
  const TOutcome whole = Decode(coding, coded, coded.size() + 1);
  const TOutcome split = Decode(coding, coded, piece);
  // The reader's bound may stop the two at different inputs; a failure may
  // come after more or fewer bytes of a piece were handed on, but it comes.
  const bool bounded = whole.Decoded.size() == kReaderBound || split.Decoded.size() == kReaderBound;
  if (!bounded && (whole.Complete != split.Complete || whole.Failed != split.Failed ||
                   (whole.Complete && whole.Decoded != split.Decoded))) {
    std::abort();
  }
  return 0;
}
