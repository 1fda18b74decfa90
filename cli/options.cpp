#include "cli/options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string_view>

#include "cli/cli_limits.h"
#include "cli/option_table.h"
#include "net/base/ip_text.h"
#include "text/ascii_text.h"

namespace movrek::cli {
namespace {

// One argument that names an option, its "=VALUE" split off.
struct TOptionArg {
  std::string Name;
  std::string InlineValue;
  bool HasInline = false;
};

// Reads the option's value (inline, or the next argument) and applies it;
// returns what is wrong, or the empty text.
std::string ApplyOption(const TOptionEntry& option, const TOptionArg& arg,
                        const std::vector<std::string>& args, std::size_t& i,
                        TCliOptions& options) {
  std::string needs = "option " + arg.Name + " needs " + option.Need;
  TOptionValue value;
  if (option.Kind == TValueKind::None) {
    if (arg.HasInline) {
      return "option " + arg.Name + " takes no value";
    }
  } else {
    const bool have = arg.HasInline || i + 1 < args.size();
    if (!have || !ReadOptionValue(option, arg.HasInline ? arg.InlineValue : args[++i], value)) {
      return needs;
    }
  }
  std::string problem;
  if (!option.Apply(value, options, problem) && problem.empty()) {
    return needs;
  }
  return problem;
}

// The options that only mean something together with another.
std::string MissingCompanion(const std::set<std::string_view>& seen, const TCliOptions& options) {
  const TProxySettings& proxy = options.Engine.Job.Proxy;
  if (seen.count("--proxy-user") != 0 && proxy.ProxyHost.empty()) {
    return "--proxy-user needs --proxy";
  }
  for (const char* name : {"--socks4", "--socks-user"}) {
    if (seen.count(name) != 0 && proxy.SocksIP.empty()) {
      return std::string(name) + " needs --socks";
    }
  }
  if (options.WithStatus && options.Format != TResultFormat::Tsv) {
    return "--with-status needs --format tsv";
  }
  if (options.WithText && options.Format == TResultFormat::Text) {
    return "--with-text needs --format tsv, jsonl or csv";
  }
  return std::string();
}

}  // namespace

TCliOptions::TCliOptions() {
  Engine.Jobs = kDefaultJobs;
  Engine.MaxTime = std::chrono::milliseconds(kDefaultMaxTimeMs);
  TJobSettings& Job = Engine.Job;
  Job.PagesOnly = true;
  Job.MaxBodyBytes = kDefaultMaxPageBytes;
  Job.RequestCompression = true;
  // A link list from a server nobody checked could come from anyone on the
  // path; the window keeps its unchecked connections.
  Job.VerifyCertificates = true;
  // A console run is one user's list, not the window's paced job.
  Job.Pauses = false;
  // Nobody reads a page file of the console's: a page that fits in memory
  // needs none.
  Job.HoldSmallBodies = true;
  Job.SocketYields = false;
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
  const auto value = ParseDigits(digits, static_cast<std::uint64_t>(kMaxSizeOptionBytes) >> shift);
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

bool IsAddressArgument(const std::string& arg) {
  const std::size_t colon = arg.find("://");
  if (colon == std::string::npos || colon == 0) {
    return false;
  }
  return std::all_of(arg.begin(), arg.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
  });
}

std::string ParseCommandLine(const std::vector<std::string>& args, TCliOptions& options) {
  bool onlyFiles = false;
  std::set<std::string_view> seen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    TOptionArg arg;
    arg.Name = args[i];
    if (!onlyFiles && arg.Name.rfind("--", 0) == 0 && arg.Name.size() > 2) {
      const std::size_t eq = arg.Name.find('=');
      if (eq != std::string::npos) {
        arg.InlineValue = arg.Name.substr(eq + 1);
        arg.Name.resize(eq);
        arg.HasInline = true;
      }
    }
    if (onlyFiles || arg.Name == "-" || arg.Name.empty() || arg.Name[0] != '-') {
      options.Inputs.push_back({IsAddressArgument(args[i]), args[i]});
      continue;
    }
    if (arg.Name == "--") {
      onlyFiles = true;
      continue;
    }
    const TOptionEntry* option = FindOption(arg.Name);
    if (option == nullptr) {
      return "unknown option '" + args[i] + "'";
    }
    if (std::string problem = ApplyOption(*option, arg, args, i, options); !problem.empty()) {
      return problem;
    }
    seen.insert(option->Name);
  }
  return MissingCompanion(seen, options);
}

}  // namespace movrek::cli
