// The network modules of the process: started once before the first socket
// exists, stopped in reverse order when the program ends.
#pragma once

namespace movrek {

// Binds and starts the socket library, then makes the OpenSSL plug-in the
// TLS plug-in of every later socket; OpenSSL is loaded by the first socket
// that prepares TLS (when it cannot be, HTTPS fails per connection and plain
// HTTP still works). The destructor undoes both in reverse order. One per
// process, in main.
class TNetworkStartup {
 public:
  // Throws ESocketError when the socket library cannot be bound.
  TNetworkStartup();
  ~TNetworkStartup();
  TNetworkStartup(const TNetworkStartup&) = delete;
  TNetworkStartup& operator=(const TNetworkStartup&) = delete;

  bool TlsAvailable() const { return tls_; }

 private:
  bool tls_ = false;
};

}  // namespace movrek
