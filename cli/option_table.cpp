#include "cli/option_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <type_traits>

#include "cli/cli_limits.h"
#include "engine/parallel/parallel_limits.h"
#include "net/base/name_lookup.h"
#include "text/ascii_text.h"

namespace movrek::cli {
namespace {

// --- the defaults the help states ---

const TParallelSettings& Defaults() {
  static const TCliOptions defaults;
  return defaults.Engine;
}

// Whole seconds, as the defaults are.
std::string Seconds(std::chrono::milliseconds duration) {
  return std::to_string(duration.count() / 1000);
}

// --- what each option sets ---

// "USER:PASS"; a missing colon means an empty password.
void SplitCredentials(const std::string& text, std::string& user, std::string& pass) {
  const std::size_t colon = text.find(':');
  user = text.substr(0, colon);
  pass = colon == std::string::npos ? std::string() : text.substr(colon + 1);
}

// A pattern that does not compile is named, with the regular expression
// library's reason.
bool RegexProblem(const std::string& pattern, const std::string& error, std::string& problem) {
  if (!error.empty()) {
    problem = std::string("bad regular expression '").append(pattern).append("': ").append(error);
  }
  return error.empty();
}

// A --having or --not-having word.
template <auto Add>
bool AddWord(const TOptionValue& v, TCliOptions& o, std::string&) {
  (o.Engine.Filter.*Add)(v.Text);
  return true;
}
template <auto Add>
bool AddPattern(const TOptionValue& v, TCliOptions& o, std::string& problem) {
  return RegexProblem(v.Text, (o.Engine.Filter.*Add)(v.Text), problem);
}
bool SetNameServers(const TOptionValue& v, TCliOptions& o, std::string&) {
  o.Engine.Job.NameServers.Addresses = v.Text;
  return IsNameServerList(v.Text);
}
bool SetUserAgent(const TOptionValue& v, TCliOptions& o, std::string&) {
  o.Engine.Job.UserAgent = v.Text;
  return v.Text.find_first_of("\r\n") == std::string::npos;
}
// "Name: value" (or "Name:" to send no such line), a field name of RFC 9110
// section 5.1 and no line break.
bool AddHeader(const TOptionValue& v, TCliOptions& o, std::string&) {
  const std::size_t colon = v.Text.find(':');
  constexpr std::string_view kTokenSymbols = "!#$%&'*+-.^_`|~";
  const bool named =
      colon != std::string::npos && colon > 0 &&
      std::all_of(v.Text.begin(), v.Text.begin() + static_cast<std::ptrdiff_t>(colon), [&](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
               kTokenSymbols.find(c) != std::string_view::npos;
      });
  if (!named || v.Text.find_first_of("\r\n") != std::string::npos) {
    return false;
  }
  o.Engine.Job.HeaderOverrides.push_back(v.Text);
  return true;
}
bool SetOutput(const TOptionValue& v, TCliOptions& o, std::string&) {
  o.OutputFile = v.Text;
  return !v.Text.empty();
}
bool SetFormat(const TOptionValue& v, TCliOptions& o, std::string&) {
  if (v.Text == "text") {
    o.Format = TResultFormat::Text;
  } else if (v.Text == "tsv") {
    o.Format = TResultFormat::Tsv;
  } else if (v.Text == "jsonl") {
    o.Format = TResultFormat::Jsonl;
  } else if (v.Text == "csv") {
    o.Format = TResultFormat::Csv;
  } else {
    return false;
  }
  return true;
}
bool SetSave(const TOptionValue& v, TCliOptions& o, std::string&) {
  if (v.Text.empty()) {
    return false;
  }
  // The job ignores save targets of 3 characters or fewer; "./" keeps a
  // short name such as "out" meaning the same file without being ignored.
  o.SaveFile = v.Text[0] == '/' ? v.Text : "./" + v.Text;
  return true;
}
bool SetMinSpeed(const TOptionValue& v, TCliOptions& o, std::string&) {
  o.Engine.Fetch.MinSpeedBytes = v.Number;
  if (v.Number != 0) {
    o.Engine.Fetch.MinSpeedWindow = v.Duration;
  }
  return true;
}
// A proxy's HOST:PORT.
template <auto Host, auto Port>
bool SetHostPort(const TOptionValue& v, TCliOptions& o, std::string&) {
  o.Engine.Job.Proxy.*Host = v.Host;
  o.Engine.Job.Proxy.*Port = v.Port;
  return true;
}
// A proxy's USER:PASS.
template <auto User, auto Pass>
bool SetCredentials(const TOptionValue& v, TCliOptions& o, std::string&) {
  SplitCredentials(v.Text, o.Engine.Job.Proxy.*User, o.Engine.Job.Proxy.*Pass);
  return true;
}

// The field a pointer to a member names, in the options or in the settings
// they hold.
template <typename T, typename Owner>
T& FieldOf(TCliOptions& o, T Owner::*field) {
  if constexpr (std::is_same_v<Owner, TJobSettings>) {
    return o.Engine.Job.*field;
  } else if constexpr (std::is_same_v<Owner, TFetchPolicy>) {
    return o.Engine.Fetch.*field;
  } else if constexpr (std::is_same_v<Owner, TProxySettings>) {
    return o.Engine.Job.Proxy.*field;
  } else if constexpr (std::is_same_v<Owner, TParallelSettings>) {
    return o.Engine.*field;
  } else {
    return o.*field;
  }
}

// A switch: sets `Field` to `Value`.
template <auto Field, auto Value>
bool SetTo(const TOptionValue&, TCliOptions& o, std::string&) {
  FieldOf(o, Field) = Value;
  return true;
}

// A count, size or number of milliseconds.
template <auto Field>
bool SetNumber(const TOptionValue& v, TCliOptions& o, std::string&) {
  auto& field = FieldOf(o, Field);
  field = static_cast<std::remove_reference_t<decltype(field)>>(v.Number);
  return true;
}

// The same cap for the connections to a host and the streams on its one
// HTTP/2 connection.
bool SetPerHost(const TOptionValue& v, TCliOptions& o, std::string&) {
  o.Engine.PerHost = static_cast<int>(v.Number);
  o.Engine.H2Streams = o.Engine.PerHost;
  return true;
}

template <auto Field>
bool SetDuration(const TOptionValue& v, TCliOptions& o, std::string&) {
  FieldOf(o, Field) = v.Duration;
  return true;
}

constexpr TOptionEntry kOptions[] = {
    {"--having", "", TValueKind::Text, "KEYWORD", 0, 0, "a KEYWORD",
     "keep the links that contain KEYWORD (may be repeated)",
     "Filters (a link is kept when it contains any --having word, none of the\n"
     "--not-having words, matches every --match and no --not-match; case matters;\n"
     "they look at the link as printed, unless --filter-href):",
     &AddWord<&TLinkFilter::AddHaving>},
    {"--not-having", "", TValueKind::Text, "KEYWORD", 0, 0, "a KEYWORD",
     "drop the links that contain KEYWORD (may be repeated)", "",
     &AddWord<&TLinkFilter::AddNotHaving>},
    {"--match", "", TValueKind::Text, "REGEX", 0, 0, "a REGEX",
     "keep only links in which REGEX finds a match (RE2\n"
     "syntax, linear time; the link is taken byte by byte)",
     "", &AddPattern<&TLinkFilter::AddMatch>},
    {"--not-match", "", TValueKind::Text, "REGEX", 0, 0, "a REGEX",
     "drop the links in which REGEX finds a match", "", &AddPattern<&TLinkFilter::AddNotMatch>},
    {"--filter-href", "", TValueKind::None, "", 0, 0, "",
     "the filters look at the href as the page writes it,\n"
     "character references decoded, as the window's do",
     "", &SetTo<&TParallelSettings::FilterOnHref, true>},
    {"--unique", "", TValueKind::None, "", 0, 0, "",
     "write each link only once: a link printed earlier in\n"
     "the job (page order, then list order) is left out",
     "", &SetTo<&TCliOptions::Unique, true>},
    {"--no-fragments", "", TValueKind::None, "", 0, 0, "",
     "print each link without its \"#fragment\", before the\n"
     "filters and --unique see it",
     "", &SetTo<&TParallelSettings::DropFragments, true>},
    {"--format", "", TValueKind::Text, "FORMAT", 0, 0, "text, tsv, jsonl or csv",
     "text (default): the blocks above;\n"
     "tsv: one line \"PAGE<TAB>LINK\" per link, PAGE the final\n"
     "address of the page, tab, CR, LF and backslash in a\n"
     "value written as \\t, \\r, \\n and \\\\;\n"
     "jsonl: one JSON object per address, in list order:\n"
     "url, final_url, status, outcome (ok, http_error,\n"
     "failed, skipped or refused), http_status (null when no\n"
     "HTTP answer came), reason (why the page has no links,\n"
     "as on the \"reason:\" line, or null), base (null when\n"
     "the page was not read), links, bytes, content_type\n"
     "(null when none), truncated, elapsed_ms; with\n"
     "--with-text, anchors after links;\n"
     "csv: RFC 4180 rows \"page,link,text,rel,status\" under\n"
     "that header row, CR LF ended, with anchor text always.\n"
     "Bytes that are not valid UTF-8 become U+FFFD, so the\n"
     "output is always valid UTF-8.",
     "Output:", &SetFormat},
    {"--with-status", "", TValueKind::None, "", 0, 0, "",
     "with --format tsv: the page's HTTP status as a third\n"
     "field, \"PAGE<TAB>LINK<TAB>STATUS\"",
     "", &SetTo<&TCliOptions::WithStatus, true>},
    {"--with-text", "", TValueKind::None, "", 0, 0, "",
     "with --format tsv or jsonl: each link's anchor text\n"
     "(white space collapsed, an image's alt when it has no\n"
     "text, cut at 300 characters) and its rel as written:\n"
     "tsv adds them as last fields, \"PAGE<TAB>LINK[<TAB>\n"
     "STATUS]<TAB>TEXT<TAB>REL\"; jsonl adds \"anchors\", an\n"
     "array of {\"url\",\"text\",\"rel\"}, one per link",
     "", &SetTo<&TCliOptions::WithText, true>},
    {"--output", "-o", TValueKind::Text, "FILE", 0, 0, "a FILE",
     "write what standard output would get to FILE instead,\n"
     "as it comes (created or replaced)",
     "", &SetOutput},
    {"--save", "", TValueKind::Text, "FILE", 0, 0, "a FILE",
     "when the job completes, write the output to FILE too\n"
     "(created or replaced; lines ended by CR LF for text\n"
     "and csv, LF for tsv and jsonl); its folder must exist\n"
     "and be\n"
     "writable",
     "", &SetSave},
    {"--jobs", "-j", TValueKind::Integer, "N", 1, kMaxParallelJobs, "a number from 1 to 64",
     "fetch up to N addresses at once (1 to 64, default {});\n"
     "the output stays in list order, page by page",
     "Fetching:", &SetNumber<&TParallelSettings::Jobs>,
     [] { return std::to_string(Defaults().Jobs); }},
    {"--per-host", "", TValueKind::Integer, "N", 1, kMaxParallelJobs, "a number from 1 to 64",
     "at most N transfers to one host at once (1 to 64;\n"
     "default {} connections, or 16 streams on the one\n"
     "connection to an HTTP/2 server, never more than the\n"
     "server allows); a job never waits for a busy host\n"
     "while a later address of another host can start",
     "", &SetPerHost, [] { return std::to_string(Defaults().PerHost); }},
    {"--max-time", "", TValueKind::Seconds, "SECONDS", 0, kMaxOptionSeconds,
     "SECONDS (0 for none, at most 86400)",
     "give each address at most this long, redirects and\n"
     "retries included (a fraction is allowed; default\n"
     "{}, 0 for no limit, at most 86400), then it fails\n"
     "with a time-out",
     "", &SetDuration<&TParallelSettings::MaxTime>, [] { return Seconds(Defaults().MaxTime); }},
    {"--min-speed", "", TValueKind::Rate, "BYTES/SECONDS", 1, kMaxMinSpeedBytes,
     "BYTES/SECONDS (1 to 1073741824 bytes, more than 0 and at most 86400 seconds) or 0",
     "a transfer that receives fewer than BYTES in any\n"
     "SECONDS ends with a time-out (default {}; 0\n"
     "turns the rule off; BYTES 1 to 1073741824, SECONDS\n"
     "a fraction allowed, at most 86400)",
     "", &SetMinSpeed,
     [] {
       const TFetchPolicy& fetch = Defaults().Fetch;
       return std::to_string(fetch.MinSpeedBytes) + "/" + Seconds(fetch.MinSpeedWindow);
     }},
    {"--retries", "", TValueKind::Integer, "N", 0, kMaxRetries, "a number from 0 to 10",
     "try again up to N times (0 to 10, default {}) after\n"
     "a connect that failed, a reset or time-out before\n"
     "the answer's head, or HTTP 408, 429, 500, 502, 503\n"
     "or 504; the waits start at 1 s and double up to\n"
     "30 s, spread by up to 20%. Each retry is reported\n"
     "as \"  retry 1 of 2 in 4 s: HTTP 503\". When the\n"
     "tries are spent, the last answer is the page's",
     "", &SetNumber<&TFetchPolicy::Retries>,
     [] { return std::to_string(Defaults().Fetch.Retries); }},
    {"--max-retry-wait", "", TValueKind::Seconds, "SECONDS", 0, kMaxOptionSeconds,
     "SECONDS (0 to 86400)",
     "wait as long as a server's Retry-After asks (in\n"
     "seconds or as a date), up to SECONDS (default {},\n"
     "0 to 86400); a server that asks for more gets no\n"
     "retry. After 429 or 503 the whole host waits, the\n"
     "other hosts go on",
     "", &SetDuration<&TFetchPolicy::MaxRetryWait>,
     [] { return Seconds(Defaults().Fetch.MaxRetryWait); }},
    {"--delay", "", TValueKind::Integer, "MS", 0, kMaxRequestDelayMs, "MILLISECONDS (0 to 600000)",
     "at least MS milliseconds between the starts of two\n"
     "requests to one host (0 to 600000, default {})",
     "", &SetNumber<&TFetchPolicy::Delay>,
     [] { return std::to_string(Defaults().Fetch.Delay.count()); }},
    {"--no-keep-alive", "", TValueKind::None, "", 0, 0, "",
     "one connection per request (HTTP/1.0), as older\n"
     "versions did; by default requests speak HTTP/1.1\n"
     "and reuse up to --per-host idle connections to a\n"
     "host (closed after 30 s idle), and new HTTPS\n"
     "connections resume the host's TLS session",
     "", &SetTo<&TFetchPolicy::KeepAlive, false>},
    {"--http1.1", "", TValueKind::None, "", 0, 0, "",
     "speak HTTP/1.1 to every server; by default an HTTPS\n"
     "server that offers HTTP/2 in the TLS handshake gets\n"
     "it, and all the requests to it share one connection\n"
     "(http:// addresses, --no-keep-alive and the window\n"
     "always use HTTP/1.x)",
     "", &SetTo<&TFetchPolicy::Http2, false>},
    {"--user-agent", "-A", TValueKind::Text, "TEXT", 0, 0, "a TEXT without line breaks",
     "send TEXT as the User-Agent (default \"Mozilla/4.0\n"
     "(compatible; Movrek/Brisvane)\")",
     "", &SetUserAgent},
    {"--header", "-H", TValueKind::Text, "\"NAME: VALUE\"", 0, 0, "\"NAME: VALUE\"",
     "send this header line with every request, in place\n"
     "of a line of that name Movrek would send; \"NAME:\"\n"
     "alone sends no such line (may be repeated)",
     "", &AddHeader},
    {"--insecure", "-k", TValueKind::None, "", 0, 0, "",
     "do not check HTTPS certificates; by default each must\n"
     "chain to the system's trust store and name the host",
     "", &SetTo<&TJobSettings::VerifyCertificates, false>},
    {"--verify", "", TValueKind::None, "", 0, 0, "",
     "check HTTPS certificates: the default, accepted for\n"
     "older scripts",
     "", &SetTo<&TJobSettings::VerifyCertificates, true>},
    {"--pauses", "", TValueKind::None, "", 0, 0, "",
     "pause after each page (500 ms) and each URL (100 ms)\n"
     "as the window does; by default there is no pause",
     "", &SetTo<&TJobSettings::Pauses, true>},
    {"--no-delay", "", TValueKind::None, "", 0, 0, "",
     "no pauses: the default, accepted for older scripts", "",
     &SetTo<&TJobSettings::Pauses, false>},
    {"--any-type", "", TValueKind::None, "", 0, 0, "",
     "read every body as a page; without it a body whose\n"
     "Content-Type is neither text/html nor\n"
     "application/xhtml+xml is not downloaded (\"SKIPPED, NOT\n"
     "HTML (TYPE). ADDRESS\"), and without a Content-Type the\n"
     "first bytes decide (NUL bytes or the signature of a\n"
     "PDF, ZIP, gzip, PNG, JPEG, GIF, ELF, ... file: skipped)",
     "", &SetTo<&TJobSettings::PagesOnly, false>},
    {"--max-size", "", TValueKind::Size, "SIZE", 0, kMaxSizeOptionBytes,
     "SIZE (bytes, or with K, M or G; 0 for no bound)",
     "keep at most SIZE bytes of each body (decoded), K, M or\n"
     "G allowed (default 64M); a longer body is cut there,\n"
     "its links listed and \"  note: body cut at N bytes\n"
     "(--max-size)\" follows its status; 0: no bound but the\n"
     "2 GiB ceiling",
     "", &SetNumber<&TJobSettings::MaxBodyBytes>},
    {"--no-compression", "", TValueKind::None, "", 0, 0, "",
     "ask for no compressed bodies (by default the request\n"
     "offers gzip, deflate, br and zstd; a compressed body is\n"
     "decoded whether it was asked for or not)",
     "", &SetTo<&TJobSettings::RequestCompression, false>},
    {"--proxy", "", TValueKind::HostPort, "HOST:PORT", 0, 0, "HOST:PORT",
     "fetch through an HTTP proxy (CONNECT tunnel for https)\n"
     "instead of the environment's http_proxy, https_proxy,\n"
     "all_proxy and no_proxy (read as curl reads them)",
     "", &SetHostPort<&TProxySettings::ProxyHost, &TProxySettings::ProxyPort>},
    {"--proxy-user", "", TValueKind::Text, "USER:PASS", 0, 0, "USER:PASS",
     "credentials for the HTTP proxy", "",
     &SetCredentials<&TProxySettings::ProxyUser, &TProxySettings::ProxyPass>},
    {"--socks", "", TValueKind::HostPort, "HOST:PORT", 0, 0, "HOST:PORT",
     "connect through a SOCKS 5 proxy", "",
     &SetHostPort<&TProxySettings::SocksIP, &TProxySettings::SocksPort>},
    {"--socks4", "", TValueKind::None, "", 0, 0, "",
     "speak SOCKS 4 (4a for names) to the --socks proxy", "",
     &SetTo<&TProxySettings::SocksType, ST_Socks4>},
    {"--socks-user", "", TValueKind::Text, "USER:PASS", 0, 0, "USER:PASS",
     "credentials for the SOCKS proxy (SOCKS 4: user id)", "",
     &SetCredentials<&TProxySettings::SocksUsername, &TProxySettings::SocksPassword>},
    {"--dns-servers", "", TValueKind::Text, "ADDR[:PORT][,...]", 0, 0,
     "name server addresses such as 192.0.2.1,[2001:db8::1]:53",
     "ask these name servers (IPv6 in brackets before a\n"
     "port) instead of the system's; /etc/hosts still first",
     "", &SetNameServers},
    {"--progress", "", TValueKind::None, "", 0, 0, "",
     "show the live progress line even when standard error\n"
     "is not a terminal",
     "Terminal and scripts:", &SetTo<&TCliOptions::Progress, TProgressMode::On>},
    {"--no-progress", "", TValueKind::None, "", 0, 0, "", "never show it", "",
     &SetTo<&TCliOptions::Progress, TProgressMode::Off>},
    {"--quiet", "-q", TValueKind::None, "", 0, 0, "",
     "standard error gets only the lines of failed pages\n"
     "and the summary (no live line unless --progress)",
     "", &SetTo<&TCliOptions::Quiet, true>},
    {"--version", "-V", TValueKind::None, "", 0, 0, "", "print the version and exit", "",
     &SetTo<&TCliOptions::Version, true>},
    {"--help", "-h", TValueKind::None, "", 0, 0, "", "show this text", "",
     &SetTo<&TCliOptions::Help, true>},
};

// --- the value checks, one for each kind ---

// Seconds, a fraction allowed, at most `high`; more than zero, or zero itself
// when `allowZero`.
bool ReadSeconds(const std::string& text, std::int64_t high, bool allowZero,
                 std::chrono::milliseconds& out) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) {
    return false;
  }
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !(seconds >= 0) || seconds > static_cast<double>(high)) {
    return false;
  }
  out = std::chrono::milliseconds(std::llround(seconds * 1000));
  return out.count() > 0 || (allowZero && seconds == 0);
}

