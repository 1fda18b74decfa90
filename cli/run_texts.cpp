#include "cli/run_texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "text/ascii_text.h"
#include "text/printable_text.h"

namespace movrek::cli {
namespace {

std::string Counted(std::int64_t count, const char* one, const char* many) {
  return GroupedNumber(count) + " " + (count == 1 ? one : many);
}

std::string Fixed1(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// The line of an address without its scheme: the live line has little room.
std::string ShortAddress(const std::string& line) {
  std::string address(TrimControls(line));
  for (const char* scheme : {"http://", "https://"}) {
    if (AsciiLower(address.substr(0, std::char_traits<char>::length(scheme))) == scheme) {
      return address.substr(std::char_traits<char>::length(scheme));
    }
  }
  return address;
}

std::string TransferText(const TTransferInFlight& transfer) {
  std::string text = ByteSizeText(transfer.Received);
  if (transfer.Size > 0) {
    const std::int64_t percent =
        std::min<std::int64_t>(100, transfer.Received * 100 / transfer.Size);
    text += " " + std::to_string(percent) + "%";
  }
  return text;
}

}  // namespace

std::string GroupedNumber(std::int64_t value) {
  const std::string digits = std::to_string(value < 0 ? -value : value);
  std::string text = value < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) {
      text += ',';
    }
    text += digits[i];
  }
  return text;
}

std::string ByteSizeText(std::int64_t bytes) {
  if (bytes < 1024) {
    return std::to_string(bytes) + " B";
  }
  const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(units)) {
    value /= 1024;
    ++unit;
  }
  return Fixed1(value) + " " + units[unit];
}

std::string DurationText(double seconds) {
  const auto whole = static_cast<std::int64_t>(std::llround(std::max(seconds, 0.0)));
  char text[48];
  if (whole < 60) {
    std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(whole));
  } else if (whole < 3600) {
    std::snprintf(text, sizeof text, "%lld min %02lld s", static_cast<long long>(whole / 60),
                  static_cast<long long>(whole % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld h %02lld min", static_cast<long long>(whole / 3600),
                  static_cast<long long>(whole % 3600 / 60));
  }
  return text;
}

std::string SummaryText(const TRunCounts& counts, double seconds) {
  return Counted(counts.Pages, "page", "pages") + ", " + Counted(counts.Links, "link", "links") +
         ", " + GroupedNumber(counts.Failed) + " failed, " + GroupedNumber(counts.Skipped) +
         " skipped in " + Fixed1(seconds) + " s";
}

std::string LiveLineText(const TRunCounts& counts, std::int64_t total, double seconds,
                         const std::vector<TTransferInFlight>& inFlight) {
  // A list read from a pipe has no total, and so no time left.
  std::string text =
      (total < 0 ? Counted(counts.Pages, "page", "pages")
                 : GroupedNumber(counts.Pages) + "/" + GroupedNumber(total) + " pages") +
      ", " + GroupedNumber(counts.Failed) + " failed, " + Counted(counts.Links, "link", "links");
  // A rate from the first fraction of a second says nothing yet.
  if (seconds >= 1 && counts.Pages > 0) {
    const double rate = static_cast<double>(counts.Pages) / seconds;
    text += ", " + Fixed1(rate) + " pages/s";
    if (total >= 0) {
      text += ", " + DurationText(static_cast<double>(total - counts.Pages) / rate) + " left";
    }
  }
  for (std::size_t i = 0; i < inFlight.size(); ++i) {
    text += i == 0 ? " | " : ", ";
    text += ShortAddress(inFlight[i].Line) + " " + TransferText(inFlight[i]);
  }
  return text;
}

std::string InFlightText(const TTransferInFlight& transfer) {
  std::string text =
      std::string(TrimControls(transfer.Line)) + " (" + ByteSizeText(transfer.Received);
  if (transfer.Size > 0) {
    text += " of " + ByteSizeText(transfer.Size);
  }
  return text + ")";
}

std::string FitToColumns(const std::string& text, int columns) {
  std::string_view rest(text);
  std::string fitted;
  int used = 0;
  while (!rest.empty()) {
    std::size_t length = 0;
    const auto lead = static_cast<unsigned char>(rest.front());
    // A tab would jump to a column of its own choosing; a byte outside
    // ASCII that begins no UTF-8 sequence has no width one can know.
    const bool hidden =
        StartsWithControl(rest, &length) || lead == '\t' || (length == 1 && lead >= 0x80);
    const bool wide = !hidden && length > 1;
    const int cells = wide ? 2 : 1;
    if (used + cells > columns) {
      break;
    }
    if (hidden) {
      fitted += '?';
    } else {
      fitted.append(rest.substr(0, length));
    }
    rest.remove_prefix(length);
    used += cells;
  }
  return fitted;
}

}  // namespace movrek::cli
