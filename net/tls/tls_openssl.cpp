#include "net/tls/tls_openssl.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/rsa.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/base/ip_text.h"
#include "net/base/socket_api.h"
#include "net/base/text_util.h"
#include "net/socket/tcp_block_socket.h"
#include "net/tls/tls_limits.h"
#include "text/ascii_text.h"

namespace movrek {
namespace {

// Self-signed certificates: today's default security level refuses RSA keys
// below 2048 bits and SHA-1 signatures, so nothing weaker is made.
constexpr int kSelfSignedKeyBits = 2048;
constexpr long kSelfSignedValidBeforeSeconds = 86400;   // one day back
constexpr long kSelfSignedValidAfterSeconds = 5184000;  // 60 days ahead

// The server name to send (RFC 6066 section 3): a DNS host name without
// its trailing dot; an address literal is never sent.
std::string ServerNameFor(std::string host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    return std::string();
  }
  if (!host.empty() && host.back() == '.') {
    host.pop_back();
  }
  if (host.empty() || IsIPv4Text(host) || IsIPv6Text(host)) {
    return std::string();
  }
  if (host.find('\0') != std::string::npos) {
    return std::string();
  }
  return host;
}

// Makes the handshake fail unless the certificate names the host, or lists
// the address as an IP entry when the connection was made to an address.
bool RequirePeerName(SSL* ssl, const std::string& serverName, const std::string& address) {
  if (!serverName.empty()) {
    return SSL_set1_host(ssl, serverName.c_str()) == 1;
  }
  return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), address.c_str()) == 1;
}

std::string NameText(const X509_NAME* name) {
  char buffer[kNameTextBytes] = {};
  if (name == nullptr || X509_NAME_oneline(name, buffer, sizeof buffer) == nullptr) {
    return std::string();
  }
  return std::string(buffer);
}

// Reads a whole file; a failure is queued like OpenSSL's own file errors so
// that it reaches LastErrorText with its reason.
bool ReadWholeFile(const std::string& path, std::string& bytes) {
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (file) {
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file.bad()) {
      return true;
    }
  }
  ERR_raise_data(ERR_LIB_SYS, errno != 0 ? errno : EIO, "reading %s", path.c_str());
  return false;
}

// Where a client's sessions are kept: per server name (or address when none
// is sent) and port, and apart for verified connections, so that a session
// made without checks never stands in for a checked handshake.
std::string SessionKeyOf(const TSSLOpenSSL& plugin, const std::string& serverName) {
  TTCPBlockSocket& socket = plugin.Owner();
  const std::string host = serverName.empty() ? socket.RemoteAddressText() : serverName;
  return host + " " + std::to_string(socket.RemotePortNumber()) + (plugin.VerifyCert ? " v" : " -");
}

// OpenSSL hands each new client session here (TLS 1.3: on each ticket the
// server sends after the handshake); it is kept as its DER bytes.
int KeepNewSession(SSL* ssl, SSL_SESSION* session) {
  auto* plugin = static_cast<TSSLOpenSSL*>(SSL_get_app_data(ssl));
  const int size = i2d_SSL_SESSION(session, nullptr);
  if (plugin == nullptr || plugin->SessionCache == nullptr || size <= 0) {
    return 0;
  }
  std::string bytes(static_cast<std::size_t>(size), '\0');
  auto* out = reinterpret_cast<unsigned char*>(bytes.data());
  if (i2d_SSL_SESSION(session, &out) == size) {
    plugin->SessionCache->Store(SessionKeyOf(*plugin, ServerNameFor(plugin->SNIHost)),
                                std::move(bytes));
  }
  return 0;  // the session is not kept by reference
}

