#include "cli/options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

#include "engine/parallel/parallel_job.h"
#include "engine/parallel/parallel_limits.h"
#include "net/base/ip_text.h"
#include "text/ascii_text.h"

namespace movrek::cli {
namespace {

// "USER:PASS"; a missing colon means an empty password.
void SplitCredentials(const std::string& text, std::string& user, std::string& pass) {
  const std::size_t colon = text.find(':');
  user = text.substr(0, colon);
  pass = colon == std::string::npos ? std::string() : text.substr(colon + 1);
}

// A whole number from `low` to `high`.
bool ParseCount(const std::string& text, int low, int high, int& out) {
  if (text.size() > 4 || high < 0) {
    return false;
  }
  const auto value = ParseDigits(text, static_cast<std::uint64_t>(high));
  if (!value || *value < static_cast<std::uint64_t>(std::max(low, 0))) {
    return false;
  }
  out = static_cast<int>(*value);
  return true;
}

// Seconds, a fraction allowed, more than zero (or zero itself when
// `allowZero`) and at most a day.
bool ParseSeconds(const std::string& text, std::chrono::milliseconds& out, bool allowZero = false) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) {
    return false;
  }
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !(seconds >= 0) || seconds > 86400) {
    return false;
  }
  out = std::chrono::milliseconds(std::llround(seconds * 1000));
  return out.count() > 0 || (allowZero && seconds == 0);
}

// --- connections, retries and the low-speed rule ---

// "BYTES/SECONDS", or "0" for no low-speed rule.
bool ParseMinSpeed(const std::string& text, TFetchPolicy& fetch) {
  if (text == "0") {
    fetch.MinSpeedBytes = 0;
    return true;
  }
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos || slash == 0 || slash > 10) {
    return false;
  }
  const auto bytes = ParseDigits(text.substr(0, slash), std::uint64_t{1} << 30);
  std::chrono::milliseconds window{};
  if (!bytes || *bytes == 0 || !ParseSeconds(text.substr(slash + 1), window)) {
    return false;
  }
  fetch.MinSpeedBytes = static_cast<std::int64_t>(*bytes);
  fetch.MinSpeedWindow = window;
  return true;
}

// Answers whether `arg` is one of the options of connections and retries;
// `problem` tells what is wrong with its value.
bool ParseFetchOption(const std::string& arg, const std::function<bool(std::string&)>& value,
                      bool takesNoValue, TFetchPolicy& fetch, std::string& problem) {
  std::string text;
  if (arg == "--no-keep-alive") {
    fetch.KeepAlive = false;
    problem = takesNoValue ? "" : "option --no-keep-alive takes no value";
  } else if (arg == "--retries") {
    if (!value(text) || !ParseCount(text, 0, kMaxRetries, fetch.Retries)) {
      problem = "option --retries needs a number from 0 to " + std::to_string(kMaxRetries);
    }
  } else if (arg == "--max-retry-wait") {
    if (!value(text) || !ParseSeconds(text, fetch.MaxRetryWait, true)) {
      problem = "option --max-retry-wait needs SECONDS (0 to 86400)";
    }
  } else if (arg == "--delay") {
    const auto delay = value(text) && text.size() <= 6 ? ParseDigits(text, kMaxRequestDelayMs)
                                                       : std::optional<std::uint64_t>();
    if (!delay) {
      problem =
          "option --delay needs MILLISECONDS (0 to " + std::to_string(kMaxRequestDelayMs) + ")";
    } else {
      fetch.Delay = std::chrono::milliseconds(*delay);
    }
  } else if (arg == "--min-speed") {
    if (!value(text) || !ParseMinSpeed(text, fetch)) {
      problem =
          "option --min-speed needs BYTES/SECONDS (1 to 1073741824 bytes, more than 0 and "
          "at most 86400 seconds) or 0";
    }
  } else {
    return false;
  }
  return true;
}

