#pragma once

#include <cstdint>
#include <string>

namespace movrek {

// How a fetch with redirects ended; the numbers are those of TUrlInfo::Status.
enum class TFetchStatus : std::uint8_t {
  Ok = 0,                  // a response arrived, error pages included
  NetworkError = 1,        // no response: connection, name lookup, transfer
  NoRedirectLocation = 2,  // a redirect named no address to go to
  GeneralError = 3,        // too many redirects, a scheme not fetched, ...
  // The server's TLS certificate failed verification (never a TUrlInfo
  // number: the pipeline tells it from a network error).
  CertificateError = 4,
};

// The status a TUrlInfo::Status number stands for; a number above 3 counts
// as a general error.
constexpr TFetchStatus FetchStatusOf(std::uint8_t status) {
  return status <= static_cast<std::uint8_t>(TFetchStatus::GeneralError)
             ? static_cast<TFetchStatus>(status)
             : TFetchStatus::GeneralError;
}

// One line of the URL list once the pipeline is through with it: how its
// fetch ended and whether its links were listed. Each front end makes its
// own texts and records of it; the links themselves went to the job's sink.
struct TPageOutcome {
  std::string Address;  // as fetched: trimmed, "http://" put in front
  TFetchStatus Status = TFetchStatus::Ok;
  std::string FinalUrl;  // the address requested last
  // The status code and text of the last response; 0 when the last request
  // got no answer (a network error).
  std::int32_t HttpStatus = 0;
  std::string HttpStatusText;
  std::int64_t Bytes = 0;  // body of the last response
  // The socket's error after a network error: number and text.
  std::int32_t SocketError = 0;
  std::string SocketErrorText;
  // Why a general error ended the redirects ("redirect loop", ...).
  std::string RedirectReason;
  // The body: the media type of its Content-Type (empty: none); the type
  // that made it no page, when it was not read as one; cut at the bound of
  // the settings; why it failed although a response came (its content
  // coding could not be undone).
  std::string ContentType;
  std::string SkippedType;
  bool Truncated = false;
  std::string FailureText;
  // The page's links went to the job's sink, after its status text.
  bool Listed = false;
};

}  // namespace movrek