// Offers the session kept for this server, if any; one that no longer
// parses only means a full handshake.
void OfferKeptSession(SSL* ssl, const TSSLOpenSSL& plugin, const std::string& serverName) {
  const std::optional<std::string> kept =
      plugin.SessionCache->Find(SessionKeyOf(plugin, serverName));
  if (!kept) {
    return;
  }
  const auto* in = reinterpret_cast<const unsigned char*>(kept->data());
  SSL_SESSION* session = d2i_SSL_SESSION(nullptr, &in, static_cast<long>(kept->size()));
  if (session != nullptr) {
    SSL_set_session(ssl, session);
    SSL_SESSION_free(session);
  }
  ERR_clear_error();
}

// The method and the one version to pin for a requested protocol (0:
// negotiate the highest version both sides support); false for a protocol
// this plug-in does not speak.
bool MethodFor(TSSLType type, const SSL_METHOD*& method, int& pinnedVersion) {
  method = TLS_method();
  pinnedVersion = 0;
  switch (type) {
    case LT_all:
      break;
    // Where OpenSSL is built without SSL 3, its branch is this one's twin.
    // NOLINTNEXTLINE(bugprone-branch-clone)
    case LT_SSLv2:
      method = nullptr;  // no longer offered by OpenSSL at all
      break;
    case LT_SSLv3:
#ifdef OPENSSL_NO_SSL3_METHOD
      method = nullptr;
#else
      pinnedVersion = SSL3_VERSION;
#endif
      break;
    case LT_TLSv1:
      pinnedVersion = TLS1_VERSION;
      break;
    case LT_TLSv1_1:
    case LT_SSHv2:
      return false;
  }
  return true;
}

// RFC 7301 section 3.1: the offer is a list of names, each after its one-byte
// length. A name that does not fit one byte cannot be offered.
bool OfferAlpn(SSL* ssl, const std::vector<std::string>& names) {
  std::string wire;
  for (const std::string& name : names) {
    if (!name.empty() && name.size() < 256) {
      wire += static_cast<char>(name.size());
      wire += name;
    }
  }
  // SSL_set_alpn_protos answers 0 on success, unlike most of OpenSSL.
  return wire.empty() ||
         SSL_set_alpn_protos(ssl, reinterpret_cast<const unsigned char*>(wire.data()),
                             static_cast<unsigned int>(wire.size())) == 0;
}

}  // namespace

TSSLOpenSSL::TSSLOpenSSL(TTCPBlockSocket& owner) : TCustomSSL(owner) {
  Ciphers = "DEFAULT";
}

TSSLOpenSSL::~TSSLOpenSSL() {
  FreeContext();
}

std::unique_ptr<TCustomSSL> TSSLOpenSSL::CreateForSocket(TTCPBlockSocket& owner) {
  return std::make_unique<TSSLOpenSSL>(owner);
}

std::string TSSLOpenSSL::LibraryVersionText() {
  return OpenSslVersionText();
}

std::string TSSLOpenSSL::LibraryNameText() {
  return "tls_openssl";
}

bool TSSLOpenSSL::CheckErrorQueue() {
  LastErrorText.clear();
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  // The packed code of OpenSSL 3 uses all 32 bits; it is kept bit for bit.
  LastErrorCode = static_cast<std::int32_t>(static_cast<std::uint32_t>(code));
  if (code == 0) {
    return true;
  }
  LastErrorText = OpenSslErrorText(code);
  return false;
}

