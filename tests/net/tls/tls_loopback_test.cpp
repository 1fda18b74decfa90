// The OpenSSL plug-in against itself over loopback: our server side with its
// generated or configured keys, our client side with its queries, the ends
// of a connection, and the settings that must fail before any traffic.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "net/base/socket_api.h"
#include "net/socket/tcp_block_socket.h"
#include "net/tls/tls_openssl.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scripted_server.h"
#include "tests/net/socket/socket_test_support.h"

namespace movrek {
namespace {

using test::PatternBytes;
using test::RunCommand;
using test::TempDir;

constexpr int kDepthZeroSelfSignedCert = 18;  // X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT
constexpr int kSslErrorSyscall = 5;           // SSL_ERROR_SYSCALL

TSSLOpenSSL& Tls(TTCPBlockSocket& socket) {
  return static_cast<TSSLOpenSSL&>(*socket.TlsPlugin);
}

// Accepts one connection on a loopback port and runs our server side on it
// in a thread of its own: configure() on the plug-in, StartServerTls, then
// session() with the outcome.
class TlsServer {
 public:
  using Configure = std::function<void(TSSLOpenSSL&)>;
  using Session = std::function<void(TTCPBlockSocket&, bool started)>;

  explicit TlsServer(Configure configure = {}, Session session = {})
      : listener_(&TSSLOpenSSL::CreateForSocket) {
    listener_.BindTo("127.0.0.1", "0");
    listener_.ListenForPeer();
    port_ = std::to_string(listener_.LocalPortNumber());
    thread_ = std::thread([this, configure, session] {
      TSockAddrAny peer;
      const TSocket handle = SocketAccept(listener_.Handle, peer);
      if (handle == INVALID_SOCKET) return;
      TTCPBlockSocket socket(&TSSLOpenSSL::CreateForSocket);
      socket.AdoptHandle(handle);
      if (configure) configure(Tls(socket));
      started_ = socket.TlsPlugin->StartServerTls();
      server_error_ = socket.TlsPlugin->LastErrorText;
      if (session) session(socket, started_);
    });
  }
  ~TlsServer() {
    // Wakes an accept that no client answered.
    SocketShutdown(listener_.Handle, SHUT_RDWR);
    Join();
  }
  const std::string& port() const { return port_; }
  // Valid once the client's handshake has ended.
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  bool started() const { return started_; }
  const std::string& server_error() const { return server_error_; }

