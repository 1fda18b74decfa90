#include "cli/result_format.h"

#include <cstdio>

#include "cli/cli_limits.h"
#include "cli/page_tally.h"
#include "engine/listing/link_listing.h"
#include "text/printable_text.h"
#include "text/utf8_sequence.h"

namespace movrek {
namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

void AppendEscaped(unsigned char code, std::string& out) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
  out += escaped;
}

void AppendJsonString(const std::string& bytes, std::string& out) {
  out += '"';
  for (std::size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      const std::size_t length = Utf8SequenceLength(std::string_view(bytes).substr(i));
      if (length == 0) {
        out += kReplacementCharacter;
        ++i;
      } else if (c == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) <= 0x9F) {
        // A C1 control is valid JSON as it stands, but a terminal that
        // shows the line would act on it.
        AppendEscaped(static_cast<unsigned char>(bytes[i + 1]), out);
        i += length;
      } else {
        out.append(bytes, i, length);
        i += length;
      }
      continue;
    }
    ++i;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          AppendEscaped(c, out);
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

// The status text without the blank that separates it from the address.
std::string BareStatus(std::string status) {
  while (!status.empty() && status.back() == ' ') {
    status.pop_back();
  }
  return status;
}

void AppendJsonPage(const TPageResult& page, std::string& out) {
  out += "{\"url\":";
  AppendJsonString(page.Line, out);
  out += ",\"final_url\":";
  AppendJsonString(page.FinalUrl, out);
  out += ",\"status\":";
  AppendJsonString(BareStatus(page.StatusText), out);
  out += R"(,"outcome":")";
  out += cli::OutcomeName(page);
  out += '"';
  out += ",\"http_status\":";
  out += page.HttpStatus == 0 ? std::string("null") : std::to_string(page.HttpStatus);
  out += ",\"reason\":";
  if (page.Reason.empty()) {
    out += "null";
  } else {
    AppendJsonString(page.Reason, out);
  }
  out += ",\"base\":";
  if (page.Listed) {
    AppendJsonString(page.Base, out);
  } else {
    out += "null";
  }
  out += ",\"links\":[";
  for (std::size_t i = 0; i < page.Links.size(); ++i) {
    if (i > 0) {
      out += ',';
    }
    AppendJsonString(page.Links[i], out);
  }
  out += "],\"bytes\":" + std::to_string(page.Bytes);
  out += ",\"content_type\":";
  if (page.ContentType.empty()) {
    out += "null";
  } else {
    AppendJsonString(page.ContentType, out);
  }
  out += page.Truncated ? ",\"truncated\":true" : ",\"truncated\":false";
  out += ",\"elapsed_ms\":" + std::to_string(page.ElapsedMs);
  out += '}';
}

}  // namespace

std::string TsvField(const std::string& value) {
  std::string field;
  field.reserve(value.size());
  for (char c : value) {
    switch (c) {
      case '\t':
        field += "\\t";
        break;
      case '\n':
        field += "\\n";
        break;
      case '\r':
        field += "\\r";
        break;
      case '\\':
        field += "\\\\";
        break;
      default:
        field += c;
    }
  }
  return PrintableText(field);
}

std::string JsonString(const std::string& bytes) {
  std::string out;
  AppendJsonString(bytes, out);
  return out;
}

void FormatPage(const TPageResult& page, TResultFormat format, const std::string& lineEnd,
                std::string& out, const std::function<void(std::string&)>& flush) {
  const auto flush_when_large = [&out, &flush] {
    if (flush && out.size() >= cli::kFormatFlushBytes) {
      flush(out);
    }
  };
  switch (format) {
    case TResultFormat::Text:
      if (!page.Listed) {
        return;
      }
      for (const std::string& line : BlockHeader(page.Address, page.Base)) {
        out += line;
        out += lineEnd;
      }
      for (const std::string& link : page.Links) {
        out += link;
        out += lineEnd;
        flush_when_large();
      }
      return;
    case TResultFormat::Tsv:
    case TResultFormat::TsvWithStatus: {
      if (!page.Listed) {
        return;
      }
      const std::string prefix = TsvField(page.FinalUrl) + '\t';
      const std::string suffix = format == TResultFormat::TsvWithStatus
                                     ? '\t' + std::to_string(page.HttpStatus) + lineEnd
                                     : lineEnd;
      for (const std::string& link : page.Links) {
        out += prefix;
        out += TsvField(link);
        out += suffix;
        flush_when_large();
      }
      return;
    }
    case TResultFormat::Jsonl:
      AppendJsonPage(page, out);
      out += lineEnd;
      return;
  }
}

}  // namespace movrek