bool TSSLOpenSSL::CreateContext(bool server) {
  LastErrorText.clear();
  LastErrorCode = 0;
  CtxHandle.reset();

  const SSL_METHOD* method = nullptr;
  int pinned_version = 0;
  if (!MethodFor(SSLType, method, pinned_version)) {
    return false;
  }

  // A missing method makes SSL_CTX_new queue its own error.
  CtxHandle.reset(SSL_CTX_new(method));
  if (CtxHandle == nullptr) {
    CheckErrorQueue();
    return false;
  }
  SSL_CTX* ctx = CtxHandle.get();
  if (pinned_version != 0 && (SSL_CTX_set_min_proto_version(ctx, pinned_version) != 1 ||
                              SSL_CTX_set_max_proto_version(ctx, pinned_version) != 1)) {
    CheckErrorQueue();
    return false;
  }
  // An unusable cipher list leaves OpenSSL's default in place.
  if (!Ciphers.empty()) {
    SSL_CTX_set_cipher_list(ctx, Ciphers.c_str());
  }
  SSL_CTX_set_verify(ctx, VerifyCert ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
  // A client that verifies without a CA file of its own trusts what the
  // system trusts (SSL_CERT_FILE and SSL_CERT_DIR may point elsewhere).
  if (!server && VerifyCert && CertCAFile.empty() && SSL_CTX_set_default_verify_paths(ctx) != 1) {
    CheckErrorQueue();
    return false;
  }
  SSL_CTX_set_default_passwd_cb(ctx, &TSSLOpenSSL::KeyPasswordCallback);
  SSL_CTX_set_default_passwd_cb_userdata(ctx, this);

  if (server && CertificateFile.empty() && Certificate.empty() && PFXfile.empty() && PFX.empty()) {
    TTCPBlockSocket& socket = Owner();
    if (!MakeSelfSignedCertificate(socket.NameOfAddress(socket.RemoteAddressText()))) {
      return false;
    }
  }
  if (!ApplyKeys()) {
    return false;
  }

  if (!server && SessionCache != nullptr) {
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, KeepNewSession);
  }
  // Reading ahead with room for several records takes what has arrived in
  // one system call instead of two per record (header, then body).
  SSL_CTX_set_read_ahead(ctx, 1);
  SSL_CTX_set_default_read_buffer_len(ctx, kTlsReadBufferBytes);
  SslHandle.reset(SSL_new(ctx));
  if (SslHandle == nullptr) {
    CheckErrorQueue();
    return false;
  }
  return true;
}

bool TSSLOpenSSL::ApplyKeys() {
  if (CtxHandle == nullptr) {
    return false;
  }
  SSL_CTX* ctx = CtxHandle.get();
  const auto fail = [this] {
    CheckErrorQueue();
    return false;
  };

  if (!CertificateFile.empty()) {
    const char* file = CertificateFile.c_str();
    if (SSL_CTX_use_certificate_chain_file(ctx, file) != 1 &&
        SSL_CTX_use_certificate_file(ctx, file, SSL_FILETYPE_PEM) != 1 &&
        SSL_CTX_use_certificate_file(ctx, file, SSL_FILETYPE_ASN1) != 1) {
      return fail();
    }
  }
  if (!Certificate.empty()) {
    if (Certificate.size() > static_cast<std::size_t>(INT_MAX) ||
        SSL_CTX_use_certificate_ASN1(ctx, static_cast<int>(Certificate.size()),
                                     reinterpret_cast<const unsigned char*>(Certificate.data())) !=
            1) {
      return fail();
    }
  }
  // Drops the errors of the attempts that failed before one succeeded.
  CheckErrorQueue();

  if (!PrivateKeyFile.empty()) {
    const char* file = PrivateKeyFile.c_str();
    if (SSL_CTX_use_PrivateKey_file(ctx, file, SSL_FILETYPE_PEM) != 1 &&
        SSL_CTX_use_PrivateKey_file(ctx, file, SSL_FILETYPE_ASN1) != 1) {
      return fail();
    }
  }
  if (!PrivateKey.empty()) {
    if (SSL_CTX_use_PrivateKey_ASN1(EVP_PKEY_RSA, ctx,
                                    reinterpret_cast<const unsigned char*>(PrivateKey.data()),
                                    static_cast<long>(PrivateKey.size())) != 1) {
      return fail();
    }
  }
  CheckErrorQueue();

  if (!CertCAFile.empty() && SSL_CTX_load_verify_file(ctx, CertCAFile.c_str()) != 1) {
    return fail();
  }
  if (!PFXfile.empty()) {
    std::string bytes;
    if (!ReadWholeFile(PFXfile, bytes) || !LoadPkcs12(bytes)) {
      return fail();
    }
  }
  if (!PFX.empty() && !LoadPkcs12(PFX)) {
    return fail();
  }
  CheckErrorQueue();
  return true;
}

