// The texts of a job, the same in both front ends: the refusal of an empty
// list, the progress line, the transfer progress and the outcome of each
// fetch.
#pragma once

#include <cstdint>
#include <string>

#include "engine/pipeline/page_outcome.h"

namespace movrek {

// Message of Start when the URL list has no line at all.
inline constexpr char kEmptyUrlListMessage[] = "At least one url is needed to extract link.";

// Status texts of the fetch outcomes; the address follows directly.
inline constexpr char kStatusOk[] = "OK : ";
inline constexpr char kStatusNetworkError[] = "NETWORK ERROR or DOMAIN DOES NOT EXIST. ";
inline constexpr char kStatusNoLocation[] = "COULD NOT FIND REDIRECT LOCATION FROM HEADER. ";
inline constexpr char kStatusGeneralError[] = "GENERAL ERROR. ";
inline constexpr char kStatusCertificateError[] = "TLS CERTIFICATE ERROR. ";
// A response that is no page: "SKIPPED, NOT HTML (TYPE). " in the status
// line, this without the type in records.
inline constexpr char kStatusNotHtml[] = "SKIPPED, NOT HTML. ";

// "<line> [List number: <i>, Total List Items: <n>]." for 1-based i;
// "<line> [List number: <i>]." while the total is not known (n < 0).
std::string ProgressLineText(const std::string& line, int number, int total);
// The transfer progress: received / download_size * 100 rounded to the
// nearest integer (a half to the even neighbour) followed by "%", or
// "Bytes received : <received>" when download_size is 0.
std::string TransferProgressText(std::int32_t received, std::int32_t downloadSize);
// The status text of a fetch outcome.
std::string OutcomeStatusText(TFetchStatus status);
// The status line's text of an outcome, the skipped type named.
std::string OutcomeLineText(const TPageOutcome& outcome);
// The status bar's text of a page: its outcome's text followed by the
// address as fetched (not the final one), "OK : http://h/".
std::string StatusLineText(const TPageOutcome& outcome);

}  // namespace movrek
