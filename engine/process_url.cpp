#include "engine/process_url.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "engine/base_detection.h"
#include "engine/extraction_job.h"
#include "engine/link_listing.h"
#include "engine/window_operations.h"
#include "net/fetch.h"
#include "net/http_transaction.h"

namespace movrek {
namespace {

// The window ShowStatus writes to; each worker sets its own job's.
thread_local TWindowOperations* tStatusWindow = nullptr;

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string SystemReason(int error_number) {
  return std::strerror(error_number);
}

void RemoveFile(const std::string& path) {
  // A file that is already gone is no error.
  ::unlink(path.c_str());
}

// The URL's temporary files, removed whatever way the URL ends, and known to
// the job meanwhile so that a front end that cannot wait for the worker can
// still remove them.
class TTempFiles {
 public:
  explicit TTempFiles(TMyThread& job) : job_(job) {}
  TTempFiles(const TTempFiles&) = delete;
  TTempFiles& operator=(const TTempFiles&) = delete;
  ~TTempFiles() {
    if (page_file_.empty()) return;
    RemoveTempFiles(page_file_);
    job_.SetPageFile("");
  }
  void Hold(const std::string& page_file) {
    page_file_ = page_file;
    job_.SetPageFile(page_file);
  }

 private:
  TMyThread& job_;
  std::string page_file_;
};

// The transaction published in job.Http for the life of this object; it is
// withdrawn before the transaction itself is destroyed.
class THttpPublication {
 public:
  THttpPublication(TMyThread& job, THttpTransaction& http) : job_(job) {
    if (!job_.AttachHttp(&http)) throw EJobAborted{};
  }
  ~THttpPublication() { job_.DetachHttp(); }
  THttpPublication(const THttpPublication&) = delete;
  THttpPublication& operator=(const THttpPublication&) = delete;

 private:
  TMyThread& job_;
};

void ApplyProxySettings(const TProxySettings& proxy, THttpTransaction& http) {
  http.ProxyHost = proxy.ProxyHost;
  http.ProxyPort = proxy.ProxyPort;
  http.ProxyUser = proxy.ProxyUser;
  http.ProxyPass = proxy.ProxyPass;
  TTCPBlockSocket& sock = *http.Sock;
  sock.SocksIP = proxy.SocksIP;
  sock.SocksPort = proxy.SocksPort;
  sock.SocksType = proxy.SocksType;
  sock.SocksUsername = proxy.SocksUsername;
  sock.SocksPassword = proxy.SocksPassword;
  sock.SocksResolver = proxy.SocksResolver;
}

// Writes the whole body into the reserved page file.
void SavePage(const std::string& path, const std::string& document) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    throw EPageFileError("Cannot open the page file " + path + ": " + SystemReason(errno));
  }
  std::size_t written = 0;
  int failure = 0;
  while (written < document.size()) {
    const ssize_t n = ::write(fd, document.data() + written, document.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      failure = errno;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 && failure == 0 && errno != EINTR) failure = errno;
  if (failure != 0) {
    throw EPageFileError("Cannot write the page file " + path + ": " + SystemReason(failure));
  }
}

}  // namespace

std::string NormaliseAddress(const std::string& line) {
  std::size_t begin = 0;
  std::size_t end = line.size();
  while (begin < end && IsBlankOrControl(line[begin])) ++begin;
  while (end > begin && IsBlankOrControl(line[end - 1])) --end;
  std::string address = line.substr(begin, end - begin);
  // Only a scheme at the start counts: "http://" in a query
  // ("host/go?next=http://other/") must not make the line's own host the
  // credentials or path of another.
  const std::string lower = LowerAscii(address);
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) {
    address.insert(0, "http://");
  }
  return address;
}

std::string OutcomeStatusText(std::uint8_t outcome) {
  switch (outcome) {
    case 0:
      return kStatusOk;
    case 1:
      return kStatusNetworkError;
    case 2:
      return kStatusNoLocation;
    default:
      return kStatusGeneralError;
  }
}

void ShowStatus(const std::string& text) {
  if (tStatusWindow != nullptr) tStatusWindow->SetStatusText(text);
}

void SetStatusWindow(TWindowOperations* window) {
  tStatusWindow = window;
}

void RemoveTempFiles(const std::string& page_file) {
  RemoveFile(page_file);
  RemoveFile(page_file.substr(0, page_file.size() - std::strlen(kPageFileExtension)) +
             kNameFileExtension);
}

std::string TempDirectory() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = env != nullptr ? env : "";
  if (dir.empty() || dir[0] != '/' || dir.size() > kTempDirectoryMax) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string MakeTempFileName(const std::string& extension) {
  const std::string dir = TempDirectory();
  const std::size_t suffix = std::strlen(kNameFileExtension);
  int last_error = 0;
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    std::string name_file = dir + kTempPrefix + "XXXXXX" + kNameFileExtension;
    // mkstemps creates the file exclusively, with mode 0600.
    const int fd = ::mkstemps(name_file.data(), static_cast<int>(suffix));
    if (fd < 0) {
      last_error = errno;
      if (last_error == EEXIST || last_error == EINTR) continue;
      break;
    }
    ::close(fd);
    std::string path = name_file.substr(0, name_file.size() - suffix) + extension;
    if (path == name_file) return path;
    // The other name must be ours too: a file or a symbolic link someone put
    // there would otherwise receive the page.
    const int page = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            S_IRUSR | S_IWUSR);
    if (page >= 0) {
      ::close(page);
      return path;
    }
    last_error = errno;
    RemoveFile(name_file);
    if (last_error != EEXIST) break;
  }
  throw EPageFileError("Cannot create a temporary file in " + dir + ": " +
                       SystemReason(last_error != 0 ? last_error : EEXIST));
}

void ProcessUrl(TMyThread& job, const std::string& line) {
  job.ReceivedBytes = 0;
  const std::string address = NormaliseAddress(line);
  // The trace stays off, so this only has to be in place; setting it once
  // keeps two workers (an aborted one still finishing) from racing on it.
  static std::once_flag trace_set;
  std::call_once(trace_set,
                 [] { TraceOutput = [](const std::string& text) { ShowStatus(text); }; });

  // Declared first so that they go last: the transaction is withdrawn from
  // the job, then destroyed, then the files are removed.
  TTempFiles temp_files(job);
  auto http = std::make_unique<THttpTransaction>();
  ApplyProxySettings(job.Settings().Proxy, *http);
  http->Sock->OnStatus = [&job](TBlockSocket* sender, THookSocketReason reason,
                                const std::string& value) {
    job.SocketProgress(sender, reason, value);
  };
  http->UserAgent = kMovrekUserAgent;
  THttpPublication published(job, *http);

  TUrlInfo info;
  HttpGetFollow(address, http.get(), false, info);
  if (job.Aborted()) throw EJobAborted{};
  ShowStatus(OutcomeStatusText(info.Status) + address);
  if (info.Status != 0) return;

  const std::string page_file = MakeTempFileName(kPageFileExtension);
  temp_files.Hold(page_file);
  SavePage(page_file, http->Document);
  job.Pause(kPageSavedPause);
  if (job.Aborted()) throw EJobAborted{};
  const std::string base = ChooseBase(page_file, info.Url);
  ListLinks(job.Window(), page_file, base, address);
}

}  // namespace movrek