bool TSSLOpenSSL::LoadPkcs12(const std::string& bytes) {
  if (CtxHandle == nullptr) {
    return false;
  }
  BioPtr bio = NewMemoryBio(bytes);
  if (bio == nullptr) {
    return false;
  }
  Pkcs12Ptr pkcs12(d2i_PKCS12_bio(bio.get(), nullptr));
  if (pkcs12 == nullptr) {
    return false;
  }
  EVP_PKEY* raw_key = nullptr;
  X509* raw_cert = nullptr;
  const int parsed = PKCS12_parse(pkcs12.get(), KeyPassword.c_str(), &raw_key, &raw_cert, nullptr);
  EvpPkeyPtr key(raw_key);
  X509Ptr cert(raw_cert);
  if (parsed <= 0 || key == nullptr || cert == nullptr) {
    return false;
  }
  return SSL_CTX_use_certificate(CtxHandle.get(), cert.get()) > 0 &&
         SSL_CTX_use_PrivateKey(CtxHandle.get(), key.get()) > 0;
}

void TSSLOpenSSL::FreeContext() {
  SslHandle.reset();
  if (CtxHandle != nullptr) {
    CtxHandle.reset();
    // Nothing of this connection may linger in the thread's error queue.
    ERR_clear_error();
  }
  broken_ = false;
  deferred_ = false;
  TlsActive = false;
}

bool TSSLOpenSSL::PrepareTls(bool server) {
  FreeContext();
  // The library is loaded here at the latest (see TNetworkStartup).
  if (!LoadTlsLibraries()) {
    CheckErrorQueue();
    return false;
  }
  if (CreateContext(server)) {
    return true;
  }
  FreeContext();
  return false;
}

bool TSSLOpenSSL::Handshake(bool server) {
  VerifyError.clear();
  if (Owner().Handle == INVALID_SOCKET) {
    return false;
  }
  if (!PrepareTls(server)) {
    return false;
  }
  SSL* ssl = SslHandle.get();

  BioPtr transport =
      NewSocketTransport(Owner().Handle, [this](bool forWrite) { return AwaitPeer(forWrite); });
  if (transport == nullptr) {
    CheckErrorQueue();
    return false;
  }
  BIO* raw_transport = transport.release();
  SSL_set_bio(ssl, raw_transport, raw_transport);  // the connection owns it now

  if (!server) {
    // RFC 6066 section 3: without the name, a server hosting several sites
    // on one address hands back another site's certificate and pages.
    const std::string server_name = ServerNameFor(SNIHost);
    if (!server_name.empty() && SSL_set_tlsext_host_name(ssl, server_name.c_str()) != 1) {
      ERR_clear_error();  // an unusable name only means no name is sent
    }
    // RFC 6125: a certificate that chains to a trusted root still has to
    // name the host asked for, or any site's certificate would do.
    if (VerifyCert && !RequirePeerName(ssl, server_name, Owner().RemoteAddressText())) {
      CheckErrorQueue();
      return false;
    }
    if (!OfferAlpn(ssl, AlpnOffer)) {
      CheckErrorQueue();
      return false;
    }
    if (SessionCache != nullptr) {
      SSL_set_app_data(ssl, this);
      OfferKeptSession(ssl, *this, server_name);
    }
  }

  ERR_clear_error();
  if ((server ? SSL_accept(ssl) : SSL_connect(ssl)) < 1) {
    if (!WaitFailed()) {
      CheckErrorQueue();
    }
    // "certificate verify failed" alone does not say what was wrong with it.
    const long verified = SSL_get_verify_result(ssl);
    if (!server && VerifyCert && verified != X509_V_OK) {
      VerifyError = X509_verify_cert_error_string(verified);
      if (!LastErrorText.empty()) {
        LastErrorText += " (" + VerifyError + ")";
      }
    }
    return false;
  }
  if (!server && VerifyCert && PeerVerifyResult() != 0) {
    VerifyError = X509_verify_cert_error_string(PeerVerifyResult());
    return false;
  }
  TlsActive = true;
  return true;
}

