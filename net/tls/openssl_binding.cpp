#include "net/tls/openssl_binding.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

namespace movrek {
namespace {

// Guards the binding state below. OpenSSL 3 needs no locking callbacks of
// its own, so this lock only serialises starting and stopping the binding.
std::mutex TlsBindingLock;
bool tls_loaded = false;  // guarded by TlsBindingLock
// Made once and kept for the life of the process: a connection may still use
// it when the binding is unloaded. Guarded by TlsBindingLock.
BIO_METHOD* socket_transport = nullptr;

constexpr const char* kTransportName = "movrek socket";

// What a transport BIO keeps: the borrowed handle, whether a read may wait
// for data (the default) or must return at once when none is there, how to
// wait, and why the last wait gave up.
struct Transport {
  int handle;
  TransportWait wait;
  bool reads_wait = true;
  std::int32_t failure = 0;
};

Transport& TransportOf(BIO* bio) {
  return *static_cast<Transport*>(BIO_get_data(bio));
}

int TransportHandle(BIO* bio) {
  return TransportOf(bio).handle;
}

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

// One send or receive through the transport. The system call never blocks,
// so that a silent or stalling peer is met by the socket's wait with its
// time-out and stop flag instead of holding the thread for good.
template <typename Call>
int TransportMove(BIO* bio, bool writing, Call call) {
  BIO_clear_retry_flags(bio);
  Transport& transport = TransportOf(bio);
  transport.failure = 0;
  const bool may_wait = writing || transport.reads_wait;
  const int flags = transport.wait || !may_wait ? MSG_DONTWAIT : 0;
  for (;;) {
    const ssize_t moved = call(flags);
    if (moved >= 0) {
      return static_cast<int>(moved);
    }
    if (errno == EINTR) {
      continue;
    }
    if (!WouldBlock(errno)) {
      return -1;
    }
    if (may_wait && transport.wait) {
      transport.failure = transport.wait(writing);
      if (transport.failure == 0) {
        continue;
      }
    }
    if (writing) {
      BIO_set_retry_write(bio);
    } else {
      BIO_set_retry_read(bio);
    }
    return -1;
  }
}

int TransportWrite(BIO* bio, const char* data, int length) {
  return TransportMove(bio, true, [bio, data, length](int flags) {
    // MSG_NOSIGNAL: a peer that has gone must not end the whole process.
    return ::send(TransportHandle(bio), data, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
  });
}

int TransportRead(BIO* bio, char* data, int length) {
  const int received = TransportMove(bio, false, [bio, data, length](int flags) {
    return ::recv(TransportHandle(bio), data, static_cast<size_t>(length), flags);
  });
  if (received == 0) {
    BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
  }
  return received;
}

long TransportCtrl(BIO* bio, int command, long number, void* pointer) {
  switch (command) {
    case BIO_C_SET_NBIO:
      TransportOf(bio).reads_wait = number == 0;
      return 1;
    case BIO_CTRL_FLUSH:  // every write goes straight to the socket
      return 1;
    case BIO_CTRL_EOF:
      return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0 ? 1 : 0;
    case BIO_C_GET_FD:
      if (pointer != nullptr) {
        *static_cast<int*>(pointer) = TransportHandle(bio);
      }
      return TransportHandle(bio);
    default:
      return 0;
  }
}

int TransportDestroy(BIO* bio) {
  // The BIO carries its transport through OpenSSL's untyped data slot, which
  // no smart pointer can hold; this is where that ownership ends.
  // NOLINTNEXTLINE(cppcoreguidelines-owning-memory)
  delete static_cast<Transport*>(BIO_get_data(bio));
  BIO_set_data(bio, nullptr);
  return 1;
}

bool LoadLocked() {
  if (tls_loaded) {
    return true;
  }
  if (OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr) !=
      1) {
    return false;
  }
  if (socket_transport == nullptr) {
    const int type = BIO_get_new_index();
    if (type == -1) {
      return false;
    }
    BIO_METHOD* method =
        BIO_meth_new(type | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, kTransportName);
    if (method == nullptr || BIO_meth_set_write(method, TransportWrite) != 1 ||
        BIO_meth_set_read(method, TransportRead) != 1 ||
        BIO_meth_set_ctrl(method, TransportCtrl) != 1 ||
        BIO_meth_set_destroy(method, TransportDestroy) != 1) {
      BIO_meth_free(method);
      return false;
    }
    socket_transport = method;
  }
  tls_loaded = true;
  return true;
}

}  // namespace

bool LoadTlsLibraries() {
  std::lock_guard<std::mutex> lock(TlsBindingLock);
  return LoadLocked();
}

void UnloadTlsLibraries() {
  std::lock_guard<std::mutex> lock(TlsBindingLock);
  tls_loaded = false;
}

bool TlsLibrariesLoaded() {
  std::lock_guard<std::mutex> lock(TlsBindingLock);
  return tls_loaded;
}

void OpenSslFree::operator()(ssl_st* p) const noexcept {
  SSL_free(p);
}
void OpenSslFree::operator()(ssl_ctx_st* p) const noexcept {
  SSL_CTX_free(p);
}
void OpenSslFree::operator()(x509_st* p) const noexcept {
  X509_free(p);
}
void OpenSslFree::operator()(evp_pkey_st* p) const noexcept {
  EVP_PKEY_free(p);
}
void OpenSslFree::operator()(bio_st* p) const noexcept {
  BIO_free_all(p);
}
void OpenSslFree::operator()(PKCS12_st* p) const noexcept {
  PKCS12_free(p);
}

BioPtr NewSocketTransport(int handle, TransportWait wait) {
  std::lock_guard<std::mutex> lock(TlsBindingLock);
  if (!LoadLocked()) {
    return nullptr;
  }
  BioPtr bio(BIO_new(socket_transport));
  if (bio == nullptr) {
    return nullptr;
  }
  // Owned by the BIO from here on; TransportDestroy frees it.
  BIO_set_data(bio.get(),
               std::make_unique<Transport>(Transport{handle, std::move(wait)}).release());
  BIO_set_init(bio.get(), 1);
  return bio;
}

void SetTransportWaits(bio_st* bio, bool wait) {
  if (bio != nullptr) {
    BIO_set_nbio(bio, wait ? 0 : 1);
  }
}

std::int32_t TransportFailure(bio_st* bio) {
  if (bio == nullptr || std::strcmp(BIO_method_name(bio), kTransportName) != 0) {
    return 0;
  }
  return TransportOf(bio).failure;
}

BioPtr NewMemoryBio(const std::string& bytes) {
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    return nullptr;
  }
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (bio == nullptr) {
    return nullptr;
  }
  if (!bytes.empty() && BIO_write(bio.get(), bytes.data(), static_cast<int>(bytes.size())) !=
                            static_cast<int>(bytes.size())) {
    return nullptr;
  }
  return bio;
}

std::string ReadMemoryBio(bio_st* bio) {
  if (bio == nullptr) {
    return std::string();
  }
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  if (length <= 0 || data == nullptr) {
    return std::string();
  }
  return std::string(data, static_cast<std::size_t>(length));
}

std::string OpenSslErrorText(unsigned long code) {
  char buffer[256] = {};
  ERR_error_string_n(code, buffer, sizeof buffer);
  return std::string(buffer);
}

std::string OpenSslVersionText() {
  return OpenSSL_version(OPENSSL_VERSION);
}

}  // namespace movrek
