// The command line of movrek-cli.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/result_format.h"
#include "engine/parallel/parallel_job.h"
#include "engine/parallel/parallel_limits.h"

namespace movrek::cli {

inline constexpr char kCliVersion[] = "1.0.0";

// Whether standard error gets the live progress line.
enum class TProgressMode {
  Auto,  // when it is a terminal and --quiet is not given
  On,
  Off,
};

// An argument that is no option: an address, or a list file ("-" for
// standard input).
struct TListInput {
  bool IsAddress = false;
  std::string Text;
};

struct TCliOptions {
  // Bodies as a console user wants them: pages only, bounded, compressed.
  TCliOptions();

  bool Help = false;
  // What the job is run with, as the options set it: the filters (--having,
  // --not-having, --match, --not-match, --filter-href, --no-fragments), the
  // proxies (or those of the environment, when no proxy option is given),
  // the fetching options. Its values before parsing are the defaults --help
  // states.
  TParallelSettings Engine;
  // -o: standard output goes to this file instead; empty: none.
  std::string OutputFile;
  std::string SaveFile;  // empty: no save target
  // In the order given; none: standard input.
  std::vector<TListInput> Inputs;
  bool Unique = false;
  TResultFormat Format = TResultFormat::Text;
  bool Version = false;
  TProgressMode Progress = TProgressMode::Auto;
  // Standard error gets only the lines of failed pages and the summary.
  bool Quiet = false;
  // tsv: the page's HTTP status as a third field.
  bool WithStatus = false;
  // tsv, jsonl: each link's anchor text and rel (csv always has them).
  bool WithText = false;
};

// Parses the arguments after the program name. Returns the empty text on
// success, otherwise what is wrong with them (a usage error).
std::string ParseCommandLine(const std::vector<std::string>& args, TCliOptions& options);

// An argument that starts with a scheme and "://" names an address; any
// other is a list file.
bool IsAddressArgument(const std::string& arg);

// Splits "HOST:PORT" ("[v6-address]:PORT" for IPv6). False when the port is
// missing or not a number from 1 to 65535, or the host is empty.
bool SplitHostPort(const std::string& text, std::string& host, std::string& port);

// What keeps FILE from being saved when the job completes: a folder that does
// not exist or cannot be written, or FILE being a folder itself. Empty when
// nothing does. Checked before any fetching, so that an hour of work is not
// lost to a typing error.
std::string SaveTargetProblem(const std::string& file);

// A --max-size value: bytes, with an optional K, M or G (binary multiples).
bool ParseByteSize(const std::string& text, std::int64_t& out);

// The text --help prints.
std::string UsageText();

}  // namespace movrek::cli