bool TSSLOpenSSL::SessionResumed() const {
  return SslHandle != nullptr && SSL_session_reused(SslHandle.get()) == 1;
}

bool TSSLOpenSSL::StartClientTls() {
  return Handshake(false);
}

bool TSSLOpenSSL::StartServerTls() {
  return Handshake(true);
}

bool TSSLOpenSSL::EndTls() {
  if (SslHandle != nullptr && !broken_) {
    SSL_shutdown(SslHandle.get());
  }
  FreeContext();
  return true;
}

bool TSSLOpenSSL::EndTlsBothWays() {
  if (SslHandle != nullptr && !broken_) {
    SSL* ssl = SslHandle.get();
    if (SSL_shutdown(ssl) == 0) {
      // Our notification is out; closing our direction tells a peer that
      // waits for more data to answer with its own (RFC 8446 section 6.1).
      SocketShutdown(Owner().Handle, SHUT_WR);
      SSL_shutdown(ssl);
    }
  }
  FreeContext();
  return true;
}

std::int32_t TSSLOpenSSL::Transfer(bool sending, void* buffer, std::int32_t length) {
  LastErrorCode = 0;
  LastErrorText.clear();
  if (SslHandle == nullptr) {
    LastErrorCode = SSL_ERROR_SSL;
    return -1;
  }
  if (length <= 0) {
    return 0;
  }
  if (!sending && deferred_) {
    deferred_ = false;
    return Conclude(deferred_result_, deferred_error_);
  }
  SSL* ssl = SslHandle.get();
  int result;
  int error;
  do {
    // SSL_get_error is only reliable with an empty queue before the call.
    ERR_clear_error();
    result = sending ? SSL_write(ssl, buffer, length) : SSL_read(ssl, buffer, length);
    error = TransferError(result);
    if ((error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) && WaitFailed()) {
      return -1;
    }
  } while (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE);
  return Conclude(result, error);
}

int TSSLOpenSSL::TransferError(int result) {
  int error = SSL_get_error(SslHandle.get(), result);
  // OpenSSL 3 reports a connection that ended without a close notification
  // as a protocol error; for the socket it is a broken transport like a
  // reset (RFC 8446 section 6.1: a truncation).
  if (error == SSL_ERROR_SSL &&
      ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
    error = SSL_ERROR_SYSCALL;
  }
  ERR_clear_error();
  return error;
}

std::int32_t TSSLOpenSSL::Conclude(int result, int error) {
  if (error == SSL_ERROR_ZERO_RETURN) {
    return 0;
  }
  if (error != SSL_ERROR_NONE) {
    LastErrorCode = error;
    broken_ = error == SSL_ERROR_SYSCALL || error == SSL_ERROR_SSL;
  }
  return result;
}

std::int32_t TSSLOpenSSL::AwaitPeer(bool forWrite) {
  TTCPBlockSocket& socket = Owner();
  const std::int32_t timeout =
      receiving_ && !forWrite ? socket.ReceiveTimeoutInForce(socket.TlsTimeout) : socket.TlsTimeout;
  return socket.AwaitHandle(forWrite, timeout);
}

bool TSSLOpenSSL::WaitFailed() {
  const std::int32_t failure = TransportFailure(SSL_get_rbio(SslHandle.get()));
  if (failure == 0) {
    return false;
  }
  ERR_clear_error();
  LastErrorCode = failure;
  LastErrorText = TBlockSocket::GetErrorDesc(failure);
  // A record may be half sent or half read: the connection cannot go on,
  // and a close notification must not wait for the same peer again.
  broken_ = true;
  return true;
}

