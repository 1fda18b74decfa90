#include "net/base/base64.h"

#include "net/base/text_util.h"

namespace movrek {

std::string ToBase64(const std::string& value) {
  // RFC 4648 section 4 alphabet; index 64 is the "=" fill character.
  static const std::string kTable =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
  return EncodeTriplets(value, kTable);
}

}  // namespace movrek
