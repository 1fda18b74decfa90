// One line of the URL list from address to result block: fetch with
// redirects, status text, page file, base, links.
#pragma once

#include <string>

#include "engine/pipeline/progress_texts.h"
#include "engine/pipeline/temp_files.h"
#include "engine/pipeline/url_job.h"

namespace movrek {

class TWindowOperations;

// Sent with every request.
inline constexpr char kMovrekUserAgent[] = "Mozilla/4.0 (compatible; Movrek/Brisvane)";

// The line trimmed of blanks and control characters, with "http://" put in
// front unless it starts with "http://" or "https://" (any letter case).
std::string NormaliseAddress(const std::string& line);

// Shows the text on the status bar of the job running on the calling thread;
// does nothing on a thread that runs no job. Also the fetch trace output.
void ShowStatus(const std::string& text);
// Makes `window` the target of ShowStatus on the calling thread (nullptr:
// none). The worker sets its job's window for the length of its run.
void SetStatusWindow(TWindowOperations* window);

// Handles one line of the job's URL list (runs on the job's worker).
// Raises what ends the job early (EPageFileError, the listing's errors);
// whatever happens, the transaction is gone from the job and the URL's
// temporary files are removed when it returns.
void ProcessUrl(TUrlJob& job, const std::string& line);

}  // namespace movrek
