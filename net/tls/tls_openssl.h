// The TLS plug-in over OpenSSL: client and server handshakes on the owner
// socket's connected handle, encrypted transfer, and the peer and connection
// queries. A plug-in belongs to one socket and is used by that socket's
// thread only; every start of a connection builds a fresh context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/socket/custom_ssl.h"
#include "net/tls/openssl_binding.h"

namespace movrek {

class TSSLOpenSSL : public TCustomSSL {
 public:
  explicit TSSLOpenSSL(TTCPBlockSocket& owner);
  ~TSSLOpenSSL() override;
  // The factory stored in TlsPluginClass.
  static std::unique_ptr<TCustomSSL> CreateForSocket(TTCPBlockSocket& owner);

  // A 2048-bit RSA key and an X.509 v3 certificate for it, signed with
  // SHA-256 by itself: subject and issuer C=CZ and CN=host, serial 0, valid
  // from one day ago to 60 days ahead. Fills Certificate and PrivateKey (DER).
  bool MakeSelfSignedCertificate(const std::string& host) override;
  std::string LibraryVersionText() override;
  std::string LibraryNameText() override;  // "tls_openssl"
  // Each wait of a handshake for the peer lasts at most the owner's
  // TlsTimeout and ends early at a stop request; such a failure leaves the
  // socket's 10060 or 10053 and its text in LastErrorCode/LastErrorText.
  // The client sends SNIHost as server name unless it is an address text.
  bool StartClientTls() override;
  bool StartServerTls() override;
  // Sends the close notification (not waiting for the peer's) and frees the
  // connection. Always true.
  bool EndTls() override;
  // Also waits for the peer's close notification, after shutting down the
  // sending direction of the handle when it has not arrived yet. Always true.
  bool EndTlsBothWays() override;
  // OpenSSL's byte count; 0 without error at a clean close by the peer. A
  // failure leaves the SSL_get_error code in LastErrorCode (no text); a
  // connection that ended without a close notification counts as broken
  // (SSL_ERROR_SYSCALL), as does any transport failure. A wait for the peer
  // that timed out (the owner's TlsTimeout; for the rest of a record being
  // received, the time-out of the socket's receive) or was stopped leaves
  // 10060 or 10053 with its text instead, and the connection broken.
  std::int32_t TlsSend(const void* buffer, std::int32_t length) override;
  // Waits for the first record only; further records that have already
  // arrived are added without waiting. An end or failure met after data was
  // taken is reported by the next call.
  std::int32_t TlsRecv(void* buffer, std::int32_t length) override;
  // Decrypted bytes at hand; else up to one record (16384) while OpenSSL
  // holds received records not yet decrypted, or 1 while an end or failure
  // waits to be reported; 0 when the socket must be asked.
  std::int32_t TlsPending() override;
  // The queries answer "" (or 0) while there is no connection object, and the
  // peer queries also when the peer sent no certificate.
  std::string ProtocolVersionText() override;
  std::string PeerSubjectText() override;
  std::string PeerIssuerText() override;
  // The common name of the subject, "" when it has none.
  std::string PeerNameText() override;
  // The raw MD5 digest of the peer certificate (16 bytes, not hexadecimal).
  std::string PeerFingerprintText() override;
  // OpenSSL's printout of the peer certificate with CR LF line ends.
  std::string PeerCertificateText() override;
  std::string CipherNameText() override;
  std::int32_t CipherBitCount() override;
  std::int32_t CipherAlgorithmBitCount() override;
  // 0 for a verified peer, else OpenSSL's verify error; 1 without a
  // connection object.
  std::int32_t PeerVerifyResult() override;
  std::string AlpnChosen() override;
  // The handshake resumed a session from SessionCache.
  [[nodiscard]] bool SessionResumed() const;

  // --- Steps of a start, reachable for tests ---
  // Takes OpenSSL's first queued error into LastErrorCode/LastErrorText and
  // empties the queue; true when there was none.
  bool CheckErrorQueue();
  // Context and connection object for the settings; a server without any
  // certificate setting gets a self-signed certificate first.
  bool CreateContext(bool server);
  // Certificate, key, CA file and PKCS#12 settings into the context.
  bool ApplyKeys();
  // Certificate and key of PKCS#12 bytes, opened with KeyPassword.
  bool LoadPkcs12(const std::string& bytes);
  void FreeContext();
  bool PrepareTls(bool server);
  // The pass-phrase callback handed to OpenSSL; userdata is the plug-in.
  // Copies at most size - 1 characters of KeyPassword and a NUL, and returns
  // the number of characters copied.
  static int KeyPasswordCallback(char* buffer, int size, int rwflag, void* userdata);

  SslPtr SslHandle;     // the connection object, or none
  SslCtxPtr CtxHandle;  // its context, or none

 private:
  bool Handshake(bool server);
  // One SSL_write or SSL_read, retried while OpenSSL wants to read or write.
  std::int32_t Transfer(bool sending, void* buffer, std::int32_t length);
  // SSL_get_error of a transfer result, with a truncated connection counted
  // as a transport failure; empties the error queue.
  int TransferError(int result);
  // The result of a transfer with its error recorded.
  std::int32_t Conclude(int result, int error);
  // How the transport waits: through the owner socket's wait.
  std::int32_t AwaitPeer(bool forWrite);
  // True (with the error recorded and the connection given up) when the
  // transport's last wait did not end in readiness.
  bool WaitFailed();
  X509Ptr PeerCertificate();
  // Set when a transfer failed fatally; OpenSSL forbids a close notification
  // on such a connection.
  bool broken_ = false;
  // Set while TlsRecv runs: its reads wait with the receive's time-out.
  bool receiving_ = false;
  // An end or failure met after data had been read in the same call, kept
  // for the next TlsRecv to report.
  bool deferred_ = false;
  int deferred_result_ = 0;
  int deferred_error_ = 0;
};

// Start of the TLS module, once per process before sockets are made: starts
// OpenSSL and makes TSSLOpenSSL the plug-in of every TCP socket created
// afterwards. False (sockets keep TSSLNone) when OpenSSL cannot start.
bool StartTlsPlugin();
// End of the TLS module: sockets created afterwards get TSSLNone.
void StopTlsPlugin();

}  // namespace movrek
