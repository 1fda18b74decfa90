// The forms a page's record takes in a result file: the window's block of
// lines, one PAGE<TAB>LINK line per link, or one JSON object per page.
#pragma once

#include <functional>
#include <string>

#include "engine/parallel/page_result.h"

namespace movrek {

// TsvWithStatus: the tsv lines with the page's HTTP status as a third field.
enum class TResultFormat { Text, Tsv, TsvWithStatus, Jsonl };

// Appends the page's lines to `out`, each ended by `line_end`. A page that
// was not listed gives no text and no TSV lines; in JSON every page is one
// object. flush, when given, is handed `out` whenever it has grown large, to
// take its text away: a page of many links is then never all in memory twice.
void FormatPage(const TPageResult& page, TResultFormat format, const std::string& lineEnd,
                std::string& out, const std::function<void(std::string&)>& flush = {});

// A TSV field: tab, CR and LF written as \t, \r and \n, a backslash as \\,
// any other control character as '?'.
std::string TsvField(const std::string& value);

// A JSON string literal of arbitrary bytes (RFC 8259): valid UTF-8 is kept,
// every byte that is not part of a valid sequence becomes U+FFFD, control
// characters (C1 too) are escaped.
std::string JsonString(const std::string& bytes);

}  // namespace movrek
