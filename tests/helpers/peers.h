#pragma once
// Real peers (nginx, tinyproxy, microsocks, openssl s_server) run as child
// processes on loopback ports, each owning a private temporary directory.
// Every launcher kills its process group and waits for it in the destructor,
// so a failed assertion leaves no server behind.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace movrek::test {

// --- small utilities -------------------------------------------------------

// A fresh directory /tmp/movrek-test-XXXXXX, removed recursively on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& relpath) const { return path_ + "/" + relpath; }
  // Writes relpath (parent directories created); returns the full path.
  std::string Write(const std::string& relpath, const std::string& content) const;
  std::string Read(const std::string& relpath) const;

 private:
  std::string path_;
};

void WriteFileText(const std::string& path, const std::string& content);  // creates parents
std::string ReadFileText(const std::string& path);                        // "" when missing
// Creates a file of n bytes of PatternBytes(n) without holding it in memory.
void WriteLargeFile(const std::string& path, size_t n);
void MakeDirs(const std::string& path);

// A loopback port that was free a moment ago, taken from below the ephemeral
// range so that outgoing connections of parallel tests do not occupy it.
uint16_t FreeLoopbackPort();
// Polls until something accepts TCP connections on 127.0.0.1:port.
bool WaitForPort(uint16_t port, int timeout_ms = 10000);

// Full path of an executable found in PATH, /usr/sbin or /sbin; "" if none.
std::string FindProgram(const std::string& name);
bool RunningInCi();  // the environment variable CI is set (and not empty)

// Runs a command to completion (stdin /dev/null, stdout+stderr captured).
// Returns the exit status (-1 when it could not run or was killed).
int RunCommand(const std::vector<std::string>& argv, std::string* output = nullptr,
               int timeout_ms = 60000);

// Skips the current test when `program` is not installed, but fails it when
// the environment variable CI is set: on CI a missing peer is a setup fault.
// Usable in TEST bodies and in SetUp().
// Node modules (parse5) of the peers' own folder, installed by scripts/setup.
#define MOVREK_REQUIRE_NODE_MODULE(modules, name)                                                  \
  do {                                                                                             \
    if (::movrek::test::ReadFileText(std::string(modules) + "/" + (name) + "/package.json")        \
            .empty()) {                                                                            \
      if (::movrek::test::RunningInCi()) FAIL() << (name) << " is not installed in " << (modules); \
      GTEST_SKIP() << (name) << " is not installed in " << (modules) << " (scripts/setup)";        \
    }                                                                                              \
  } while (0)

#define MOVREK_REQUIRE_PEER(program)                                                      \
  do {                                                                                    \
    if (::movrek::test::FindProgram(program).empty()) {                                   \
      if (::movrek::test::RunningInCi()) {                                                \
        FAIL() << "peer program '" << (program) << "' is not installed (required on CI)"; \
      }                                                                                   \
      GTEST_SKIP() << "peer program '" << (program) << "' is not installed";              \
    }                                                                                     \
  } while (0)

// --- child processes -------------------------------------------------------

// A child in its own process group, stdin from /dev/null, stdout and stderr
// appended to log_path. The child is also killed (SIGKILL) when the thread
// that started it ends, so a crashed test leaves no server behind; start
// peers from the test's own thread, not from a short-lived worker thread.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // argv[0] may be a bare name (looked up with FindProgram). False (with
  // error()) when the program is missing or fork failed.
  bool Start(const std::vector<std::string>& argv, const std::string& log_path,
             const std::string& workdir = "");
  bool Running();  // reaps the child when it has exited
  // SIGTERM to the group, up to grace_ms to exit, then SIGKILL; always reaps.
  void Stop(int grace_ms = 3000);
  pid_t pid() const { return pid_; }
  int exit_status() const { return exit_status_; }  // after it ended; -1 when killed
  const std::string& error() const { return error_; }
  std::string Log() const { return ReadFileText(log_path_); }

 private:
  pid_t pid_ = -1;
  int exit_status_ = -1;
  std::string log_path_;
  std::string error_;
};