std::int32_t TSSLOpenSSL::TlsSend(const void* buffer, std::int32_t length) {
  // SSL_write only reads the buffer.
  return Transfer(true, const_cast<void*>(buffer), length);
}

std::int32_t TSSLOpenSSL::TlsRecv(void* buffer, std::int32_t length) {
  receiving_ = true;
  std::int32_t total = Transfer(false, buffer, length);
  receiving_ = false;
  if (total <= 0 || total >= length) {
    return total;
  }
  // A record carries at most 16 KiB (RFC 8446 section 5.1); records that have
  // already arrived are decrypted in the same call, without waiting for more,
  // so that a large transfer does not cost a round through the socket per
  // record. An end or failure met on the way is reported by the next call.
  SSL* ssl = SslHandle.get();
  char* out = static_cast<char*>(buffer);
  BIO* transport = SSL_get_rbio(ssl);
  SetTransportWaits(transport, false);
  while (total < length) {
    ERR_clear_error();
    const int result = SSL_read(ssl, out + total, length - total);
    if (result > 0) {
      total += result;
      continue;
    }
    const int error = TransferError(result);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
      deferred_ = true;
      deferred_result_ = result;
      deferred_error_ = error;
    }
    break;
  }
  SetTransportWaits(transport, true);
  return total;
}

std::int32_t TSSLOpenSSL::TlsPending() {
  if (SslHandle == nullptr) {
    return 0;
  }
  // A deferred end or failure is news the socket must come and read.
  if (deferred_) {
    return 1;
  }
  const int decrypted = SSL_pending(SslHandle.get());
  if (decrypted > 0) {
    return decrypted;
  }
  // Reading ahead leaves raw records in OpenSSL's buffer that the system no
  // longer counts; they are announced as up to one record's worth.
  return SSL_has_pending(SslHandle.get()) == 1 ? kMaxRecordPlaintextBytes : 0;
}

std::string TSSLOpenSSL::AlpnChosen() {
  if (SslHandle == nullptr) {
    return {};
  }
  const unsigned char* name = nullptr;
  unsigned int length = 0;
  SSL_get0_alpn_selected(SslHandle.get(), &name, &length);
  return name == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(name), length);
}

X509Ptr TSSLOpenSSL::PeerCertificate() {
  if (SslHandle == nullptr) {
    return nullptr;
  }
  return X509Ptr(SSL_get1_peer_certificate(SslHandle.get()));
}

std::string TSSLOpenSSL::ProtocolVersionText() {
  return SslHandle != nullptr ? SSL_get_version(SslHandle.get()) : std::string();
}

std::string TSSLOpenSSL::PeerSubjectText() {
  const X509Ptr cert = PeerCertificate();
  return cert != nullptr ? NameText(X509_get_subject_name(cert.get())) : std::string();
}

std::string TSSLOpenSSL::PeerIssuerText() {
  const X509Ptr cert = PeerCertificate();
  return cert != nullptr ? NameText(X509_get_issuer_name(cert.get())) : std::string();
}

std::string TSSLOpenSSL::PeerNameText() {
  return std::string(TrimControls(TextBefore(TextAfter(PeerSubjectText(), "/CN="), "/")));
}

