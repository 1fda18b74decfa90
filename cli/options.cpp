#include "cli/options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace movrek::cli {
namespace {

bool IsPortNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= 65535;
}

// "USER:PASS"; a missing colon means an empty password.
void SplitCredentials(const std::string& text, std::string& user, std::string& pass) {
  const std::size_t colon = text.find(':');
  user = text.substr(0, colon);
  pass = colon == std::string::npos ? std::string() : text.substr(colon + 1);
}

}  // namespace

std::string SaveTargetProblem(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  const std::string folder = slash == 0 ? "/" : file.substr(0, slash);
  const std::string cannot = "cannot save to '" + file + "': ";
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return cannot + folder + ": " + std::strerror(errno);
  if (!S_ISDIR(info.st_mode)) return cannot + folder + ": " + std::strerror(ENOTDIR);
  // The save writes a new file in the folder and renames it over FILE.
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return cannot + folder + ": " + std::strerror(errno);
  }
  if (::stat(file.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return cannot + std::strerror(EISDIR);
    if (::access(file.c_str(), W_OK) != 0) return cannot + std::strerror(errno);
  }
  return std::string();
}

bool SplitHostPort(const std::string& text, std::string& host, std::string& port) {
  std::string h;
  std::string p;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      return false;
    }
    h = text.substr(1, close - 1);
    p = text.substr(close + 2);
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    h = text.substr(0, colon);
    p = text.substr(colon + 1);
    // An IPv6 address needs its brackets, or the port cannot be told apart.
    if (h.find(':') != std::string::npos) return false;
  }
  if (h.empty() || !IsPortNumber(p)) return false;
  host = h;
  port = p;
  return true;
}

std::string ParseCommandLine(const std::vector<std::string>& args, TCliOptions& options) {
  bool onlyFiles = false;
  bool haveFile = false;
  bool haveFilter = false;
  bool proxyUser = false;
  bool socks4 = false;
  bool socksUser = false;
  TProxySettings& proxy = options.Job.Proxy;

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string inlineValue;
    bool hasInline = false;
    if (!onlyFiles && arg.rfind("--", 0) == 0 && arg.size() > 2) {
      const std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        inlineValue = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        hasInline = true;
      }
    }
    // Takes the value of an option that needs one.
    auto value = [&](std::string& out) -> bool {
      if (hasInline) {
        out = inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    auto flag = [&]() { return !hasInline; };

    if (onlyFiles || arg == "-" || arg.empty() || arg[0] != '-') {
      if (haveFile) return "more than one URL file given: '" + args[i] + "'";
      options.UrlFile = args[i];
      haveFile = true;
    } else if (arg == "--") {
      onlyFiles = true;
    } else if (arg == "--help" || arg == "-h") {
      if (!flag()) return "option " + arg + " takes no value";
      options.Help = true;
    } else if (arg == "--having" || arg == "--not-having") {
      if (haveFilter) return "give only one of --having and --not-having";
      if (!value(options.Keyword)) return "option " + arg + " needs a KEYWORD";
      options.FilterEnabled = true;
      options.FilterMode = arg == "--having" ? 0 : 1;
      haveFilter = true;
    } else if (arg == "--save") {
      if (!value(options.SaveFile) || options.SaveFile.empty()) {
        return "option --save needs a FILE";
      }
      // The job ignores save targets of 3 characters or fewer; "./" keeps a
      // short name such as "out" meaning the same file without being ignored.
      if (options.SaveFile[0] != '/') options.SaveFile.insert(0, "./");
    } else if (arg == "--no-delay") {
      if (!flag()) return "option --no-delay takes no value";
      options.Job.Pauses = false;
    } else if (arg == "--proxy") {
      std::string text;
      if (!value(text) || !SplitHostPort(text, proxy.ProxyHost, proxy.ProxyPort)) {
        return "option --proxy needs HOST:PORT";
      }
    } else if (arg == "--proxy-user") {
      std::string text;
      if (!value(text)) return "option --proxy-user needs USER:PASS";
      SplitCredentials(text, proxy.ProxyUser, proxy.ProxyPass);
      proxyUser = true;
    } else if (arg == "--socks") {
      std::string text;
      if (!value(text) || !SplitHostPort(text, proxy.SocksIP, proxy.SocksPort)) {
        return "option --socks needs HOST:PORT";
      }
    } else if (arg == "--socks4") {
      if (!flag()) return "option --socks4 takes no value";
      proxy.SocksType = ST_Socks4;
      socks4 = true;
    } else if (arg == "--socks-user") {
      std::string text;
      if (!value(text)) return "option --socks-user needs USER:PASS";
      SplitCredentials(text, proxy.SocksUsername, proxy.SocksPassword);
      socksUser = true;
    } else {
      return "unknown option '" + args[i] + "'";
    }
  }
  if (proxyUser && proxy.ProxyHost.empty()) return "--proxy-user needs --proxy";
  if ((socks4 || socksUser) && proxy.SocksIP.empty()) {
    return std::string(socks4 ? "--socks4" : "--socks-user") + " needs --socks";
  }
  return std::string();
}

std::string UsageText() {
  return R"(Usage: movrek-cli [OPTIONS] [URLFILE]

Fetches every page listed in URLFILE (or standard input when URLFILE is
missing or "-"), one address per line, and prints the links of each page as a
block: the comment lines "#===========#", "# Links From: ADDRESS",
"# Baseurl: BASE", "#===========#", then one line per link, relative links
with the page's base in front. Lines shorter than 3 characters are ignored;
an address that does not start with "http://" or "https://" (any case) is
fetched with "http://" in front.

Options:
  --having KEYWORD       keep only the links that contain KEYWORD (case matters)
  --not-having KEYWORD   keep only the links that do not contain KEYWORD
  --save FILE            when the job completes, write all result lines to FILE
                         (created or replaced, lines ended by CR LF); its
                         folder must exist and be writable
  --no-delay             skip the pauses after each page (500 ms) and each
                         URL (100 ms)
  --proxy HOST:PORT      fetch through an HTTP proxy (CONNECT tunnel for https)
  --proxy-user USER:PASS credentials for the HTTP proxy
  --socks HOST:PORT      connect through a SOCKS 5 proxy
  --socks4               speak SOCKS 4 (4a for names) to the --socks proxy
  --socks-user USER:PASS credentials for the SOCKS proxy (SOCKS 4: user id)
  -h, --help             show this text

Output: result lines on standard output (LF); the status of each address
("OK : ", "NETWORK ERROR or DOMAIN DOES NOT EXIST. ", ...) and the progress
lines on standard error. Ctrl+C, SIGTERM and SIGHUP abort: the lines printed
so far stay and nothing is saved.

Exit status: 0 when the job completed (addresses that could not be fetched
included), 1 when an error ended it early or the save failed (the message is on
standard error), 2 for a usage error, an empty URL list or a --save FILE that
cannot be written, 130 after Ctrl+C, 143 after SIGTERM, 129 after SIGHUP,
141 when standard output was closed or could not be written (the job stops
then).

Example:
  printf 'http://127.0.0.1:8080/index.html\n' > urls.txt
  movrek-cli --no-delay --having .pdf --save links.txt urls.txt
)";
}

}  // namespace movrek::cli
