// One line of the URL list from address to result block: fetch with
// redirects, status text, page file, base, links.
#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace movrek {

class TMyThread;
class TWindowOperations;

// Sent with every request.
inline constexpr char kMovrekUserAgent[] = "Mozilla/4.0 (compatible; Movrek/Brisvane)";

// Status texts of the fetch outcomes 0 to 3; the address follows directly.
inline constexpr char kStatusOk[] = "OK : ";
inline constexpr char kStatusNetworkError[] = "NETWORK ERROR or DOMAIN DOES NOT EXIST. ";
inline constexpr char kStatusNoLocation[] = "COULD NOT FIND REDIRECT LOCATION FROM HEADER. ";
inline constexpr char kStatusGeneralError[] = "GENERAL ERROR. ";

// Temporary files of one URL: "<dir>/uisXXXXXX.tmp" (the name file) and the
// same name with ".xtr" (the page file).
inline constexpr char kTempPrefix[] = "uis";
inline constexpr char kNameFileExtension[] = ".tmp";
inline constexpr char kPageFileExtension[] = ".xtr";
// Longest temporary directory taken from TMPDIR; a longer one falls back to
// /tmp so that the names stay within the path room the pipeline reserves.
inline constexpr std::size_t kTempDirectoryMax = 260;
// Attempts at a fresh name before MakeTempFileName gives up.
inline constexpr int kTempNameAttempts = 100;

// Pauses the job makes unless its settings turn them off.
inline constexpr std::chrono::milliseconds kPageSavedPause{500};
inline constexpr std::chrono::milliseconds kUrlDonePause{100};

// A temporary or page file could not be made, written or read. Ends the job
// early; the window is told the text.
class EPageFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Removes the page file and its name file; files already gone are no error.
void RemoveTempFiles(const std::string& page_file);

// The line trimmed of blanks and control characters, with "http://" put in
// front unless it starts with "http://" or "https://" (any letter case).
std::string NormaliseAddress(const std::string& line);

// The status text of a fetch outcome; outcomes above 3 count as 3.
std::string OutcomeStatusText(std::uint8_t outcome);

// Shows the text on the status bar of the job running on the calling thread;
// does nothing on a thread that runs no job. Also the fetch trace output.
void ShowStatus(const std::string& text);
// Makes `window` the target of ShowStatus on the calling thread (nullptr:
// none). The worker sets its job's window for the length of its run.
void SetStatusWindow(TWindowOperations* window);

// The directory for temporary files, ending with "/": TMPDIR when it is set,
// absolute and short enough, otherwise "/tmp/".
std::string TempDirectory();

// A new unique path "<TempDirectory()>uisXXXXXX<extension>". The name file
// (".tmp") is created empty and exclusively with mode 0600; the path
// returned is reserved the same way, so no other process can have placed a
// file or a link there. Throws EPageFileError when no name can be had.
std::string MakeTempFileName(const std::string& extension);

// Handles one line of the job's URL list (runs on the job's worker).
// Raises what ends the job early (EPageFileError, the listing's errors);
// whatever happens, the transaction is gone from job.Http and the URL's
// temporary files are removed when it returns.
void ProcessUrl(TMyThread& job, const std::string& line);

}  // namespace movrek