bool ParseFormat(const std::string& text, TResultFormat& out) {
  if (text == "text") {
    out = TResultFormat::Text;
  } else if (text == "tsv") {
    out = TResultFormat::Tsv;
  } else if (text == "jsonl") {
    out = TResultFormat::Jsonl;
  } else {
    return false;
  }
  return true;
}

// The switches for terminals and scripts; false when `arg` is none of them.
bool ParseRunSwitch(const std::string& arg, TCliOptions& options) {
  if (arg == "--version") {
    options.Version = true;
  } else if (arg == "--progress" || arg == "--no-progress") {
    options.Progress = arg == "--progress" ? TProgressMode::On : TProgressMode::Off;
  } else if (arg == "--quiet") {
    options.Quiet = true;
  } else if (arg == "--with-status") {
    options.WithStatus = true;
  } else {
    return false;
  }
  return true;
}

}  // namespace

TCliOptions::TCliOptions() {
  Job.PagesOnly = true;
  Job.MaxBodyBytes = kDefaultMaxPageBytes;
  Job.RequestCompression = true;
}

bool ParseByteSize(const std::string& text, std::int64_t& out) {
  if (text.empty()) {
    return false;
  }
  std::string digits = text;
  int shift = 0;
  switch (AsciiUpperChar(digits.back())) {
    case 'K':
      shift = 10;
      break;
    case 'M':
      shift = 20;
      break;
    case 'G':
      shift = 30;
      break;
    default:
      break;
  }
  if (shift != 0) {
    digits.pop_back();
  }
  // Up to 1 TiB: far past the HTTP layer's ceiling, which bounds every body.
  const auto value = ParseDigits(digits, (std::uint64_t{1} << 40) >> shift);
  if (!value) {
    return false;
  }
  out = static_cast<std::int64_t>(*value << shift);
  return true;
}

std::string SaveTargetProblem(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  const std::string folder = slash == 0 ? "/" : file.substr(0, slash);
  const std::string cannot = "cannot save to '" + file + "': ";
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) {
    return cannot + folder + ": " + std::strerror(errno);
  }
  if (!S_ISDIR(info.st_mode)) {
    return cannot + folder + ": " + std::strerror(ENOTDIR);
  }
  // The save writes a new file in the folder and renames it over FILE.
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return cannot + folder + ": " + std::strerror(errno);
  }
  if (::stat(file.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      return cannot + std::strerror(EISDIR);
    }
    if (::access(file.c_str(), W_OK) != 0) {
      return cannot + std::strerror(errno);
    }
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
    if (colon == std::string::npos) {
      return false;
    }
    h = text.substr(0, colon);
    p = text.substr(colon + 1);
    // An IPv6 address needs its brackets, or the port cannot be told apart.
    if (h.find(':') != std::string::npos) {
      return false;
    }
  }
  if (h.empty() || !IsPortText(p)) {
    return false;
  }
  host = h;
  port = p;
  return true;
}

