#include "net/base/text_util.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "text/ascii_text.h"

namespace movrek {

std::uint32_t TickNow() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms.count()));
}

std::uint32_t TickSpan(std::uint32_t oldTick, std::uint32_t newTick) {
  if (newTick == oldTick) {
    return 0;
  }
  if (newTick > oldTick) {
    return newTick - oldTick;
  }
  // Shifting both by half the range tells a counter that passed its top
  // (old high, new low) from readings that merely came in the wrong order.
  const std::uint32_t half = 0x80000000u;
  const std::uint32_t shiftedOld = oldTick + half;
  const std::uint32_t shiftedNew = newTick + half;
  if (shiftedNew >= shiftedOld) {
    return shiftedNew - shiftedOld;
  }
  return shiftedOld - shiftedNew;
}

std::string PackWord16(std::uint16_t value) {
  std::string result(2, '\0');
  result[0] = static_cast<char>(value >> 8);
  result[1] = static_cast<char>(value & 0xFF);
  return result;
}

std::uint16_t UnpackWord16(const std::string& value, std::size_t index) {
  auto byteAt = [&value](std::size_t position) -> unsigned {
    if (position < 1 || position > value.size()) {
      return 0;
    }
    return static_cast<unsigned char>(value[position - 1]);
  };
  return static_cast<std::uint16_t>(byteAt(index) * 256 + byteAt(index + 1));
}

std::string PackLong32(std::uint32_t value) {
  std::string result(4, '\0');
  for (int i = 0; i < 4; ++i) {
    result[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
  }
  return result;
}

std::uint32_t SwapLong32(std::uint32_t value) {
  return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) |
         (value >> 24);
}

std::string TrimBlanksLeft(const std::string& value) {
  const auto first = value.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : value.substr(first);
}

std::string TrimBlanksRight(const std::string& value) {
  const auto last = value.find_last_not_of(' ');
  return last == std::string::npos ? std::string() : value.substr(0, last + 1);
}

std::string TrimBlanks(const std::string& value) {
  return TrimBlanksLeft(TrimBlanksRight(value));
}

std::string TextBefore(const std::string& value, const std::string& delimiter) {
  if (delimiter.empty()) {
    return value;
  }
  const auto at = value.find(delimiter);
  return at == std::string::npos ? value : value.substr(0, at);
}

std::string TextAfter(const std::string& value, const std::string& delimiter) {
  if (delimiter.empty()) {
    return value;
  }
  const auto at = value.find(delimiter);
  return at == std::string::npos ? value : value.substr(at + delimiter.size());
}

std::string TakeFieldRaw(std::string& value, const std::string& delimiter) {
  std::string field = TextBefore(value, delimiter);
  std::string rest = TextAfter(value, delimiter);
  value = (rest == value) ? std::string() : std::move(rest);
  return field;
}

std::string TakeField(std::string& value, const std::string& delimiter) {
  std::string field = TrimBlanks(TakeFieldRaw(value, delimiter));
  value = TrimBlanks(value);
  return field;
}

std::string SplitUrl(const std::string& url, std::string& protocol, std::string& user,
                     std::string& password, std::string& host, std::string& port, std::string& path,
                     std::string& parameters) {
  std::string target =
      SplitUrlAsWritten(url, protocol, user, password, host, port, path, parameters);
  if (host.empty()) {
    host = "localhost";
  }
  return target;
}

