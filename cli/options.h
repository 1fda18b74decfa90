// The command line of movrek-cli.
#pragma once

#include <string>
#include <vector>

#include "engine/job_settings.h"

namespace movrek::cli {

struct TCliOptions {
  bool Help = false;
  bool FilterEnabled = false;
  int FilterMode = 0;  // 0 "Having", 1 "Not Having"
  std::string Keyword;
  std::string SaveFile;  // empty: no save target
  std::string UrlFile;   // empty or "-": standard input
  TJobSettings Job;
};

// Parses the arguments after the program name. Returns the empty text on
// success, otherwise what is wrong with them (a usage error).
std::string ParseCommandLine(const std::vector<std::string>& args, TCliOptions& options);

// Splits "HOST:PORT" ("[v6-address]:PORT" for IPv6). False when the port is
// missing or not a number from 1 to 65535, or the host is empty.
bool SplitHostPort(const std::string& text, std::string& host, std::string& port);

// What keeps FILE from being saved when the job completes: a folder that does
// not exist or cannot be written, or FILE being a folder itself. Empty when
// nothing does. Checked before any fetching, so that an hour of work is not
// lost to a typing error.
std::string SaveTargetProblem(const std::string& file);

// The text --help prints.
std::string UsageText();

}  // namespace movrek::cli