std::string ParseCommandLine(const std::vector<std::string>& args, TCliOptions& options) {
  bool onlyFiles = false;
  bool haveFile = false;
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
      if (i + 1 >= args.size()) {
        return false;
      }
      out = args[++i];
      return true;
    };
    auto flag = [&]() { return !hasInline; };

    if (onlyFiles || arg == "-" || arg.empty() || arg[0] != '-') {
      if (haveFile) {
        return "more than one URL file given: '" + args[i] + "'";
      }
      options.UrlFile = args[i];
      haveFile = true;
    } else if (arg == "--") {
      onlyFiles = true;
    } else if (arg == "--help" || arg == "-h") {
      if (!flag()) {
        return "option " + arg + " takes no value";
      }
      options.Help = true;
    } else if (ParseRunSwitch(arg, options)) {
      if (!flag()) {
        return "option " + arg + " takes no value";
      }
    } else if (arg == "--having" || arg == "--not-having") {
      std::string word;
      if (!value(word)) {
        return "option " + arg + " needs a KEYWORD";
      }
      if (arg == "--having") {
        options.Filter.AddHaving(word);
      } else {
        options.Filter.AddNotHaving(word);
      }
    } else if (arg == "--match" || arg == "--not-match") {
      std::string pattern;
      if (!value(pattern)) {
        return "option " + arg + " needs a REGEX";
      }
      const std::string error =
          arg == "--match" ? options.Filter.AddMatch(pattern) : options.Filter.AddNotMatch(pattern);
      if (!error.empty()) {
        return std::string("bad regular expression '").append(pattern).append("': ").append(error);
      }
    } else if (arg == "--jobs" || arg == "--per-host") {
      std::string text;
      int& count = arg == "--jobs" ? options.Jobs : options.PerHost;
      if (!value(text) || !ParseCount(text, 1, kMaxParallelJobs, count)) {
        return "option " + arg + " needs a number from 1 to " + std::to_string(kMaxParallelJobs);
      }
    } else if (arg == "--max-time") {
      std::string text;
      if (!value(text) || !ParseSeconds(text, options.MaxTime, true)) {
        return "option --max-time needs SECONDS (0 for none, at most 86400)";
      }
    } else if (arg == "--format") {
      std::string text;
      if (!value(text) || !ParseFormat(text, options.Format)) {
        return "option --format needs text, tsv or jsonl";
      }
    } else if (arg == "--unique" || arg == "--verify") {
      if (!flag()) {
        return "option " + arg + " takes no value";
      }
      (arg == "--unique" ? options.Unique : options.Job.VerifyCertificates) = true;
    } else if (arg == "--save") {
      if (!value(options.SaveFile) || options.SaveFile.empty()) {
        return "option --save needs a FILE";
      }
      // The job ignores save targets of 3 characters or fewer; "./" keeps a
      // short name such as "out" meaning the same file without being ignored.
      if (options.SaveFile[0] != '/') {
        options.SaveFile.insert(0, "./");
      }
    } else if (arg == "--no-delay") {
      if (!flag()) {
        return "option --no-delay takes no value";
      }
      options.Job.Pauses = false;
    } else if (arg == "--any-type" || arg == "--no-compression") {
      if (!flag()) {
        return "option " + arg + " takes no value";
      }
      (arg == "--any-type" ? options.Job.PagesOnly : options.Job.RequestCompression) = false;
    } else if (arg == "--max-size") {
      std::string text;
      if (!value(text) || !ParseByteSize(text, options.Job.MaxBodyBytes)) {
        return "option --max-size needs SIZE (bytes, or with K, M or G; 0 for no bound)";
      }
    } else if (arg == "--proxy") {
      std::string text;
      if (!value(text) || !SplitHostPort(text, proxy.ProxyHost, proxy.ProxyPort)) {
        return "option --proxy needs HOST:PORT";
      }
    } else if (arg == "--proxy-user") {
      std::string text;
      if (!value(text)) {
        return "option --proxy-user needs USER:PASS";
      }
      SplitCredentials(text, proxy.ProxyUser, proxy.ProxyPass);
      proxyUser = true;
    } else if (arg == "--socks") {
      std::string text;
      if (!value(text) || !SplitHostPort(text, proxy.SocksIP, proxy.SocksPort)) {
        return "option --socks needs HOST:PORT";
      }
    } else if (arg == "--socks4") {
      if (!flag()) {
        return "option --socks4 takes no value";
      }
      proxy.SocksType = ST_Socks4;
      socks4 = true;
    } else if (arg == "--socks-user") {
      std::string text;
      if (!value(text)) {
        return "option --socks-user needs USER:PASS";
      }
      SplitCredentials(text, proxy.SocksUsername, proxy.SocksPassword);
      socksUser = true;
    } else if (std::string problem; ParseFetchOption(arg, value, flag(), options.Fetch, problem)) {
      if (!problem.empty()) {
        return problem;
      }
    } else {
      return "unknown option '" + args[i] + "'";
    }
  }
  if (proxyUser && proxy.ProxyHost.empty()) {
    return "--proxy-user needs --proxy";
  }
  if ((socks4 || socksUser) && proxy.SocksIP.empty()) {
    return std::string(socks4 ? "--socks4" : "--socks-user") + " needs --socks";
  }
  if (options.WithStatus && options.Format != TResultFormat::Tsv) {
    return "--with-status needs --format tsv";
  }
  return std::string();
}