 private:
  TTCPBlockSocket listener_;
  std::string port_;
  std::thread thread_;
  bool started_ = false;
  std::string server_error_;
};

// A client connected to 127.0.0.1:port; the handshake is left to the test.
std::unique_ptr<TTCPBlockSocket> ConnectedClient(const std::string& port) {
  auto client = std::make_unique<TTCPBlockSocket>(&TSSLOpenSSL::CreateForSocket);
  client->ConnectTo("127.0.0.1", port);
  EXPECT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
  return client;
}

std::time_t ParseCertificateTime(const std::string& text, const std::string& label) {
  const auto at = text.find(label);
  if (at == std::string::npos) return 0;
  std::tm parts{};
  if (strptime(text.c_str() + at + label.size(), " %b %d %H:%M:%S %Y GMT", &parts) == nullptr) {
    return 0;
  }
  return timegm(&parts);
}

std::string Md5OfFile(const std::string& path) {
  std::string digest;
  EXPECT_EQ(RunCommand({"openssl", "dgst", "-md5", "-binary", path}, &digest), 0) << digest;
  return digest;
}

TEST(TlsLoopback, ClientSeesTheGeneratedCertificateAndConnection) {
  MOVREK_REQUIRE_PEER("openssl");
  std::string server_certificate;
  TlsServer server([&](TSSLOpenSSL& tls) {
    ASSERT_TRUE(tls.MakeSelfSignedCertificate("tls.test"));
    server_certificate = tls.Certificate;
  });
  auto client = ConnectedClient(server.port());
  const std::time_t started = std::time(nullptr);
  client->StartTls();
  ASSERT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
  server.Join();
  ASSERT_TRUE(server.started()) << server.server_error();
  TSSLOpenSSL& tls = Tls(*client);

  EXPECT_TRUE(tls.TlsActive);
  EXPECT_EQ(tls.PeerSubjectText(), "/C=CZ/CN=tls.test");
  EXPECT_EQ(tls.PeerIssuerText(), "/C=CZ/CN=tls.test");
  EXPECT_EQ(tls.PeerNameText(), "tls.test");
  EXPECT_EQ(tls.PeerVerifyResult(), kDepthZeroSelfSignedCert);  // not verified, still accepted
  EXPECT_EQ(tls.ProtocolVersionText(), "TLSv1.3");
  EXPECT_FALSE(tls.CipherNameText().empty());
  EXPECT_GE(tls.CipherBitCount(), 128);
  EXPECT_EQ(tls.CipherAlgorithmBitCount(), tls.CipherBitCount());
  EXPECT_EQ(tls.LibraryNameText(), "tls_openssl");
  EXPECT_EQ(tls.LibraryVersionText().rfind("OpenSSL 3", 0), 0u) << tls.LibraryVersionText();

  TempDir dir;
  const std::string fingerprint = tls.PeerFingerprintText();
  EXPECT_EQ(fingerprint.size(), 16u);
  EXPECT_EQ(fingerprint, Md5OfFile(dir.Write("server.der", server_certificate)));

  const std::string text = tls.PeerCertificateText();
  EXPECT_NE(text.find("Public-Key: (2048 bit)"), std::string::npos) << text;
  EXPECT_NE(text.find("Signature Algorithm: sha256WithRSAEncryption"), std::string::npos);
  EXPECT_NE(text.find("Serial Number: 0 (0x0)"), std::string::npos);
  EXPECT_NE(text.find("Version: 3 (0x2)"), std::string::npos);
  std::string bare_lf = text;
  for (std::size_t at = 0; (at = bare_lf.find("\r\n", at)) != std::string::npos;) {
    bare_lf.erase(at, 2);
  }
  EXPECT_EQ(bare_lf.find('\n'), std::string::npos) << "every line ends with CR LF";
  const std::time_t not_before = ParseCertificateTime(text, "Not Before:");
  const std::time_t not_after = ParseCertificateTime(text, "Not After :");
  EXPECT_NEAR(static_cast<double>(not_before), static_cast<double>(started - 86400), 120);
  EXPECT_NEAR(static_cast<double>(not_after), static_cast<double>(started + 60 * 86400), 120);
}

TEST(TlsLoopback, DataCrossesBothWaysThroughTheSocket) {
  // Larger than a TLS record, a send chunk and a socket buffer together.
  const std::string upload = PatternBytes(3 * 65536 + 123);
  const std::string download = PatternBytes(1 << 20, 7);
  std::string server_got;
  TlsServer server({}, [&](TTCPBlockSocket& socket, bool started) {
    if (!started) return;
    server_got = socket.ReceiveExactText(static_cast<std::int32_t>(upload.size()), 10000);
    socket.SendText(download);
  });
  auto client = ConnectedClient(server.port());
  client->StartTls();
  ASSERT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
  EXPECT_EQ(client->SendText(upload), static_cast<std::int32_t>(upload.size()));
  const std::string got =
      client->ReceiveExactText(static_cast<std::int32_t>(download.size()), 10000);
  EXPECT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
  EXPECT_TRUE(got == download) << "received " << got.size() << " bytes";
  server.Join();
  EXPECT_TRUE(server_got == upload) << "server received " << server_got.size() << " bytes";
}

TEST(TlsLoopback, TheWayThePeerEndsDecidesTheReceiveError) {
  struct Case {
    const char* name;
    std::function<void(TTCPBlockSocket&)> end;
    std::int32_t code;  // plug-in LastErrorCode after the last receive
    // The end has arrived with the data, so the read that takes the data
    // meets it too and must leave it for the next read.
    bool arrives_with_data;
  };
  const std::vector<Case> cases = {
      {"close notification", [](TTCPBlockSocket& s) { s.TlsPlugin->EndTls(); }, 0, false},
      {"close notification, already arrived", [](TTCPBlockSocket& s) { s.TlsPlugin->EndTls(); }, 0,
       true},
      // The server waits for our notification, so it cannot arrive early.
      {"close notification both ways", [](TTCPBlockSocket& s) { s.TlsPlugin->EndTlsBothWays(); }, 0,
       false},
      // The connection object goes first so that nothing is written on the
      // handle number after it was closed.
      {"dropped without notification",
       [](TTCPBlockSocket& s) {
         Tls(s).FreeContext();
         s.DropHandle();
       },
       kSslErrorSyscall, false},
      {"dropped without notification, already arrived",
       [](TTCPBlockSocket& s) {
         Tls(s).FreeContext();
         s.DropHandle();
       },
       kSslErrorSyscall, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TlsServer server({}, [&](TTCPBlockSocket& socket, bool started) {
      if (!started) return;
      socket.SendText("last words");
      c.end(socket);
    });
    auto client = ConnectedClient(server.port());
    client->StartTls();
    ASSERT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
    TSSLOpenSSL& tls = Tls(*client);
    if (c.arrives_with_data) server.Join();
    char buffer[64];
    std::int32_t n = tls.TlsRecv(buffer, sizeof buffer);
    ASSERT_EQ(std::string(buffer, n > 0 ? n : 0), "last words");
    EXPECT_EQ(tls.LastErrorCode, 0);
    if (c.arrives_with_data) {
      EXPECT_GT(tls.TlsPending(), 0) << "the end is news to read";
    }
    n = tls.TlsRecv(buffer, sizeof buffer);
    if (c.code == 0) {
      EXPECT_EQ(n, 0);
    } else {
      EXPECT_LE(n, 0);
    }
    EXPECT_EQ(tls.LastErrorCode, c.code);
    EXPECT_EQ(tls.LastErrorText, "");
    // Ending our side after any of these neither blocks nor fails.
    EXPECT_TRUE(tls.EndTls());
    EXPECT_FALSE(tls.TlsActive);
  }
}

TEST(TlsLoopback, RecordsThatHaveArrivedComeOutOfOneReceive) {
  constexpr std::int32_t kRecord = 16384;
  const std::string data = PatternBytes(16 * kRecord);
  TlsServer server({}, [&](TTCPBlockSocket& socket, bool started) {
    if (!started) return;
    socket.SendText(data);
    socket.ReceiveExactText(4, 10000);  // keeps the connection until the client is done
  });
  auto client = ConnectedClient(server.port());
  client->StartTls();
  ASSERT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
  // More than three full records waiting in the system.
  for (int i = 0; i < 1000 && client->PendingBytes() < 4 * kRecord; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::string got(3 * kRecord, '\0');
  EXPECT_EQ(Tls(*client).TlsRecv(got.data(), 3 * kRecord), 3 * kRecord);
  EXPECT_TRUE(got == data.substr(0, got.size()));
  // The rest, through the socket with OpenSSL holding part of it.
  const std::string rest =
      client->ReceiveExactText(static_cast<std::int32_t>(data.size() - got.size()), 10000);
  EXPECT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
  EXPECT_TRUE(rest == data.substr(got.size())) << rest.size() << " bytes";
  client->SendText("done");
}

TEST(TlsLoopback, EveryQueryWithoutAConnectionIsEmpty) {
  TTCPBlockSocket socket(&TSSLOpenSSL::CreateForSocket);
  TSSLOpenSSL& tls = Tls(socket);
  const std::vector<std::function<std::string()>> texts = {
      [&] { return tls.ProtocolVersionText(); }, [&] { return tls.PeerSubjectText(); },
      [&] { return tls.PeerIssuerText(); },      [&] { return tls.PeerNameText(); },
      [&] { return tls.PeerFingerprintText(); }, [&] { return tls.PeerCertificateText(); },
      [&] { return tls.CipherNameText(); },
  };
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i](), "") << "query " << i;
  EXPECT_EQ(tls.CipherBitCount(), 0);
  EXPECT_EQ(tls.CipherAlgorithmBitCount(), 0);
  EXPECT_EQ(tls.PeerVerifyResult(), 1);
  EXPECT_EQ(tls.TlsPending(), 0);
  EXPECT_TRUE(tls.EndTls());
  EXPECT_TRUE(tls.EndTlsBothWays());
  EXPECT_EQ(tls.Ciphers, "DEFAULT");
  EXPECT_FALSE(tls.VerifyCert);
  // Without a handle there is nothing to start on.
  EXPECT_FALSE(tls.StartClientTls());
  char byte = 0;
  EXPECT_EQ(tls.TlsRecv(&byte, 1), -1);
  EXPECT_NE(tls.LastErrorCode, 0);
}

TEST(TlsLoopback, UnsupportedProtocolSettingsFailBeforeAnyTraffic) {
  struct Case {
    TSSLType type;
    bool openssl_error;  // failure recorded from OpenSSL's queue, else code 0
  };
  const Case cases[] = {{LT_TLSv1_1, false}, {LT_SSHv2, false}, {LT_SSLv2, true}, {LT_SSLv3, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    test::ScriptedServer silent;
    silent.ReadAll();
    silent.Start();
    auto client = ConnectedClient(std::to_string(silent.port()));
    client->TlsPlugin->SSLType = c.type;
    client->StartTls();
    EXPECT_EQ(client->LastErrorCode, 10091);
    EXPECT_EQ(client->TlsPlugin->LastErrorCode != 0, c.openssl_error);
    if (c.openssl_error) {
      EXPECT_EQ(client->LastErrorText, client->TlsPlugin->LastErrorText);
      EXPECT_FALSE(client->LastErrorText.empty());
    } else {
      EXPECT_EQ(client->LastErrorText, "Network subsystem is unusable");
    }
    EXPECT_FALSE(client->TlsPlugin->TlsActive);
    client->CloseConnection();
    ASSERT_TRUE(silent.WaitDone(5000));
    EXPECT_EQ(silent.Received(), "") << "nothing may be sent";
  }
}

TEST(TlsLoopback, HandshakeWithAPlainTextPeerFailsWithOpenSslsReason) {
  test::ScriptedServer plain;
  plain.ReadBytes(1).Send("HTTP/1.0 400 Bad Request\r\n\r\n").Close();
  plain.Start();
  auto client = ConnectedClient(std::to_string(plain.port()));
  client->StartTls();
  EXPECT_EQ(client->LastErrorCode, 10091);
  EXPECT_NE(client->TlsPlugin->LastErrorCode, 0);
  EXPECT_FALSE(client->TlsPlugin->LastErrorText.empty());
  EXPECT_EQ(client->LastErrorText, client->TlsPlugin->LastErrorText);
}

TEST(TlsLoopback, KeyPasswordCallbackCopiesWhatFitsWithATerminator) {
  TTCPBlockSocket socket(&TSSLOpenSSL::CreateForSocket);
  Tls(socket).KeyPassword = "0123456789";
  struct Case {
    int size;
    bool with_plugin;
    const char* copied;
  };
  const Case cases[] = {{4, true, "012"}, {11, true, "0123456789"}, {64, true, "0123456789"},
                        {1, true, ""},    {0, true, nullptr},       {16, false, ""}};
  for (const Case& c : cases) {
    char buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    const int n =
        TSSLOpenSSL::KeyPasswordCallback(buffer, c.size, 0, c.with_plugin ? &Tls(socket) : nullptr);
    if (c.copied == nullptr) {
      EXPECT_EQ(n, 0);
      EXPECT_EQ(buffer[0], 'x') << "size 0 leaves the buffer alone";
      continue;
    }
    EXPECT_EQ(n, static_cast<int>(std::string(c.copied).size())) << c.size;
    EXPECT_EQ(std::string(buffer), c.copied);
  }
}

// Key material of a generated certificate in every form the settings take.
struct KeyFiles {
  std::string der_cert, der_key;  // raw bytes
  std::string der_cert_file, der_key_file, pem_cert_file, encrypted_key_file, pfx_file;
  std::string pfx;  // raw bytes
};

constexpr const char* kPassword = "s3cret pass";

KeyFiles MakeKeyFiles(const TempDir& dir) {
  KeyFiles k;
  TTCPBlockSocket maker(&TSSLOpenSSL::CreateForSocket);
  EXPECT_TRUE(Tls(maker).MakeSelfSignedCertificate("keys.test"));
  k.der_cert = Tls(maker).Certificate;
  k.der_key = Tls(maker).PrivateKey;
  k.der_cert_file = dir.Write("cert.der", k.der_cert);
  k.der_key_file = dir.Write("key.der", k.der_key);
  k.pem_cert_file = dir.File("cert.pem");
  k.encrypted_key_file = dir.File("key-encrypted.pem");
  k.pfx_file = dir.File("bundle.p12");
  const std::string pass = std::string("pass:") + kPassword;
  const std::vector<std::vector<std::string>> commands = {
      {"openssl", "x509", "-inform", "DER", "-in", k.der_cert_file, "-out", k.pem_cert_file},
      {"openssl", "pkey", "-inform", "DER", "-in", k.der_key_file, "-aes256", "-passout", pass,
       "-out", k.encrypted_key_file},
      {"openssl", "pkcs12", "-export", "-in", k.pem_cert_file, "-inkey", k.encrypted_key_file,
       "-passin", pass, "-passout", pass, "-out", k.pfx_file},
  };
  for (const auto& command : commands) {
    std::string output;
    EXPECT_EQ(RunCommand(command, &output), 0) << command[1] << ": " << output;
  }
  k.pfx = dir.Read("bundle.p12");
  return k;
}

TEST(TlsLoopback, ServerKeysLoadFromEverySetting) {
  MOVREK_REQUIRE_PEER("openssl");
  TempDir dir;
  const KeyFiles k = MakeKeyFiles(dir);
  const std::string expected_fingerprint = Md5OfFile(k.der_cert_file);
  struct Case {
    const char* name;
    std::function<void(TSSLOpenSSL&)> configure;
    bool works;
  };
  const std::vector<Case> cases = {
      {"DER bytes",
       [&](TSSLOpenSSL& t) {
         t.Certificate = k.der_cert;
         t.PrivateKey = k.der_key;
       },
       true},
      {"DER files",
       [&](TSSLOpenSSL& t) {
         t.CertificateFile = k.der_cert_file;
         t.PrivateKeyFile = k.der_key_file;
       },
       true},
      {"PEM files, key with pass phrase",
       [&](TSSLOpenSSL& t) {
         t.CertificateFile = k.pem_cert_file;
         t.PrivateKeyFile = k.encrypted_key_file;
         t.KeyPassword = kPassword;
       },
       true},
      {"PKCS#12 file",
       [&](TSSLOpenSSL& t) {
         t.PFXfile = k.pfx_file;
         t.KeyPassword = kPassword;
       },
       true},
      {"PKCS#12 bytes",
       [&](TSSLOpenSSL& t) {
         t.PFX = k.pfx;
         t.KeyPassword = kPassword;
       },
       true},
      {"wrong pass phrase",
       [&](TSSLOpenSSL& t) {
         t.CertificateFile = k.pem_cert_file;
         t.PrivateKeyFile = k.encrypted_key_file;
         t.KeyPassword = "wrong";
       },
       false},
      {"PKCS#12 with wrong password",
       [&](TSSLOpenSSL& t) {
         t.PFX = k.pfx;
         t.KeyPassword = "x";
       },
       false},
      {"PKCS#12 garbage", [&](TSSLOpenSSL& t) { t.PFX = "not a PKCS#12 structure"; }, false},
      {"missing PKCS#12 file", [&](TSSLOpenSSL& t) { t.PFXfile = dir.File("none.p12"); }, false},
      {"missing certificate file",
       [&](TSSLOpenSSL& t) { t.CertificateFile = dir.File("none.pem"); }, false},
      {"key of another certificate",
       [&](TSSLOpenSSL& t) {
         TTCPBlockSocket other(&TSSLOpenSSL::CreateForSocket);
         Tls(other).MakeSelfSignedCertificate("other.test");
         t.Certificate = k.der_cert;
         t.PrivateKey = Tls(other).PrivateKey;
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TlsServer server(c.configure);
    auto client = ConnectedClient(server.port());
    client->StartTls();
    server.Join();
    EXPECT_EQ(server.started(), c.works) << server.server_error();
    if (c.works) {
      EXPECT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
      EXPECT_EQ(Tls(*client).PeerFingerprintText(), expected_fingerprint);
      EXPECT_EQ(Tls(*client).PeerNameText(), "keys.test");
    } else {
      EXPECT_FALSE(server.server_error().empty()) << "the reason comes from OpenSSL";
      EXPECT_EQ(client->LastErrorCode, 10091);
    }
  }
}

TEST(TlsLoopback, ServerWithoutKeysNamesItsCertificateAfterThePeer) {
  std::string expected_name;
  TlsServer server([&](TSSLOpenSSL& t) {
    expected_name = t.Owner().NameOfAddress(t.Owner().RemoteAddressText());
  });
  auto client = ConnectedClient(server.port());
  client->StartTls();
  ASSERT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
  server.Join();
  EXPECT_FALSE(expected_name.empty());
  EXPECT_EQ(Tls(*client).PeerNameText(), expected_name);
}

// --- A silent or stalling peer ------------------------------------------------

enum class Stall { Handshake, Record, Send };

struct StallCase {
  const char* name;
  Stall stall;
  std::int32_t timeout;  // of the handshake or send, or of the receive
  bool stop;             // StopFlag set from another thread after 100 ms
  std::int32_t code;
};

TEST(TlsStalledPeer, WaitsForThePeerEndAtTheTimeOutOrAStop) {
  // A record header announcing 64 bytes, followed by only 10 of them.
  const std::string partial_record = std::string("\x17\x03\x03\x00\x40", 5) + "0123456789";
  const StallCase cases[] = {
      {"silent during the handshake", Stall::Handshake, 300, false, 10060},
      {"silent during the handshake, stopped", Stall::Handshake, 60000, true, 10053},
      {"record cut short", Stall::Record, 300, false, 10060},
      {"record cut short, stopped", Stall::Record, 60000, true, 10053},
      {"sent data not read", Stall::Send, 300, false, 10060},
  };
  for (const StallCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<bool> client_done{false};
    test::ScriptedServer silent;
    std::unique_ptr<TlsServer> server;
    std::string port;
    if (c.stall == Stall::Handshake) {
      silent.Silence(5000);
      silent.Start();
      port = std::to_string(silent.port());
    } else {
      server = std::make_unique<TlsServer>(
          TlsServer::Configure{}, [&](TTCPBlockSocket& socket, bool started) {
            if (!started) return;
            if (c.stall == Stall::Record) {
              SocketSend(socket.Handle, partial_record.data(),
                         static_cast<int>(partial_record.size()), 0);
            }
            for (int i = 0; i < 1000 && !client_done; ++i) {
              std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
          });
      port = server->port();
    }
    test::EventLog log;  // outlives the client, which reports its close
    auto client = ConnectedClient(port);
    if (c.stall != Stall::Handshake) {
      client->StartTls();
      ASSERT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
    }
    if (c.stall == Stall::Record) {
      for (int i = 0; i < 400 && client->PendingBytes() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      ASSERT_GT(client->PendingBytes(), 0);
    }
    // The receive's own time-out applies to a record, whatever TlsTimeout says.
    client->TlsTimeout = c.stall == Stall::Record ? 60000 : c.timeout;
    log.Attach(*client);
    std::thread stopper;
    if (c.stop) {
      stopper = std::thread([&client] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        client->StopFlag = true;
      });
    }
    const long ms = test::ElapsedMs([&] {
      switch (c.stall) {
        case Stall::Handshake:
          client->StartTls();
          break;
        case Stall::Record:
          client->ReceiveChunk(c.timeout);
          break;
        case Stall::Send:
          // More than the socket buffers of both ends hold.
          client->SendText(std::string(std::size_t{32} << 20, 'x'));
          break;
      }
    });
    if (stopper.joinable()) stopper.join();
    client_done = true;
    EXPECT_EQ(client->LastErrorCode, c.code);
    EXPECT_EQ(client->LastErrorText, TBlockSocket::GetErrorDesc(c.code));
    EXPECT_EQ(client->TlsPlugin->LastErrorCode, c.code);
    EXPECT_FALSE(log.Only(HR_Error).empty());
    EXPECT_FALSE(client->StopFlag) << "the stop is consumed";
    EXPECT_LT(ms, 2000);
    EXPECT_FALSE(client->TlsPlugin->TlsActive && c.stall == Stall::Handshake);
    // Closing after the failure does not wait for the peer again.
    EXPECT_LT(test::ElapsedMs([&] { client->CloseConnection(); }), 1000);
  }
}

TEST(TlsStalledPeer, ServerHandshakeWithASilentClientTimesOut) {
  TlsServer server([](TSSLOpenSSL& tls) { tls.Owner().TlsTimeout = 300; });
  auto client = std::make_unique<TTCPBlockSocket>();
  client->ConnectTo("127.0.0.1", server.port());
  ASSERT_EQ(client->LastErrorCode, 0);
  // The bound includes making the server's key.
  EXPECT_LT(test::ElapsedMs([&] { server.Join(); }), 5000);
  EXPECT_FALSE(server.started());
  EXPECT_EQ(server.server_error(), "Connection timed out");
}

TEST(TlsPluginChoice, SocketsFollowTheModuleStartAndWorkWithoutTls) {
  ASSERT_TRUE(StartTlsPlugin());
  EXPECT_EQ(TTCPBlockSocket().TlsPlugin->LibraryNameText(), "tls_openssl");
  StopTlsPlugin();
  TTCPBlockSocket plain;
  EXPECT_EQ(plain.TlsPlugin->LibraryNameText(), "ssl_none");

  test::ScriptedServer server;
  server.ReadUntil("ping").Send("pong").Close();
  server.Start();
  plain.ConnectTo("127.0.0.1", std::to_string(server.port()));
  plain.StartTls();
  EXPECT_EQ(plain.LastErrorCode, 10091);
  EXPECT_EQ(plain.LastErrorText, "SSL/TLS support is not compiled!");
  // The connection itself stays usable for plain traffic.
  plain.SendText("ping");
  EXPECT_EQ(plain.ReceiveExactText(4, 5000), "pong");
  ASSERT_TRUE(StartTlsPlugin());
}

}  // namespace
}  // namespace movrek