std::string TSSLOpenSSL::PeerFingerprintText() {
  const X509Ptr cert = PeerCertificate();
  if (cert == nullptr) {
    return std::string();
  }
  unsigned char digest[EVP_MAX_MD_SIZE] = {};
  unsigned int length = 0;
  const EVP_MD* md5 = EVP_get_digestbyname("MD5");
  if (md5 == nullptr || X509_digest(cert.get(), md5, digest, &length) != 1) {
    ERR_clear_error();
    return std::string();
  }
  return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string TSSLOpenSSL::PeerCertificateText() {
  const X509Ptr cert = PeerCertificate();
  if (cert == nullptr) {
    return std::string();
  }
  const BioPtr bio = NewMemoryBio();
  if (bio == nullptr || X509_print(bio.get(), cert.get()) != 1) {
    return std::string();
  }
  return ReplaceAllText(ReadMemoryBio(bio.get()), "\n", "\r\n");
}

std::string TSSLOpenSSL::CipherNameText() {
  if (SslHandle == nullptr) {
    return std::string();
  }
  const SSL_CIPHER* cipher = SSL_get_current_cipher(SslHandle.get());
  return cipher != nullptr ? SSL_CIPHER_get_name(cipher) : std::string();
}

std::int32_t TSSLOpenSSL::CipherBitCount() {
  if (SslHandle == nullptr) {
    return 0;
  }
  return SSL_CIPHER_get_bits(SSL_get_current_cipher(SslHandle.get()), nullptr);
}

std::int32_t TSSLOpenSSL::CipherAlgorithmBitCount() {
  if (SslHandle == nullptr) {
    return 0;
  }
  int algorithm_bits = 0;
  SSL_CIPHER_get_bits(SSL_get_current_cipher(SslHandle.get()), &algorithm_bits);
  return algorithm_bits;
}

std::int32_t TSSLOpenSSL::PeerVerifyResult() {
  if (SslHandle == nullptr) {
    return X509_V_ERR_UNSPECIFIED;
  }
  return static_cast<std::int32_t>(SSL_get_verify_result(SslHandle.get()));
}

bool TSSLOpenSSL::MakeSelfSignedCertificate(const std::string& host) {
  const auto fail = [this] {
    CheckErrorQueue();
    return false;
  };
  EvpPkeyPtr key(EVP_RSA_gen(kSelfSignedKeyBits));
  X509Ptr cert(X509_new());
  if (key == nullptr || cert == nullptr) {
    return fail();
  }
  X509* x = cert.get();
  X509_NAME* name = X509_get_subject_name(x);
  const auto text = [](const std::string& value) {
    return reinterpret_cast<const unsigned char*>(value.c_str());
  };
  if (X509_set_version(x, 2) != 1 || ASN1_INTEGER_set(X509_get_serialNumber(x), 0) != 1 ||
      X509_gmtime_adj(X509_getm_notBefore(x), -kSelfSignedValidBeforeSeconds) == nullptr ||
      X509_gmtime_adj(X509_getm_notAfter(x), kSelfSignedValidAfterSeconds) == nullptr ||
      X509_set_pubkey(x, key.get()) != 1 ||
      X509_NAME_add_entry_by_txt(name, "C", MBSTRING_ASC, text("CZ"), -1, -1, 0) != 1 ||
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, text(host), -1, -1, 0) != 1 ||
      X509_set_issuer_name(x, name) != 1 || X509_sign(x, key.get(), EVP_sha256()) <= 0) {
    return fail();
  }
  const BioPtr cert_bio = NewMemoryBio();
  const BioPtr key_bio = NewMemoryBio();
  if (cert_bio == nullptr || key_bio == nullptr || i2d_X509_bio(cert_bio.get(), x) != 1 ||
      i2d_PrivateKey_bio(key_bio.get(), key.get()) != 1) {
    return fail();
  }
  Certificate = ReadMemoryBio(cert_bio.get());
  PrivateKey = ReadMemoryBio(key_bio.get());
  return true;
}

int TSSLOpenSSL::KeyPasswordCallback(char* buffer, int size, int /*rwflag*/, void* userdata) {
  if (buffer == nullptr || size <= 0) {
    return 0;
  }
  const std::string password =
      userdata != nullptr ? static_cast<TSSLOpenSSL*>(userdata)->KeyPassword : std::string();
  const std::size_t length = std::min(password.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, password.data(), length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

bool StartTlsPlugin() {
  if (!LoadTlsLibraries()) {
    return false;
  }
  TlsPluginClass.store(&TSSLOpenSSL::CreateForSocket);
  return true;
}

void StopTlsPlugin() {
  TlsPluginClass.store(&TSSLNone::CreateForSocket);
  UnloadTlsLibraries();
}

}  // namespace movrek