std::string UsageText() {
  return R"usage(Usage: movrek-cli [OPTIONS] [URLFILE]

Fetches every page listed in URLFILE (or standard input when URLFILE is
missing or "-"), one address per line, and prints the links of each page as a
block: the comment lines "#===========#", "# Links From: ADDRESS",
"# Baseurl: BASE", "#===========#", then one line per link, relative links
with the page's base in front. A UTF-8 byte order mark before the first line
is dropped; lines shorter than 3 characters or holding only blanks are
ignored; a line holding a NUL byte or longer than 65536 bytes is refused (and
counted as failed); an address that does not start with "http://" or
"https://" (any case) is fetched with "http://" in front.

Filters (a link is kept when it contains any --having word, none of the
--not-having words, matches every --match and no --not-match; case matters;
they look at the href as the page writes it, character references decoded):
  --having KEYWORD       keep the links that contain KEYWORD (may be repeated)
  --not-having KEYWORD   drop the links that contain KEYWORD (may be repeated)
  --match REGEX          keep only links in which REGEX finds a match (RE2
                         syntax, linear time; the link is taken byte by byte)
  --not-match REGEX      drop the links in which REGEX finds a match
  --unique               write each link only once: a link written earlier in
                         the job (page order, then list order) is left out

Output:
  --format FORMAT        text (default): the blocks above;
                         tsv: one line "PAGE<TAB>LINK" per link, PAGE the final
                         address of the page, tab, CR, LF and backslash in a
                         value written as \t, \r, \n and \\;
                         jsonl: one JSON object per address, in list order:
                         url, final_url, status, http_status (null when no
                         HTTP answer came), reason (why the page has no links,
                         as on the "reason:" line, or null), base (null when
                         the page was not read), links, bytes, content_type
                         (null when none), truncated, elapsed_ms.
                         Bytes that are not valid UTF-8 become U+FFFD, so the
                         output is always valid UTF-8.
  --with-status          with --format tsv: the page's HTTP status as a third
                         field, "PAGE<TAB>LINK<TAB>STATUS"
  --save FILE            when the job completes, write the output to FILE too
                         (created or replaced; lines ended by CR LF for text,
                         LF for tsv and jsonl); its folder must exist and be
                         writable

Fetching:
  --jobs N               fetch up to N addresses at once (1 to 64, default 1);
                         the output stays in list order, page by page
  --per-host N           at most N transfers to one host at once (1 to 64,
                         default 4)
  --max-time SECONDS     give each address at most this long, redirects and
                         retries included (a fraction is allowed; default
                         300, 0 for no limit, at most 86400), then it fails
                         with a time-out
  --min-speed BYTES/SECONDS
                         a transfer that receives fewer than BYTES in any
                         SECONDS ends with a time-out (default 1024/30; 0
                         turns the rule off; BYTES 1 to 1073741824, SECONDS
                         a fraction allowed, at most 86400)
  --retries N            try again up to N times (0 to 10, default 2) after
                         a connect that failed, a reset or time-out before
                         the answer's head, or HTTP 408, 429, 500, 502, 503
                         or 504; the waits start at 1 s and double up to
                         30 s, spread by up to 20%. Each retry is reported
                         as "  retry 1 of 2 in 4 s: HTTP 503". When the
                         tries are spent, the last answer is the page's
  --max-retry-wait SECONDS
                         wait as long as a server's Retry-After asks (in
                         seconds or as a date), up to SECONDS (default 120,
                         0 to 86400); a server that asks for more gets no
                         retry. After 429 or 503 the whole host waits, the
                         other hosts go on
  --delay MS             at least MS milliseconds between the starts of two
                         requests to one host (0 to 600000, default 0)
  --no-keep-alive        one connection per request (HTTP/1.0), as older
                         versions did; by default requests speak HTTP/1.1
                         and reuse up to --per-host idle connections to a
                         host (closed after 30 s idle), and new HTTPS
                         connections resume the host's TLS session
  --verify               check HTTPS certificates against the system's trust
                         store and the host name. Without it certificates are
                         NOT checked.
  --no-delay             skip the pauses after each page (500 ms) and each
                         URL (100 ms)
  --any-type             read every body as a page; without it a body whose
                         Content-Type is neither text/html nor
                         application/xhtml+xml is not downloaded ("SKIPPED, NOT
                         HTML (TYPE). ADDRESS"), and without a Content-Type the
                         first bytes decide (NUL bytes or the signature of a
                         PDF, ZIP, gzip, PNG, JPEG, GIF, ELF, ... file: skipped)
  --max-size SIZE        keep at most SIZE bytes of each body (decoded), K, M or
                         G allowed (default 64M); a longer body is cut there,
                         its links listed and "  note: body cut at N bytes
                         (--max-size)" follows its status; 0: no bound but the
                         2 GiB ceiling
  --no-compression       ask for no compressed bodies (by default the request
                         offers gzip, deflate, br and zstd; a compressed body is
                         decoded whether it was asked for or not)
  --proxy HOST:PORT      fetch through an HTTP proxy (CONNECT tunnel for https)
  --proxy-user USER:PASS credentials for the HTTP proxy
  --socks HOST:PORT      connect through a SOCKS 5 proxy
  --socks4               speak SOCKS 4 (4a for names) to the --socks proxy
  --socks-user USER:PASS credentials for the SOCKS proxy (SOCKS 4: user id)

Terminal and scripts:
  --progress             show the live progress line even when standard error
                         is not a terminal
  --no-progress          never show it
  --quiet                standard error gets only the lines of failed pages
                         and the summary (no live line unless --progress)
  --version              print the version and exit
  -h, --help             show this text

Result lines go to standard output (LF). Standard error gets, for each
address in list order, its progress line and its status ("OK : ",
"NETWORK ERROR or DOMAIN DOES NOT EXIST. ", "REFUSED. " for a refused list
line, ...); then "  http: 404 Not Found" when the final answer was not a 2xx
one, or "  reason: TEXT" when the page has no links ("socket error NUMBER,
TEXT", "redirect loop", "too many redirects (20)", "NUL byte in address",
"content decoding failed: TEXT" for a compressed body that is corrupt or cut
short, ...). When standard error is a terminal, a status line at its bottom
shows the pages done, failed, links, pages a second, the time left and the
addresses in transfer with their bytes. The last line is the summary:
"412 pages, 37,311 links, 3 failed, 1 skipped in 12.4 s" (failed: no page, or
an answer outside 2xx; skipped: not HTML). Ctrl+C, SIGTERM and SIGHUP abort:
the addresses in transfer are named, the lines printed so far stay and
nothing is saved.

Exit status: 0 when the job completed (addresses that could not be fetched
included), 1 when an error ended it early or the save failed (the message is on
standard error), 2 for a usage error (a bad regular expression included), a URL
list without a usable address or a --save FILE that cannot be written, 130
after Ctrl+C, 143 after SIGTERM, 129 after SIGHUP, 141 when standard output was
closed or could not be written (the job stops then).

Example:
  printf 'http://127.0.0.1:8080/index.html\n' > urls.txt
  movrek-cli --no-delay --having .pdf --save links.txt urls.txt
  movrek-cli --jobs 16 --unique --format jsonl --match '\.pdf$' urls.txt
)usage";
}

}  // namespace movrek::cli
