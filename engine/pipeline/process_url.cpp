#include "engine/pipeline/process_url.h"

#include <memory>
#include <new>
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

// The URL's temporary files, removed whatever way the URL ends; reserved
// when the page file is first asked for.
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
  std::string PageFile() {
    if (page_file_.empty()) {
      page_file_ = job_.InProgress().ReservePageFile();
    }
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

}  // namespace

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

namespace {

// Why a body that came cannot be the page: it was not stored whole, its
// head was refused, or its coding could not be undone; empty when it can.
std::string BodyFailure(const TPageBodySink& body, const std::string& unwritten) {
  if (!unwritten.empty()) {
    return unwritten;
  }
  if (!body.Refusal().empty()) {
    return body.Refusal();
  }
  return body.DecodeError().empty() ? std::string()
                                    : "content decoding failed: " + body.DecodeError();
}

TPageOutcome OutcomeOf(const TUrlInfo& info, THttpTransaction& http, TPageBodySink& body) {
  TPageOutcome outcome;
  outcome.Status = FetchStatusOf(info.Status);
  outcome.FinalUrl = info.Url;
  outcome.Bytes = body.Bytes();
  outcome.ContentType = body.MediaType();
  outcome.RedirectReason = info.Reason;
  if (outcome.Status == TFetchStatus::NetworkError && !http.Sock->TlsPlugin->VerifyError.empty()) {
    outcome.Status = TFetchStatus::CertificateError;
    outcome.FailureText = http.Sock->TlsPlugin->VerifyError;
  } else if (outcome.Status == TFetchStatus::NetworkError) {
    // The transaction's 500 after a failure is no answer of the server.
    outcome.SocketError = http.Sock->LastErrorCode;
    outcome.SocketErrorText = http.Sock->GetErrorDescEx();
  } else {
    outcome.HttpStatus = http.ResultCode;
    outcome.HttpStatusText = http.ResultString;
  }
  // A page that could not be stored whole is no page, whatever came.
  const std::string unwritten = body.Close();
  if (outcome.Status != TFetchStatus::Ok) {
    return outcome;
  }
  // What the body's reader found once a response had come.
  if (body.TooLarge()) {
    outcome.Status = TFetchStatus::NetworkError;
    outcome.SocketError = WSAENOBUFS;
    outcome.SocketErrorText = TBlockSocket::GetErrorDesc(WSAENOBUFS);
  } else if (const std::string failure = BodyFailure(body, unwritten); !failure.empty()) {
    outcome.Status = TFetchStatus::GeneralError;
    outcome.FailureText = failure;
  } else {
    outcome.SkippedType = body.SkippedType();
    outcome.Truncated = body.Cut();
  }
  return outcome;
}

// A page that failed on the way for a reason of its own; the job goes on.
TPageOutcome FailedPage(const std::string& address, const std::string& reason) {
  TPageOutcome outcome;
  outcome.Status = TFetchStatus::GeneralError;
  outcome.FinalUrl = address;
  outcome.FailureText = reason;
  return outcome;
}

bool Listable(const TPageOutcome& outcome) {
  return outcome.Status == TFetchStatus::Ok && outcome.SkippedType.empty();
}

// Fetches the address into `body` with a transaction of its own, published
// in the job while it lives.
TPageOutcome FetchPage(TUrlJob& job, const std::string& address, TPageBodySink& body) {
  auto http = std::make_unique<THttpTransaction>();
  ApplyProxySettings(job.Settings().Proxy, *http);
  http->Sock->NameServers = job.Settings().NameServers;
  http->Sock->YieldBeforeReceive = job.Settings().SocketYields;
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
  http->UserAgent = job.Settings().UserAgent.value_or(kMovrekUserAgent);
  http->HeaderOverrides = job.Settings().HeaderOverrides;
  http->Sock->TlsPlugin->VerifyCert = job.Settings().VerifyCertificates;
  if (job.Settings().RequestCompression) {
    http->AcceptEncoding = kAcceptedContentCodings;
  }
  http->BodySink = &body;
  const THttpPublication published(job, *http);

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
  return OutcomeOf(info, *http, body);
}

void ListPage(TUrlJob& job, TPageLinks& links, TPageBodySink& body, const std::string& finalUrl,
              const std::string& address) {
  job.Pause(std::chrono::milliseconds(kPageSavedPauseMs));
  if (job.Aborted()) {
    throw EJobAborted{};
  }
  links.List(
      job.ResultSink(), [&body] { return body.SavedFile(); }, address, finalUrl);
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

TPageOutcome ProcessUrl(TUrlJob& job, const std::string& line) {
  job.ResetReceivedBytes();
  const std::string address = NormaliseAddress(line);
  // Declared first so that they go last: the page file is closed and the
  // files are removed once everything else of the URL is gone.
  TTempFiles temp_files(job);
  // The page is scanned as it arrives, so it is never read back nor held
  // whole; the file stays the page's saved copy.
  TPageLinks links(job.Settings().MaxGatheredLinkBytes, job.Settings().AnchorText,
                   job.Settings().LinkBudget);
  TBackgroundScan scan(links);
  // The body goes to the page file as it arrives (unless it is held); a
  // fetch that fails leaves the file to temp_files, which removes it.
  TPageBodySink body([&temp_files] { return temp_files.PageFile(); }, job.Settings(), &scan);
  TPageOutcome outcome;
  // Whatever one page's answer makes fail on the way (memory for a hostile
  // head, a scan that throws) fails that page only; the job goes on.
  try {
    outcome = FetchPage(job, address, body);
    if (Listable(outcome)) {
      scan.Finish();
    }
  } catch (const std::bad_alloc&) {
    outcome = FailedPage(address, "out of memory");
  } catch (const std::exception& error) {
    outcome = FailedPage(address, error.what());
  }
  body.RethrowReserveFailure();
  outcome.Address = address;
  job.ShowLastProgress();
  job.FetchDone(outcome);
  if (Listable(outcome)) {
    ListPage(job, links, body, outcome.FinalUrl, address);
    outcome.Listed = true;
  }
  return outcome;
}

}  // namespace movrek
