// One line of the URL list from address to result block: fetch with
// redirects, status text, page file, base, links.
#pragma once

#include <string>

#include "engine/pipeline/job_settings.h"
#include "engine/pipeline/page_outcome.h"
#include "engine/pipeline/progress_texts.h"
#include "engine/pipeline/temp_files.h"
#include "engine/pipeline/url_job.h"

namespace movrek {

class THttpTransaction;

// Sent with every request.
inline constexpr char kMovrekUserAgent[] = "Mozilla/4.0 (compatible; Movrek/Brisvane)";

// The line trimmed of blanks and control characters, with "http://" put in
// front unless it starts with "http://" or "https://" (any letter case).
std::string NormaliseAddress(const std::string& line);

// Puts the proxies into the transaction and its socket.
void ApplyProxySettings(const TProxySettings& proxy, THttpTransaction& http);

// Handles one line of the job's URL list (runs on the job's worker) and
// returns its outcome, which the job also had through FetchDone before the
// links. Raises what ends the job early (EPageFileError, the listing's
// errors); whatever happens, the transaction is gone from the job and the
// URL's temporary files are removed when it returns.
TPageOutcome ProcessUrl(TUrlJob& job, const std::string& line);

}  // namespace movrek