// --- certificates ----------------------------------------------------------

// Generated with the openssl command: RSA 2048, SHA-256.
struct CertificateOptions {
  std::string common_name = "localhost";
  // subjectAltName entries; empty means "DNS:<common_name>,DNS:localhost,IP:127.0.0.1".
  std::string alt_names;
  enum class Validity { kValid, kExpired, kNotYetValid };
  Validity validity = Validity::kValid;
  // When true the certificate is issued by a fresh test CA (ca_path() set);
  // otherwise it is self-signed and is its own CA.
  bool issued_by_ca = false;
};

struct Certificate {
  std::string cert_path;  // PEM certificate
  std::string key_path;   // PEM private key (unencrypted)
  std::string ca_path;    // PEM of the issuing CA (= cert_path when self-signed)
};

// Writes <dir>/<basename>.crt / .key (and <basename>-ca.crt); on failure
// returns an AssertionFailure with the openssl output.
::testing::AssertionResult GenerateCertificate(const std::string& dir, const std::string& basename,
                                               const CertificateOptions& options, Certificate* out);

// --- nginx -----------------------------------------------------------------

// nginx in the foreground (single process) on a free loopback port, every
// path it writes inside dir(). Files served come from root().
// Access log lines look like:
//   "GET /a.html HTTP/1.1" 200 12 host="127.0.0.1:PORT" sni="-" ua="..." ...
// (see kAccessLogFormat in peers.cpp for every field; conn=N numbers the
// connection the request came on).
class NginxServer {
 public:
  NginxServer();
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // Configuration; call before Start().
  // A location block (or any directive) inside the default server block, which
  // serves both the plain and, when enabled, the TLS port. E.g.
  //   AddLocation("location = /r301 { return 301 /target.html; }");
  void AddLocation(const std::string& snippet);
  // Raw text at http{} level (extra server blocks, maps, ...).
  void AddHttpSnippet(const std::string& snippet);
  // Adds a second, TLS listener (https_port()) to the default server, with a
  // certificate generated at Start() for CN=localhost, SAN localhost and
  // 127.0.0.1 (cert_path() is also its CA for verification).
  void EnableTls(const CertificateOptions& options = {});
  // The TLS listener offers HTTP/2 (ALPN "h2") beside HTTP/1.1.
  void EnableHttp2() { http2_ = true; }
  // A name-based virtual host on both ports (when TLS is on, with its own
  // certificate for CN=name, chosen by SNI). Returns its document root.
  std::string AddVirtualHost(const std::string& name);

  // Content; may be called before or after Start().
  void WriteFile(const std::string& relpath, const std::string& content);  // under root()
  void WriteLargeFile(const std::string& relpath, size_t n);               // PatternBytes(n)
  void WriteVirtualHostFile(const std::string& name, const std::string& relpath,
                            const std::string& content);

  ::testing::AssertionResult Start();
  void Stop();

  uint16_t http_port() const { return http_port_; }
  uint16_t https_port() const { return https_port_; }
  std::string Url(const std::string& path = "/") const;     // http://127.0.0.1:P/path
  std::string TlsUrl(const std::string& path = "/") const;  // https://127.0.0.1:P/path
  std::string dir() const { return dir_.path(); }
  std::string root() const { return dir_.path() + "/root"; }
  std::string cert_path() const { return cert_.cert_path; }
  std::string key_path() const { return cert_.key_path; }
  std::string ca_path() const { return cert_.ca_path; }
  std::string VirtualHostCertPath(const std::string& name) const;
  std::string Config() const;  // the generated nginx.conf (after Start)

  std::string AccessLog() const;
  std::string ErrorLog() const;
  // nginx writes the access log line after the response; this waits until
  // `needle` appears in it. Returns the log either way.
  std::string WaitForAccessLog(const std::string& needle, int timeout_ms = 3000) const;

