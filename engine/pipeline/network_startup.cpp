#include "engine/pipeline/network_startup.h"

#include "net/base/socket_api.h"
#include "net/socket/custom_ssl.h"
#include "net/socket/socket_exception.h"
#include "net/tls/openssl_binding.h"
#include "net/tls/tls_openssl.h"

namespace movrek {

namespace {
// Windows Sockets 2.2, the version the socket layer is started with.
constexpr std::uint16_t kSocketVersion = 0x0202;
}  // namespace

TNetworkStartup::TNetworkStartup() {
  if (!BindSocketLibrary("")) {
    throw ESocketError(0, "", "Error loading Socket interface (ws2_32.dll)!");
  }
  SocketStartup(kSocketVersion);
  // OpenSSL itself starts with the first connection that prepares TLS: its
  // start-up (configuration file, error strings) is a good part of a short
  // run's time, and a list without HTTPS never needs it.
  tls_ = true;
  TlsPluginClass.store(&TSSLOpenSSL::CreateForSocket);
}

TNetworkStartup::~TNetworkStartup() {
  if (tls_) {
    TlsPluginClass.store(&TSSLNone::CreateForSocket);
    UnloadTlsLibraries();
  }
  SocketCleanup();
  ReleaseSocketLibrary();
}

}  // namespace movrek