// Digits from `low` to `high`.
bool ReadInteger(const std::string& text, std::int64_t low, std::int64_t high, std::int64_t& out) {
  const auto value = ParseDigits(text, static_cast<std::uint64_t>(high));
  if (!value || static_cast<std::int64_t>(*value) < low) {
    return false;
  }
  out = static_cast<std::int64_t>(*value);
  return true;
}

// "BYTES/SECONDS", or "0" for none.
bool ReadRate(const TOptionEntry& option, const std::string& text, TOptionValue& out) {
  if (text == "0") {
    out.Number = 0;
    return true;
  }
  const std::size_t slash = text.find('/');
  return slash != std::string::npos &&
         ReadInteger(text.substr(0, slash), option.Low, option.High, out.Number) &&
         ReadSeconds(text.substr(slash + 1), kMaxOptionSeconds, false, out.Duration);
}

}  // namespace

std::span<const TOptionEntry> OptionTable() {
  return kOptions;
}

const TOptionEntry* FindOption(std::string_view name) {
  for (const TOptionEntry& option : kOptions) {
    if (name == option.Name || (option.ShortName[0] != '\0' && name == option.ShortName)) {
      return &option;
    }
  }
  return nullptr;
}

bool ReadOptionValue(const TOptionEntry& option, const std::string& text, TOptionValue& out) {
  switch (option.Kind) {
    case TValueKind::None:
      return false;
    case TValueKind::Text:
      out.Text = text;
      return true;
    case TValueKind::Integer:
      return ReadInteger(text, option.Low, option.High, out.Number);
    case TValueKind::Seconds:
      return ReadSeconds(text, option.High, option.Low == 0, out.Duration);
    case TValueKind::Size:
      return ParseByteSize(text, out.Number) && out.Number >= option.Low &&
             out.Number <= option.High;
    case TValueKind::HostPort:
      return SplitHostPort(text, out.Host, out.Port);
    case TValueKind::Rate:
      return ReadRate(option, text, out);
  }
  return false;
}

}  // namespace movrek::cli