 private:
  std::string BuildConfig() const;

  TempDir dir_;
  ChildProcess process_;
  uint16_t http_port_ = 0;
  uint16_t https_port_ = 0;
  bool tls_ = false;
  bool http2_ = false;
  CertificateOptions tls_options_;
  Certificate cert_;
  std::vector<std::string> locations_;
  std::vector<std::string> http_snippets_;
  struct VirtualHost {
    std::string name;
    Certificate cert;
  };
  std::vector<VirtualHost> vhosts_;
};

// --- tinyproxy -------------------------------------------------------------

// tinyproxy in the foreground on a free loopback port; allows 127.0.0.1 and
// CONNECT to any port.
class TinyproxyServer {
 public:
  TinyproxyServer();
  ~TinyproxyServer();
  TinyproxyServer(const TinyproxyServer&) = delete;
  TinyproxyServer& operator=(const TinyproxyServer&) = delete;

  void SetBasicAuth(const std::string& user, const std::string& password);
  void AddConfigLine(const std::string& line);  // raw tinyproxy.conf line
  ::testing::AssertionResult Start();
  void Stop();

  uint16_t port() const { return port_; }
  std::string dir() const { return dir_.path(); }
  std::string Log() const;

 private:
  TempDir dir_;
  ChildProcess process_;
  uint16_t port_ = 0;
  std::string user_, password_;
  std::vector<std::string> extra_;
};

// --- microsocks ------------------------------------------------------------

// SOCKS5 server (RFC 1928) on a free loopback port, optionally with
// username/password authentication (RFC 1929).
class MicrosocksServer {
 public:
  MicrosocksServer();
  ~MicrosocksServer();
  MicrosocksServer(const MicrosocksServer&) = delete;
  MicrosocksServer& operator=(const MicrosocksServer&) = delete;

  void SetAuth(const std::string& user, const std::string& password);
  ::testing::AssertionResult Start();
  void Stop();

  uint16_t port() const { return port_; }
  std::string Log() const;

 private:
  TempDir dir_;
  ChildProcess process_;
  uint16_t port_ = 0;
  std::string user_, password_;
};

// --- openssl s_server ------------------------------------------------------

// `openssl s_server` on a free loopback port with a generated certificate.
class OpensslServer {
 public:
  enum class Mode {
    kWww,    // -www: answers any request with an HTML status page
    kRev,    // -rev: echoes every line reversed
    kSink,   // plain s_server: what the client sends goes to Log(), nothing is sent
    kFiles,  // -WWW: "GET /path" answered with the file written by WriteFile
  };

  OpensslServer();
  ~OpensslServer();
  OpensslServer(const OpensslServer&) = delete;
  OpensslServer& operator=(const OpensslServer&) = delete;

  void SetMode(Mode mode) { mode_ = mode; }
  void SetCertificate(const CertificateOptions& options) { cert_options_ = options; }
  // Extra s_server arguments, e.g. {"-tls1_2"} or {"-no_tls1_3", "-cipher", "..."}.
  void AddArgs(const std::vector<std::string>& args);
  void WriteFile(const std::string& relpath, const std::string& content);  // for kFiles
  ::testing::AssertionResult Start();
  void Stop();

  uint16_t port() const { return port_; }
  std::string cert_path() const { return cert_.cert_path; }
  std::string key_path() const { return cert_.key_path; }
  std::string ca_path() const { return cert_.ca_path; }
  std::string dir() const { return dir_.path(); }
  std::string Log() const;

 private:
  TempDir dir_;
  ChildProcess process_;
  uint16_t port_ = 0;
  Mode mode_ = Mode::kWww;
  CertificateOptions cert_options_;
  Certificate cert_;
  std::vector<std::string> args_;
};

}  // namespace movrek::test
