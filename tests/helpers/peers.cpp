#include "tests/helpers/peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/helpers/scripted_server.h"

namespace movrek::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// How long a peer may take until its port accepts connections.
constexpr int kStartTimeoutMs = 10000;

bool TryConnect(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

bool CanBind(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

// Waits for the peer's ports; on failure the message carries the logs so
// that a broken configuration explains itself in the test output.
::testing::AssertionResult AwaitStart(const char* what, ChildProcess& process,
                                      const std::vector<uint16_t>& ports,
                                      const std::vector<std::string>& logs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  for (uint16_t port : ports) {
    for (;;) {
      if (TryConnect(port)) break;
      if (!process.Running() || Clock::now() >= deadline) {
        auto failure = ::testing::AssertionFailure();
        failure << what << " did not start: "
                << (process.Running()
                        ? "port " + std::to_string(port) + " not accepting after " +
                              std::to_string(kStartTimeoutMs) + " ms"
                        : "exited with status " + std::to_string(process.exit_status()));
        for (const std::string& log : logs)
          failure << "\n--- " << log << " ---\n" << ReadFileText(log);
        process.Stop();
        return failure;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult LaunchFailure(const char* what, const ChildProcess& process) {
  return ::testing::AssertionFailure() << what << " could not be launched: " << process.error();
}

// openssl ca takes its times as GeneralizedTime, YYYYMMDDHHMMSSZ.
std::string AsnTime(std::time_t t) {
  std::tm tm{};
  ::gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d%H%M%SZ", &tm);
  return buf;
}

::testing::AssertionResult RunOpenssl(const std::vector<std::string>& args, const char* step) {
  std::vector<std::string> argv{"openssl"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string output;
  int status = RunCommand(argv, &output);
  if (status == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "openssl " << step << " failed (status " << status << "):\n"
         << output;
}

}  // namespace

// ---- utilities ------------------------------------------------------------

TempDir::TempDir() {
  char templ[] = "/tmp/movrek-test-XXXXXX";
  if (::mkdtemp(templ) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& relpath, const std::string& content) const {
  std::string full = File(relpath);
  WriteFileText(full, content);
  return full;
}

std::string TempDir::Read(const std::string& relpath) const {
  return ReadFileText(File(relpath));
}

void MakeDirs(const std::string& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  if (ec) throw std::runtime_error("cannot create " + path + ": " + ec.message());
}

void WriteFileText(const std::string& path, const std::string& content) {
  MakeDirs(fs::path(path).parent_path().string());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteLargeFile(const std::string& path, size_t n) {
  constexpr size_t kBlock = 1 << 20;
  MakeDirs(fs::path(path).parent_path().string());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (size_t at = 0; at < n && out; at += kBlock) {
    std::string block = PatternBytes(std::min(kBlock, n - at), at);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  if (!out) throw std::runtime_error("cannot write " + path);
}

uint16_t FreeLoopbackPort() {
  // Linux hands out ephemeral ports from 32768 up; staying below keeps the
  // chosen port from being taken by some test's outgoing connection before
  // the peer binds it.
  static std::mt19937 rng(static_cast<unsigned>(::getpid()) ^
                          static_cast<unsigned>(Clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<int> pick(20000, 32000);
  for (int attempt = 0; attempt < 200; ++attempt) {
    auto port = static_cast<uint16_t>(pick(rng));
    if (CanBind(port)) return port;
  }
  return UnusedLoopbackPort();
}

bool WaitForPort(uint16_t port, int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (TryConnect(port)) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  std::string dirs = ::getenv("PATH") ? ::getenv("PATH") : "";
  // Peers such as nginx live in sbin, which an ordinary user's PATH lacks.
  dirs += ":/usr/local/sbin:/usr/sbin:/sbin:/usr/local/bin:/usr/bin:/bin";
  std::stringstream list(dirs);
  std::string dir;
  while (std::getline(list, dir, ':')) {
    if (dir.empty()) continue;
    std::string candidate = dir + "/" + name;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return "";
}

bool RunningInCi() {
  const char* ci = ::getenv("CI");
  return ci != nullptr && *ci != '\0';
}

int RunCommand(const std::vector<std::string>& argv, std::string* output, int timeout_ms) {
  TempDir scratch;
  ChildProcess child;
  if (!child.Start(argv, scratch.File("output"))) {
    if (output) *output = child.error();
    return -1;
  }
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (child.Running() && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  child.Stop(0);
  if (output) *output = child.Log();
  return child.exit_status();
}

// ---- ChildProcess ---------------------------------------------------------

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& log_path,
                         const std::string& workdir) {
  Stop();
  error_.clear();
  exit_status_ = -1;
  log_path_ = log_path;
  if (argv.empty()) {
    error_ = "empty command";
    return false;
  }
  std::string program = FindProgram(argv[0]);
  if (program.empty()) {
    error_ = "program '" + argv[0] + "' not found";
    return false;
  }
  int log_fd = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  int null_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (log_fd < 0 || null_fd < 0) {
    error_ = "cannot open " + log_path + ": " + std::strerror(errno);
    if (log_fd >= 0) ::close(log_fd);
    if (null_fd >= 0) ::close(null_fd);
    return false;
  }
  // Everything the child needs is prepared before fork: between fork and
  // exec only async-signal-safe calls are allowed in a threaded process.
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args[0] = const_cast<char*>(program.c_str());
  args.push_back(nullptr);
  const char* dir = workdir.empty() ? nullptr : workdir.c_str();
  const pid_t parent = ::getpid();

  pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    // Dies with the test process, so a crashed test leaves no server behind.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    sigset_t all;
    ::sigemptyset(&all);
    ::sigprocmask(SIG_SETMASK, &all, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::dup2(null_fd, 0);
    ::dup2(log_fd, 1);
    ::dup2(log_fd, 2);
    if (dir != nullptr && ::chdir(dir) != 0) ::_exit(126);
    ::execv(args[0], args.data());
    static const char kMsg[] = "exec failed\n";
    [[maybe_unused]] ssize_t w = ::write(2, kMsg, sizeof kMsg - 1);
    ::_exit(127);
  }
  int fork_errno = errno;
  ::close(log_fd);
  ::close(null_fd);
  if (pid < 0) {
    error_ = std::string("fork failed: ") + std::strerror(fork_errno);
    return false;
  }
  ::setpgid(pid, pid);  // also from here, so the group exists before Stop() may run
  pid_ = pid;
  return true;
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == 0) return true;
  if (r == pid_) exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // The leader is gone; whatever else is left of its group goes with it.
  ::kill(-pid_, SIGKILL);
  pid_ = -1;
  return false;
}

void ChildProcess::Stop(int grace_ms) {
  if (pid_ <= 0) return;
  if (!Running()) return;
  ::kill(-pid_, SIGTERM);
  auto deadline = Clock::now() + std::chrono::milliseconds(grace_ms);
  while (Clock::now() < deadline) {
    if (!Running()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::kill(-pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  exit_status_ = -1;
  pid_ = -1;
}

// ---- certificates ---------------------------------------------------------

::testing::AssertionResult GenerateCertificate(const std::string& dir, const std::string& basename,
                                               const CertificateOptions& options,
                                               Certificate* out) {
  const std::string base = dir + "/" + basename;
  const std::string db = base + "-ca-db";
  MakeDirs(db);
  WriteFileText(db + "/index.txt", "");
  std::string alt = options.alt_names.empty()
                        ? "DNS:" + options.common_name + ",DNS:localhost,IP:127.0.0.1"
                        : options.alt_names;
  // `openssl ca` is used for signing because it takes explicit start and end
  // dates, which is how expired and not-yet-valid certificates are made.
  WriteFileText(db + "/ca.cnf",
                "[ca]\ndefault_ca = test_ca\n"
                "[test_ca]\ndatabase = " +
                    db + "/index.txt\nnew_certs_dir = " + db +
                    "\nrand_serial = yes\ndefault_md = sha256\npolicy = any\n"
                    "unique_subject = no\ncopy_extensions = none\nx509_extensions = leaf\n"
                    "[any]\ncommonName = supplied\n"
                    "[leaf]\nbasicConstraints = CA:FALSE\n"
                    "keyUsage = critical, digitalSignature, keyEncipherment\n"
                    "extendedKeyUsage = serverAuth\nsubjectKeyIdentifier = hash\n"
                    "authorityKeyIdentifier = keyid\nsubjectAltName = " +
                    alt + "\n");

  Certificate cert{base + ".crt", base + ".key", base + ".crt"};
  std::vector<std::string> issuer;
  if (options.issued_by_ca) {
    cert.ca_path = base + "-ca.crt";
    const std::string ca_key = base + "-ca.key";
    auto made = RunOpenssl(
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650", "-subj",
         "/CN=Movrek Test CA " + basename, "-keyout", ca_key, "-out", cert.ca_path, "-addext",
         "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"},
        "req (CA)");
    if (!made) return made;
    issuer = {"-cert", cert.ca_path, "-keyfile", ca_key};
  } else {
    issuer = {"-selfsign", "-keyfile", cert.key_path};
  }
  auto requested =
      RunOpenssl({"req", "-new", "-newkey", "rsa:2048", "-nodes", "-sha256", "-subj",
                  "/CN=" + options.common_name, "-keyout", cert.key_path, "-out", base + ".csr"},
                 "req");
  if (!requested) return requested;

  const std::time_t now = std::time(nullptr);
  constexpr std::time_t kDay = 24 * 3600;
  std::string start, end;
  switch (options.validity) {
    case CertificateOptions::Validity::kValid:
      start = AsnTime(now - kDay);
      end = AsnTime(now + 365 * kDay);
      break;
    case CertificateOptions::Validity::kExpired:
      start = AsnTime(now - 60 * kDay);
      end = AsnTime(now - 30 * kDay);
      break;
    case CertificateOptions::Validity::kNotYetValid:
      start = AsnTime(now + 30 * kDay);
      end = AsnTime(now + 60 * kDay);
      break;
  }
  std::vector<std::string> sign{"ca",  "-batch",      "-notext", "-config",      db + "/ca.cnf",
                                "-in", base + ".csr", "-out",    cert.cert_path, "-startdate",
                                start, "-enddate",    end};
  sign.insert(sign.end(), issuer.begin(), issuer.end());
  auto signed_ok = RunOpenssl(sign, "ca");
  if (!signed_ok) return signed_ok;
  *out = cert;
  return ::testing::AssertionSuccess();
}

// ---- nginx ----------------------------------------------------------------

namespace {
// One line per request with the fields tests assert on most; nginx escapes
// quotes inside values as \x22.
constexpr const char* kAccessLogFormat =
    "'\"$request\" $status $body_bytes_sent host=\"$http_host\" sni=\"$ssl_server_name\" "
    "server=\"$server_name\" scheme=$scheme ua=\"$http_user_agent\" referer=\"$http_referer\" "
    "cookie=\"$http_cookie\" auth=\"$http_authorization\" range=\"$http_range\" "
    "connection=\"$http_connection\" accept_encoding=\"$http_accept_encoding\" "
    "content_length=\"$content_length\" content_type=\"$content_type\" "
    "reused=$ssl_session_reused conn=$connection'";

constexpr const char* kTypes =
    "  types {\n"
    "    text/html html htm;\n    text/plain txt;\n    text/css css;\n"
    "    application/javascript js;\n    application/json json;\n    application/xml xml;\n"
    "    image/gif gif;\n    image/jpeg jpg jpeg;\n    image/png png;\n"
    "    application/zip zip;\n    application/pdf pdf;\n  }\n";
}  // namespace

NginxServer::NginxServer() : http_port_(FreeLoopbackPort()) {
  MakeDirs(root());
}

NginxServer::~NginxServer() {
  Stop();
}

void NginxServer::AddLocation(const std::string& snippet) {
  locations_.push_back(snippet);
}

void NginxServer::AddHttpSnippet(const std::string& snippet) {
  http_snippets_.push_back(snippet);
}

void NginxServer::EnableTls(const CertificateOptions& options) {
  tls_ = true;
  tls_options_ = options;
  if (https_port_ == 0) {
    do {
      https_port_ = FreeLoopbackPort();
    } while (https_port_ == http_port_);
  }
}

std::string NginxServer::AddVirtualHost(const std::string& name) {
  vhosts_.push_back({name, {}});
  std::string vroot = dir() + "/vhosts/" + name;
  MakeDirs(vroot);
  return vroot;
}

void NginxServer::WriteFile(const std::string& relpath, const std::string& content) {
  WriteFileText(root() + "/" + relpath, content);
}

void NginxServer::WriteLargeFile(const std::string& relpath, size_t n) {
  movrek::test::WriteLargeFile(root() + "/" + relpath, n);
}

void NginxServer::WriteVirtualHostFile(const std::string& name, const std::string& relpath,
                                       const std::string& content) {
  WriteFileText(dir() + "/vhosts/" + name + "/" + relpath, content);
}

std::string NginxServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(http_port_) + path;
}

std::string NginxServer::TlsUrl(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(https_port_) + path;
}

std::string NginxServer::VirtualHostCertPath(const std::string& name) const {
  for (const VirtualHost& v : vhosts_)
    if (v.name == name) return v.cert.cert_path;
  return "";
}

std::string NginxServer::Config() const {
  return ReadFileText(dir() + "/nginx.conf");
}

std::string NginxServer::BuildConfig() const {
  const std::string d = dir();
  std::ostringstream c;
  // As root nginx would hand its workers to "nobody", who cannot read the
  // private temp directory; the single-process mode below needs no workers,
  // and naming root keeps the setting consistent either way.
  if (::geteuid() == 0) c << "user root;\n";
  c << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
    << "pid " << d << "/nginx.pid;\n"
    << "error_log " << d << "/error.log info;\n"
    << "events { worker_connections 1024; }\n"
    << "http {\n"
    << kTypes << "  default_type application/octet-stream;\n"
    << "  log_format movrek " << kAccessLogFormat << ";\n"
    << "  access_log " << d << "/access.log movrek;\n";
  for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
    c << "  " << temp << "_temp_path " << d << "/tmp/" << temp << ";\n";
  auto listens = [&](bool default_server) {
    const char* suffix = default_server ? " default_server" : "";
    std::string s = "    listen 127.0.0.1:" + std::to_string(http_port_) + suffix + ";\n";
    if (tls_)
      s += "    listen 127.0.0.1:" + std::to_string(https_port_) + " ssl" +
           (http2_ ? " http2" : "") + suffix + ";\n";
    return s;
  };
  c << "  server {\n"
    << listens(true) << "    server_name localhost;\n"
    << "    root " << root() << ";\n";
  if (tls_)
    c << "    ssl_certificate " << cert_.cert_path << ";\n    ssl_certificate_key "
      << cert_.key_path << ";\n";
  for (const std::string& l : locations_) c << "    " << l << "\n";
  c << "  }\n";
  for (const VirtualHost& v : vhosts_) {
    c << "  server {\n"
      << listens(false) << "    server_name " << v.name << ";\n"
      << "    root " << d << "/vhosts/" << v.name << ";\n";
    if (tls_)
      c << "    ssl_certificate " << v.cert.cert_path << ";\n    ssl_certificate_key "
        << v.cert.key_path << ";\n";
    c << "  }\n";
  }
  for (const std::string& s : http_snippets_) c << "  " << s << "\n";
  c << "}\n";
  return c.str();
}

::testing::AssertionResult NginxServer::Start() {
  const std::string d = dir();
  MakeDirs(d + "/tmp");
  if (tls_) {
    auto made = GenerateCertificate(d, "server", tls_options_, &cert_);
    if (!made) return made;
    for (VirtualHost& v : vhosts_) {
      CertificateOptions o;
      o.common_name = v.name;
      o.alt_names = "DNS:" + v.name;
      made = GenerateCertificate(d, "vhost-" + v.name, o, &v.cert);
      if (!made) return made;
    }
  }
  WriteFileText(d + "/nginx.conf", BuildConfig());
  // -e sends start-up errors to our log instead of the system's.
  if (!process_.Start({"nginx", "-p", d, "-c", d + "/nginx.conf", "-e", d + "/error.log"},
                      d + "/nginx.out"))
    return LaunchFailure("nginx", process_);
  std::vector<uint16_t> ports{http_port_};
  if (tls_) ports.push_back(https_port_);
  return AwaitStart("nginx", process_, ports,
                    {d + "/nginx.out", d + "/error.log", d + "/nginx.conf"});
}

void NginxServer::Stop() {
  process_.Stop();
}

std::string NginxServer::AccessLog() const {
  return ReadFileText(dir() + "/access.log");
}

std::string NginxServer::ErrorLog() const {
  return ReadFileText(dir() + "/error.log");
}

std::string NginxServer::WaitForAccessLog(const std::string& needle, int timeout_ms) const {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    std::string log = AccessLog();
    if (log.find(needle) != std::string::npos || Clock::now() >= deadline) return log;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// ---- tinyproxy ------------------------------------------------------------

TinyproxyServer::TinyproxyServer() : port_(FreeLoopbackPort()) {}

TinyproxyServer::~TinyproxyServer() {
  Stop();
}

void TinyproxyServer::SetBasicAuth(const std::string& user, const std::string& password) {
  user_ = user;
  password_ = password;
}

void TinyproxyServer::AddConfigLine(const std::string& line) {
  extra_.push_back(line);
}

::testing::AssertionResult TinyproxyServer::Start() {
  const std::string d = dir();
  std::ostringstream c;
  c << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 60\nMaxClients 100\n"
    << "LogFile \"" << d << "/tinyproxy.log\"\nLogLevel Info\n"
    << "PidFile \"" << d
    << "/tinyproxy.pid\"\n"
    // No ConnectPort line: CONNECT is allowed to every port, which tunnel
    // tests to ephemeral loopback ports need.
    << "Allow 127.0.0.1\n";
  if (::geteuid() == 0) c << "User root\nGroup root\n";
  if (!user_.empty()) c << "BasicAuth " << user_ << " " << password_ << "\n";
  for (const std::string& l : extra_) c << l << "\n";
  WriteFileText(d + "/tinyproxy.conf", c.str());
  if (!process_.Start({"tinyproxy", "-d", "-c", d + "/tinyproxy.conf"}, d + "/tinyproxy.out"))
    return LaunchFailure("tinyproxy", process_);
  return AwaitStart("tinyproxy", process_, {port_},
                    {d + "/tinyproxy.out", d + "/tinyproxy.log", d + "/tinyproxy.conf"});
}

void TinyproxyServer::Stop() {
  process_.Stop();
}

std::string TinyproxyServer::Log() const {
  return ReadFileText(dir() + "/tinyproxy.out") + ReadFileText(dir() + "/tinyproxy.log");
}

// ---- microsocks -----------------------------------------------------------

MicrosocksServer::MicrosocksServer() : port_(FreeLoopbackPort()) {}

MicrosocksServer::~MicrosocksServer() {
  Stop();
}

void MicrosocksServer::SetAuth(const std::string& user, const std::string& password) {
  user_ = user;
  password_ = password;
}

::testing::AssertionResult MicrosocksServer::Start() {
  std::vector<std::string> argv{"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port_)};
  if (!user_.empty()) argv.insert(argv.end(), {"-u", user_, "-P", password_});
  const std::string log = dir_.File("microsocks.log");
  if (!process_.Start(argv, log)) return LaunchFailure("microsocks", process_);
  return AwaitStart("microsocks", process_, {port_}, {log});
}

void MicrosocksServer::Stop() {
  process_.Stop();
}

std::string MicrosocksServer::Log() const {
  return dir_.Read("microsocks.log");
}

// ---- openssl s_server -----------------------------------------------------

OpensslServer::OpensslServer() : port_(FreeLoopbackPort()) {
  MakeDirs(dir_.File("files"));
}

OpensslServer::~OpensslServer() {
  Stop();
}

void OpensslServer::AddArgs(const std::vector<std::string>& args) {
  args_.insert(args_.end(), args.begin(), args.end());
}

void OpensslServer::WriteFile(const std::string& relpath, const std::string& content) {
  dir_.Write("files/" + relpath, content);
}

::testing::AssertionResult OpensslServer::Start() {
  auto made = GenerateCertificate(dir(), "server", cert_options_, &cert_);
  if (!made) return made;
  std::vector<std::string> argv{
      "openssl", "s_server",      "-accept", "127.0.0.1:" + std::to_string(port_),
      "-cert",   cert_.cert_path, "-key",    cert_.key_path};
  switch (mode_) {
    case Mode::kWww:
      argv.push_back("-www");
      break;
    case Mode::kRev:
      argv.push_back("-rev");
      break;
    case Mode::kFiles:
      argv.push_back("-WWW");
      break;
    case Mode::kSink:
      break;
  }
  // stdin is /dev/null; without -ign_eof its EOF would end every session.
  argv.push_back("-ign_eof");
  argv.insert(argv.end(), args_.begin(), args_.end());
  const std::string log = dir_.File("s_server.log");
  if (!process_.Start(argv, log, dir_.File("files")))
    return LaunchFailure("openssl s_server", process_);
  return AwaitStart("openssl s_server", process_, {port_}, {log});
}

void OpensslServer::Stop() {
  process_.Stop();
}

std::string OpensslServer::Log() const {
  return dir_.Read("s_server.log");
}

}  // namespace movrek::test
