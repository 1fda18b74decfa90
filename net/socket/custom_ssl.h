// The TLS plug-in contract of the TCP socket, the plug-in used when no TLS
// library is available, and the process-wide choice of plug-in.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/socket/socket_types.h"
#include "net/socket/tls_session_cache.h"

namespace movrek {

class TTCPBlockSocket;

// Base of every TLS plug-in. A plug-in belongs to exactly one socket (its
// owner) and is used by that socket's thread only. Every operation of the
// base fails: -1 in LastErrorCode with "SSL/TLS support is not compiled!".
//
// What the socket relies on: StartClientTls runs the client handshake over
// the owner's connected Handle, sets TlsActive and answers true on success;
// afterwards all data goes through TlsSend/TlsRecv, which return the byte
// count and leave a non-zero LastErrorCode exactly when the transfer failed;
// TlsPending gives the bytes readable without waiting; EndTls ends TLS before
// the handle is shut down.
class TCustomSSL {
 public:
  explicit TCustomSSL(TTCPBlockSocket& owner);
  virtual ~TCustomSSL();
  TCustomSSL(const TCustomSSL&) = delete;
  TCustomSSL& operator=(const TCustomSSL&) = delete;

  virtual bool MakeSelfSignedCertificate(const std::string& host);
  // Copies the settings, not the owner, the state or the error.
  virtual void CopySettingsFrom(const TCustomSSL& other);
  virtual std::string LibraryVersionText();
  virtual std::string LibraryNameText();
  virtual bool StartClientTls();
  virtual bool StartServerTls();
  virtual bool EndTls();
  virtual bool EndTlsBothWays();
  virtual std::int32_t TlsSend(const void* buffer, std::int32_t length);
  virtual std::int32_t TlsRecv(void* buffer, std::int32_t length);
  virtual std::int32_t TlsPending();
  virtual std::string ProtocolVersionText();
  virtual std::string PeerSubjectText();
  virtual std::string PeerIssuerText();
  virtual std::string PeerNameText();
  virtual std::string PeerFingerprintText();
  virtual std::string PeerCertificateText();
  virtual std::string CipherNameText();
  virtual std::int32_t CipherBitCount();
  virtual std::int32_t CipherAlgorithmBitCount();
  // 0 would mean a verified peer.
  virtual std::int32_t PeerVerifyResult();
  // The application protocol the server chose from AlpnOffer in the last
  // client handshake ("h2"); empty when it chose none or none was offered.
  virtual std::string AlpnChosen();

  [[nodiscard]] TTCPBlockSocket& Owner() const { return owner_; }

  bool TlsActive = false;
  std::int32_t LastErrorCode = 0;
  std::string LastErrorText;
  // Why the last client handshake refused the peer's certificate, in the
  // verifier's words ("certificate has expired", "self-signed certificate",
  // "hostname mismatch"); empty when it did not (or did not verify).
  std::string VerifyError;

  // Settings.
  TSSLType SSLType = LT_all;
  std::string KeyPassword;
  std::string Ciphers;
  std::string CertificateFile;
  std::string PrivateKeyFile;
  std::string Certificate;  // raw DER bytes
  std::string PrivateKey;   // raw DER bytes
  std::string PFX;          // raw PKCS#12 bytes
  std::string PFXfile;
  std::string CertCA;
  std::string CertCAFile;
  std::string TrustCertificate;
  std::string TrustCertificateFile;
  std::string Username;
  std::string Password;
  bool VerifyCert = false;
  std::string SSHChannelType;
  std::string SSHChannelArg1;
  std::string SSHChannelArg2;
  // Host name sent in the client handshake (server name indication); never
  // an address text. The owner of the connection fills it before StartTls;
  // empty sends none. Belongs to one connection, so CopySettingsFrom leaves it.
  std::string SNIHost;
  // Sessions a client offers to resume and keeps for later connections;
  // none: every handshake is a full one. Shared, and copied by
  // CopySettingsFrom.
  std::shared_ptr<TTlsSessionCache> SessionCache;
  // Application protocols offered in the client handshake, most wanted first
  // (RFC 7301); empty offers none. Belongs to one connection, like SNIHost.
  std::vector<std::string> AlpnOffer;

 protected:
  // Sets -1 and "SSL/TLS support is not compiled!".
  void SetNotCompiled();

 private:
  TTCPBlockSocket& owner_;
};

// The plug-in used when no TLS library is available.
class TSSLNone : public TCustomSSL {
 public:
  using TCustomSSL::TCustomSSL;
  static std::unique_ptr<TCustomSSL> CreateForSocket(TTCPBlockSocket& owner);

  std::string LibraryVersionText() override;  // "Without SSL support"
  std::string LibraryNameText() override;     // "ssl_none"
};

// Makes the plug-in of a new socket.
using TTlsPluginFactory = std::unique_ptr<TCustomSSL> (*)(TTCPBlockSocket& owner);

// The plug-in class of every TCP socket created from now on: TSSLNone's
// factory unless the TLS module replaced it at start-up.
extern std::atomic<TTlsPluginFactory> TlsPluginClass;

}  // namespace movrek
