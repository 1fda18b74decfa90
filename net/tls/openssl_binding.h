// The process-wide binding to OpenSSL 3: starting and stopping the library,
// owning handles for its objects, and the few helpers the TLS plug-in needs
// on top of the plain calls. OpenSSL's own headers stay inside the .cpp files
// of this layer; users of this header only see the opaque structure names.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// OpenSSL's opaque types (SSL, SSL_CTX, X509, EVP_PKEY, BIO, PKCS12).
struct ssl_st;
struct ssl_ctx_st;
struct x509_st;
struct evp_pkey_st;
struct bio_st;
struct PKCS12_st;

namespace movrek {

// Starts OpenSSL once per process (its error texts and algorithms) and makes
// the socket transport used under every TLS connection. Repeated calls answer
// from the first success; a failure is retried by the next call. Serialised
// by TlsBindingLock, as is UnloadTlsLibraries.
bool LoadTlsLibraries();
// Marks the binding unloaded; the next call through it loads it again.
// OpenSSL cleans itself up at process exit, the only moment when no
// connection can still use it, so the library itself is not stopped here.
void UnloadTlsLibraries();
bool TlsLibrariesLoaded();

struct OpenSslFree {
  void operator()(ssl_st* p) const noexcept;
  void operator()(ssl_ctx_st* p) const noexcept;
  void operator()(x509_st* p) const noexcept;
  void operator()(evp_pkey_st* p) const noexcept;
  void operator()(bio_st* p) const noexcept;
  void operator()(PKCS12_st* p) const noexcept;
};
using SslPtr = std::unique_ptr<ssl_st, OpenSslFree>;
using SslCtxPtr = std::unique_ptr<ssl_ctx_st, OpenSslFree>;
using X509Ptr = std::unique_ptr<x509_st, OpenSslFree>;
using EvpPkeyPtr = std::unique_ptr<evp_pkey_st, OpenSslFree>;
using BioPtr = std::unique_ptr<bio_st, OpenSslFree>;
using Pkcs12Ptr = std::unique_ptr<PKCS12_st, OpenSslFree>;

// How a socket transport waits while its handle is not ready: called with
// true to write, false to read; answers 0 when the transport may try again,
// else the error that ends the transfer.
using TransportWait = std::function<std::int32_t(bool forWrite)>;

// A transport over a connected socket handle that never closes the handle
// (the socket owns it) and never raises SIGPIPE when the peer has gone, so
// a write to a dropped connection fails with EPIPE instead of ending the
// process. It never blocks in the system: when the handle is not ready it
// calls wait; a wait that gives up leaves OpenSSL with a retry indication
// (its connection state intact) and its error for TransportFailure. Without
// a wait function the system calls block. None when the binding cannot be
// loaded or OpenSSL is out of memory.
BioPtr NewSocketTransport(int handle, TransportWait wait);
// Whether reads through a socket transport wait for data (the default) or
// return at once with a retry indication when nothing has arrived.
void SetTransportWaits(bio_st* bio, bool wait);
// The error with which the wait of the transport's last read or write gave
// up; 0 when it did not.
std::int32_t TransportFailure(bio_st* bio);

// A memory BIO holding a copy of bytes, and everything a memory BIO holds.
BioPtr NewMemoryBio(const std::string& bytes = std::string());
std::string ReadMemoryBio(bio_st* bio);

// OpenSSL's text for a queued error code, cut at 255 characters.
std::string OpenSslErrorText(unsigned long code);

// The version text of the OpenSSL library the program runs with.
std::string OpenSslVersionText();

}  // namespace movrek
