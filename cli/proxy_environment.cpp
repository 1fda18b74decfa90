#include "cli/proxy_environment.h"

#include "cli/options.h"
#include "net/base/text_util.h"
#include "text/ascii_text.h"

namespace movrek::cli {
namespace {

constexpr char kDefaultProxyPort[] = "1080";

// The first of the variables that is set and not empty; null for none.
const char* FirstSet(const TEnvironmentReader& get, std::initializer_list<const char*> names,
                     const char*& which) {
  for (const char* name : names) {
    const char* value = get(name);
    if (value != nullptr && *value != '\0') {
      which = name;
      return value;
    }
  }
  return nullptr;
}

// The proxy of one scheme; false with `problem` set when its value is bad.
bool ReadProxy(const TEnvironmentReader& get, std::initializer_list<const char*> names,
               std::optional<TProxySettings>& out, std::string& problem) {
  const char* which = nullptr;
  const char* value = FirstSet(get, names, which);
  if (value == nullptr) {
    value = FirstSet(get, {"all_proxy", "ALL_PROXY"}, which);
  }
  if (value == nullptr) {
    return true;
  }
  TProxySettings proxy;
  if (const std::string wrong = ParseProxyUrl(value, proxy); !wrong.empty()) {
    problem = std::string("environment variable ") + which + ": " + wrong;
    return false;
  }
  out = proxy;
  return true;
}

void SplitNoProxy(std::string_view list, std::vector<std::string>& out) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const std::string_view entry = TrimControls(list.substr(0, comma));
    if (!entry.empty()) {
      out.push_back(AsciiLower(std::string(entry)));
    }
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
}

}  // namespace

std::string ParseProxyUrl(std::string_view text, TProxySettings& out) {
  std::string scheme = "http";
  if (const std::size_t at = text.find("://"); at != std::string_view::npos) {
    scheme = AsciiLower(std::string(text.substr(0, at)));
    text.remove_prefix(at + 3);
  }
  text = text.substr(0, text.find('/'));
  std::string user;
  std::string password;
  if (const std::size_t at = text.rfind('@'); at != std::string_view::npos) {
    const std::string_view credentials = text.substr(0, at);
    const std::size_t colon = credentials.find(':');
    user = PercentDecode(std::string(credentials.substr(0, colon)));
    if (colon != std::string_view::npos) {
      password = PercentDecode(std::string(credentials.substr(colon + 1)));
    }
    text.remove_prefix(at + 1);
  }
  std::string host;
  std::string port;
  const std::string where(text);
  const bool has_port =
      !where.empty() && where.back() != ']' && where.find(':') != std::string::npos;
  if (!(has_port ? SplitHostPort(where, host, port) : !where.empty())) {
    return "bad proxy address '" + where + "'";
  }
  if (!has_port) {
    host = where.front() == '[' && where.back() == ']' ? where.substr(1, where.size() - 2) : where;
    port = kDefaultProxyPort;
  }
  if (scheme == "http") {
    out.ProxyHost = host;
    out.ProxyPort = port;
    out.ProxyUser = user;
    out.ProxyPass = password;
    return std::string();
  }
  if (scheme != "socks4" && scheme != "socks4a" && scheme != "socks5" && scheme != "socks5h") {
    return "unsupported proxy scheme '" + scheme + "'";
  }
  out.SocksIP = host;
  out.SocksPort = port;
  out.SocksType = scheme.rfind("socks4", 0) == 0 ? ST_Socks4 : ST_Socks5;
  // socks4a and socks5h leave the name lookup to the proxy.
  out.SocksResolver = scheme == "socks4a" || scheme == "socks5h";
  out.SocksUsername = user;
  out.SocksPassword = password;
  return std::string();
}

std::string ProxyRoutesFromEnvironment(const TEnvironmentReader& get, TProxyRoutes& routes) {
  std::string problem;
  if (!ReadProxy(get, {"http_proxy"}, routes.Http, problem) ||
      !ReadProxy(get, {"https_proxy", "HTTPS_PROXY"}, routes.Https, problem)) {
    return problem;
  }
  const char* which = nullptr;
  if (const char* list = FirstSet(get, {"no_proxy", "NO_PROXY"}, which); list != nullptr) {
    SplitNoProxy(list, routes.NoProxy);
  }
  return std::string();
}

}  // namespace movrek::cli
