// The options of movrek-cli, each described once: its names, the kind and
// range of its value, its help text and what it sets. The parser, --help and
// the tests all read this one table.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cli/options.h"

namespace movrek::cli {

// What an option's value is, and so how it is checked.
enum class TValueKind {
  None,      // a switch; "--switch=VALUE" is refused
  Text,      // any text, checked by the option itself
  Integer,   // digits, Low to High
  Seconds,   // seconds, a fraction allowed, at most High; zero only when Low is 0
  Size,      // bytes with an optional K, M or G (binary multiples), Low to High
  HostPort,  // HOST:PORT, or [IPv6-ADDRESS]:PORT
  Rate,      // BYTES/SECONDS with BYTES from Low to High, or "0" for none
};

// A value that passed its kind's check.
struct TOptionValue {
  std::string Text;
  std::int64_t Number = 0;               // Integer, Size; Rate: the bytes
  std::chrono::milliseconds Duration{};  // Seconds; Rate: the window
  std::string Host;                      // HostPort
  std::string Port;
};

// Stores `value` in `options`. False when the value does not suit the option:
// the error then is `problem` when set, else "option NAME needs NEED".
using TApplyOption = bool (*)(const TOptionValue& value, TCliOptions& options,
                              std::string& problem);

struct TOptionEntry {
  const char* Name;       // "--jobs"
  const char* ShortName;  // "-h", or empty
  TValueKind Kind;
  const char* ValueName;  // as --help shows it ("N"); empty for a switch
  std::int64_t Low;
  std::int64_t High;
  const char* Need;  // "a number from 1 to 64": what a bad or missing value is told
  // The --help lines after the names, joined by '\n'; the first line of a
  // section's first option carries the section's heading in `Heading`.
  const char* Help;
  const char* Heading;  // empty, or the heading printed before this option
  TApplyOption Apply;
  // The default the help states in place of "{}", read from the options a
  // run starts with; null for an option whose help has none.
  std::string (*Default)() = nullptr;
};

// Every option, in the order --help lists them.
std::span<const TOptionEntry> OptionTable();

// The option named `name` (long or short name), or null.
const TOptionEntry* FindOption(std::string_view name);

// Checks `text` against the kind and range of `option`; false when it does not fit.
bool ReadOptionValue(const TOptionEntry& option, const std::string& text, TOptionValue& out);

}  // namespace movrek::cli
