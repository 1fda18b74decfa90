#include "engine/pipeline/process_url.h"

#include <memory>
#include <utility>

#include "engine/listing/page_links.h"
#include "engine/pipeline/background_scan.h"
#include "engine/pipeline/job_aborted.h"
#include "engine/pipeline/page_body_sink.h"
#include "engine/pipeline/pipeline_limits.h"
#include "engine/pipeline/url_in_progress.h"
#include "net/base/winsock_errors.h"
#include "net/http/content_decoder.h"
#include "net/http/fetch.h"
#include "net/http/http_transaction.h"
#include "text/ascii_text.h"

namespace movrek {
namespace {

// The URL's temporary files, removed whatever way the URL ends.
class TTempFiles {
 public:
  explicit TTempFiles(TUrlJob& job) : job_(job) {}
  TTempFiles(const TTempFiles&) = delete;
  TTempFiles& operator=(const TTempFiles&) = delete;
  ~TTempFiles() {
    if (page_file_.empty()) {
      return;
    }
    RemoveTempFiles(page_file_);
  }
  const std::string& Reserve() {
    page_file_ = job_.InProgress().ReservePageFile();
    return page_file_;
  }

 private:
  TUrlJob& job_;
  std::string page_file_;
};

// The transaction published in the job for the life of this object; it is
// withdrawn before the transaction itself is destroyed.
class THttpPublication {
 public:
  THttpPublication(TUrlJob& job, THttpTransaction& http) : job_(job) {
    if (!job_.InProgress().AttachHttp(&http)) {
      throw EJobAborted{};
    }
  }
  ~THttpPublication() { job_.InProgress().DetachHttp(); }
  THttpPublication(const THttpPublication&) = delete;
  THttpPublication& operator=(const THttpPublication&) = delete;

 private:
  TUrlJob& job_;
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

TFetchOutcome OutcomeOf(const TUrlInfo& info, THttpTransaction& http, const TPageBodySink& body) {
  TFetchOutcome outcome;
  outcome.Status = FetchStatusOf(info.Status);
  outcome.FinalUrl = info.Url;
  outcome.Bytes = body.Bytes();
  outcome.ContentType = body.MediaType();
  outcome.RedirectReason = info.Reason;
  if (outcome.Status == TFetchStatus::NetworkError) {
    // The transaction's 500 after a failure is no answer of the server.
    outcome.SocketError = http.Sock->LastErrorCode;
    outcome.SocketErrorText = http.Sock->GetErrorDescEx();
  } else {
    outcome.HttpStatus = http.ResultCode;
    outcome.HttpStatusText = http.ResultString;
  }
  if (outcome.Status != TFetchStatus::Ok) {
    return outcome;
  }
  // What the body's reader found once a response had come.
  if (body.TooLarge()) {
    outcome.Status = TFetchStatus::NetworkError;
    outcome.SocketError = WSAENOBUFS;
    outcome.SocketErrorText = TBlockSocket::GetErrorDesc(WSAENOBUFS);
  } else if (!body.DecodeError().empty()) {
    outcome.Status = TFetchStatus::GeneralError;
    outcome.FailureText = "content decoding failed: " + body.DecodeError();
  } else {
    outcome.SkippedType = body.SkippedType();
    outcome.Truncated = body.Cut();
  }
  return outcome;
}

void ListPage(TUrlJob& job, TPageLinks& links, const std::string& pageFile,
              const std::string& finalUrl, const std::string& address) {
  job.Pause(std::chrono::milliseconds(kPageSavedPauseMs));
  if (job.Aborted()) {
    throw EJobAborted{};
  }
  links.List(job.ResultSink(), pageFile, address, finalUrl);
  job.FlushResults();
}

}  // namespace

std::string NormaliseAddress(const std::string& line) {
  std::string address(TrimControls(line));
  // Only a scheme at the start counts: "http://" in a query
  // ("host/go?next=http://other/") must not make the line's own host the
  // credentials or path of another.
  const std::string lower = AsciiLower(address);
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) {
    address.insert(0, "http://");
  }
  return address;
}

void ProcessUrl(TUrlJob& job, const std::string& line) {
  job.ResetReceivedBytes();
  const std::string address = NormaliseAddress(line);
  // Declared first so that they go last: the transaction is withdrawn from
  // the job, then destroyed, then the page file is closed and the files are
  // removed.
  TTempFiles temp_files(job);
  // The body goes to the page file as it arrives; a fetch that fails leaves the
  // file to temp_files, which removes it.
  const std::string& page_file = temp_files.Reserve();
  // The page is scanned as it arrives, so it is never read back nor held
  // whole; the file stays the page's saved copy.
  TPageLinks links(job.Settings().MaxGatheredLinkBytes);
  TBackgroundScan scan(links);
  TPageBodySink body(page_file, job.Settings(), &scan);
  auto http = std::make_unique<THttpTransaction>();
  ApplyProxySettings(job.Settings().Proxy, *http);
  http->Sock->OnStatus = [&job](TBlockSocket* sender, THookSocketReason reason,
                                const std::string& value) {
    if (job.Settings().OnSocketStatus) {
      job.Settings().OnSocketStatus(reason, value);
    }
    job.SocketProgress(sender, reason, value);
  };
  // A socket forgets a stop that came before its handle existed (it belongs
  // to no transfer of that socket); an Abort during the name lookup belongs
  // to this one, so the new handle takes it up and the connect ends at once.
  http->Sock->OnCreateSocket = [&job](TBlockSocket* sock) {
    if (job.Aborted()) {
      sock->StopFlag.store(true);
    }
  };
  http->UserAgent = kMovrekUserAgent;
  http->Sock->TlsPlugin->VerifyCert = job.Settings().VerifyCertificates;
  if (job.Settings().RequestCompression) {
    http->AcceptEncoding = kAcceptedContentCodings;
  }
  http->BodySink = &body;
  THttpPublication published(job, *http);

  TUrlInfo info;
  const TRequestRunner runner = job.RequestRunner();
  HttpGetFollow(address, http.get(), false, info,
                [&body, &runner](THttpTransaction& hop, const std::string& url) {
                  body.SetAddress(url);
                  return runner ? runner(hop, url) : hop.PerformRequest("GET", url);
                });
  if (job.Aborted()) {
    throw EJobAborted{};
  }
  const TFetchOutcome outcome = OutcomeOf(info, *http, body);
  job.FetchDone(outcome);
  job.ShowLastProgress();
  job.ShowStatus(OutcomeLineText(outcome) + address);
  body.Close();
  if (outcome.Status != TFetchStatus::Ok || !outcome.SkippedType.empty()) {
    return;
  }
  scan.Finish();
  ListPage(job, links, page_file, info.Url, address);
}

}  // namespace movrek