std::string SplitUrlAsWritten(const std::string& url, std::string& protocol, std::string& user,
                              std::string& password, std::string& host, std::string& port,
                              std::string& path, std::string& parameters) {
  protocol = "http";
  user.clear();
  password.clear();
  port = "80";
  parameters.clear();

  std::string rest = url;
  if (const auto scheme = url.find("://"); scheme != std::string::npos) {
    protocol = url.substr(0, scheme);
    rest = url.substr(scheme + 3);
  }

  const std::string upper = AsciiUpper(protocol);
  if (upper == "HTTPS") {
    port = "443";
  } else if (upper == "FTP") {
    port = "21";
  }

  // The authority ends at the first "/", "?" or "#" (RFC 3986 section 3.2),
  // so an "@" or ":" in a query or fragment that follows the host directly
  // ("http://host?to=a@b", "http://host#@b") is neither credentials nor host.
  // Credentials end at the last "@" inside the authority (RFC 3986 section
  // 3.2.1 allows none in them), so the host is what follows all of them.
  const auto authorityEnd = rest.find_first_of("/?#");
  // rfind looks at positions up to authorityEnd, which holds no "@".
  const auto at = rest.rfind('@', authorityEnd);
  if (at != std::string::npos) {
    const std::string credentials = rest.substr(0, at);
    rest = rest.substr(at + 1);
    if (credentials.find(':') != std::string::npos) {
      user = TextBefore(credentials, ":");
      password = TextAfter(credentials, ":");
    } else {
      user = credentials;
    }
  }

  std::string hostPart = rest;
  std::string pathPart;
  if (const auto end = rest.find_first_of("/?#"); end != std::string::npos) {
    hostPart = rest.substr(0, end);
    // A "/" is the root of the path and is put back below; a "?" or "#"
    // follows an empty path and stays.
    pathPart = rest.substr(rest[end] == '/' ? end + 1 : end);
  }

  if (!hostPart.empty() && hostPart[0] == '[') {
    // An IPv6 literal in brackets (RFC 3986 section 3.2.2).
    host = TextBefore(hostPart, "]").substr(1);
    const std::string remainder = TextAfter(hostPart, "]");
    if (!remainder.empty() && remainder[0] == ':') {
      port = remainder.substr(1);
    }
  } else if (hostPart.find(':') != std::string::npos) {
    host = TextBefore(hostPart, ":");
    port = TextAfter(hostPart, ":");
  } else {
    host = hostPart;
  }

  std::string target = "/" + pathPart;
  if (pathPart.find('?') != std::string::npos) {
    path = "/" + TextBefore(pathPart, "?");
    parameters = TextAfter(pathPart, "?");
  } else {
    path = "/" + pathPart;
  }
  return target;
}

std::string PercentDecode(const std::string& value) {
  std::string result;
  result.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size() && HexDigitValue(value[i + 1]) >= 0 &&
        HexDigitValue(value[i + 2]) >= 0) {
      result += static_cast<char>(HexDigitValue(value[i + 1]) * 16 + HexDigitValue(value[i + 2]));
      i += 2;
    } else {
      result += value[i];
    }
  }
  return result;
}

std::string ReplaceAllText(const std::string& value, const std::string& search,
                           const std::string& replacement) {
  if (value.empty() || search.empty()) {
    return value;
  }
  std::string result;
  result.reserve(value.size());
  std::size_t from = 0;
  for (auto at = value.find(search); at != std::string::npos; at = value.find(search, from)) {
    result.append(value, from, at - from);
    result += replacement;
    from = at + search.size();
  }
  result.append(value, from, std::string::npos);
  return result;
}

int FindLineBreak(const std::string& value, std::string& terminator) {
  terminator.clear();
  const auto at = value.find_first_of("\r\n");
  if (at == std::string::npos) {
    return -1;
  }
  const char found = value[at];
  const char pair = (found == '\r') ? '\n' : '\r';
  if (at + 1 < value.size() && value[at + 1] == pair) {
    terminator = value.substr(at, 2);
  } else {
    terminator.assign(1, found);
  }
  return static_cast<int>(at) + 1;
}

const char* AdvancePointer(const void* p, std::size_t count) {
  return static_cast<const char*>(p) + count;
}

char* AdvancePointer(void* p, std::size_t count) {
  return static_cast<char*>(p) + count;
}

std::string ReadTextFromStream(const std::string& stream, std::size_t& position,
                               std::size_t count) {
  if (position >= stream.size()) {
    return std::string();
  }
  std::string result = stream.substr(position, count);
  position += result.size();
  return result;
}

void WriteTextToStream(std::string& stream, std::size_t& position, const std::string& text) {
  if (position > stream.size()) {
    position = stream.size();
  }
  const std::size_t overlap = std::min(text.size(), stream.size() - position);
  stream.replace(position, overlap, text);
  position += text.size();
}

void WriteTextToStream(std::string& stream, const std::string& text) {
  stream += text;
}

std::string EncodeTriplets(const std::string& value, const std::string& table) {
  std::string result;
  result.reserve((value.size() + 2) / 3 * 4);
  auto put = [&](unsigned index) {
    if (index < table.size()) {
      result += table[index];
    }
  };
  for (std::size_t i = 0; i < value.size(); i += 3) {
    const unsigned b1 = static_cast<unsigned char>(value[i]);
    const bool has2 = i + 1 < value.size();
    const bool has3 = i + 2 < value.size();
    const unsigned b2 = has2 ? static_cast<unsigned char>(value[i + 1]) : 0;
    const unsigned b3 = has3 ? static_cast<unsigned char>(value[i + 2]) : 0;
    put(b1 >> 2);
    put(((b1 & 0x03) << 4) | (b2 >> 4));
    put(has2 ? (((b2 & 0x0F) << 2) | (b3 >> 6)) : 64);
    put(has3 ? (b3 & 0x3F) : 64);
  }
  return result;
}

}  // namespace movrek
