// URL splitting, field taking, line breaks and Base64 on arbitrary bytes: no
// input may crash or break the invariants the callers rely on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/base/base64.h"
#include "net/base/text_util.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::string protocol, user, password, host, port, path, parameters;
  const std::string target =
      movrek::SplitUrl(text, protocol, user, password, host, port, path, parameters);
  Check(!target.empty() && target[0] == '/');
  Check(!path.empty() && path[0] == '/');
  Check(!host.empty());

  std::string rest = text;
  std::size_t fields = 0;
  while (!rest.empty()) {
    const std::size_t before = rest.size();
    movrek::TakeField(rest, ",");
    Check(rest.size() < before);
    ++fields;
  }
  Check(fields <= size);

  std::string terminator;
  const int at = movrek::FindLineBreak(text, terminator);
  Check(at == -1 ? terminator.empty()
                 : (at >= 1 && static_cast<std::size_t>(at) <= size && !terminator.empty()));

  Check(movrek::ToBase64(text).size() == (size + 2) / 3 * 4);
  if (size >= 1) {
    const std::string search = text.substr(0, 1 + size / 4);
    movrek::ReplaceAllText(text, search, "xy");
  }
  return 0;
}
