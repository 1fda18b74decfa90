#include "net/socket/custom_ssl.h"

namespace movrek {

namespace {
const char kNotCompiled[] = "SSL/TLS support is not compiled!";
}  // namespace

std::atomic<TTlsPluginFactory> TlsPluginClass{&TSSLNone::CreateForSocket};

TCustomSSL::TCustomSSL(TTCPBlockSocket& owner) : owner_(owner) {}

TCustomSSL::~TCustomSSL() = default;

void TCustomSSL::SetNotCompiled() {
  LastErrorCode = -1;
  LastErrorText = kNotCompiled;
}

bool TCustomSSL::MakeSelfSignedCertificate(const std::string& /*host*/) {
  return false;
}

void TCustomSSL::CopySettingsFrom(const TCustomSSL& other) {
  Username = other.Username;
  Password = other.Password;
  VerifyCert = other.VerifyCert;
  SSLType = other.SSLType;
  KeyPassword = other.KeyPassword;
  Ciphers = other.Ciphers;
  CertificateFile = other.CertificateFile;
  PrivateKeyFile = other.PrivateKeyFile;
  CertCAFile = other.CertCAFile;
  CertCA = other.CertCA;
  TrustCertificate = other.TrustCertificate;
  TrustCertificateFile = other.TrustCertificateFile;
  Certificate = other.Certificate;
  PrivateKey = other.PrivateKey;
  PFX = other.PFX;
  PFXfile = other.PFXfile;
  SessionCache = other.SessionCache;
}

std::string TCustomSSL::AlpnChosen() {
  return {};
}

std::string TCustomSSL::LibraryVersionText() {
  return {};
}
std::string TCustomSSL::LibraryNameText() {
  return {};
}

bool TCustomSSL::StartClientTls() {
  SetNotCompiled();
  return false;
}

bool TCustomSSL::StartServerTls() {
  SetNotCompiled();
  return false;
}

bool TCustomSSL::EndTls() {
  SetNotCompiled();
  return false;
}

bool TCustomSSL::EndTlsBothWays() {
  SetNotCompiled();
  return false;
}

std::int32_t TCustomSSL::TlsSend(const void* /*buffer*/, std::int32_t /*length*/) {
  SetNotCompiled();
  return -1;
}

std::int32_t TCustomSSL::TlsRecv(void* /*buffer*/, std::int32_t /*length*/) {
  SetNotCompiled();
  return -1;
}

std::int32_t TCustomSSL::TlsPending() {
  SetNotCompiled();
  return 0;
}

std::string TCustomSSL::ProtocolVersionText() {
  return {};
}
std::string TCustomSSL::PeerSubjectText() {
  return {};
}
std::string TCustomSSL::PeerIssuerText() {
  return {};
}
std::string TCustomSSL::PeerNameText() {
  return {};
}
std::string TCustomSSL::PeerFingerprintText() {
  return {};
}
std::string TCustomSSL::PeerCertificateText() {
  return {};
}
std::string TCustomSSL::CipherNameText() {
  return {};
}
std::int32_t TCustomSSL::CipherBitCount() {
  return 0;
}
std::int32_t TCustomSSL::CipherAlgorithmBitCount() {
  return 0;
}
std::int32_t TCustomSSL::PeerVerifyResult() {
  return 1;
}

std::unique_ptr<TCustomSSL> TSSLNone::CreateForSocket(TTCPBlockSocket& owner) {
  return std::make_unique<TSSLNone>(owner);
}

std::string TSSLNone::LibraryVersionText() {
  return "Without SSL support";
}
std::string TSSLNone::LibraryNameText() {
  return "ssl_none";
}

}  // namespace movrek
