// What a front end decides for every job it starts. The window uses the
// defaults: pauses kept, no proxy.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/listing/link_memory_budget.h"
#include "engine/pipeline/pipeline_limits.h"
#include "net/base/name_lookup.h"
#include "net/socket/socket_types.h"

namespace movrek {

// Copied into every HTTP transaction (and its socket) that a job creates.
struct TProxySettings {
  // HTTP proxy: plain proxying for http, a CONNECT tunnel for https. Empty
  // host = none.
  std::string ProxyHost;
  std::string ProxyPort = "8080";
  std::string ProxyUser;
  std::string ProxyPass;
  // SOCKS proxy for every connection. Empty host = none.
  std::string SocksIP;
  std::string SocksPort = "1080";
  TSocksType SocksType = ST_Socks5;
  std::string SocksUsername;  // SOCKS5 user name, SOCKS4 user id
  std::string SocksPassword;
  bool SocksResolver = true;  // names go to the proxy to resolve
};

struct TJobSettings {
  // The 500 ms pause after saving each page, the 100 ms pause after each URL
  // and the 100 ms pauses of Start and Abort. Only a console front end turns
  // them off.
  bool Pauses = true;
  TProxySettings Proxy;
  // Where host names are looked up; empty: the system's name servers.
  TNameServers NameServers;
  // Sees every socket event of the job's transactions on the worker, before
  // the job's own handler: a front end's trace of the connection steps. It
  // holds the worker for as long as it runs.
  std::function<void(THookSocketReason reason, const std::string& value)> OnSocketStatus;
  // HTTPS certificates checked against the system's trust store and the host
  // name. Off in the window: a certificate is then not checked at all.
  bool VerifyCertificates = false;
  // The body of each page. The window keeps every body whole (up to the
  // HTTP layer's ceiling) and asks for no compression.
  // A body whose type is not HTML is not downloaded (no type: its first
  // bytes decide).
  bool PagesOnly = false;
  // Bytes of a body kept (decoded); past them it is cut. 0: no bound but
  // the HTTP layer's ceiling.
  std::int64_t MaxBodyBytes = 0;
  // Offer the content codings the decoder knows in Accept-Encoding.
  bool RequestCompression = false;
  // A body is held in memory while it is small and is given a page file
  // only once it grows past kMaxHeldBodyBytes or must be listed from one:
  // most pages then cost no file at all. Off in the window, each of whose
  // pages has its file from the first byte.
  bool HoldSmallBodies = false;
  // Every socket of the job yields the processor before each receive, as
  // the socket layer does by default. Off for the console.
  bool SocketYields = true;
  // Memory one page's links may take while they are gathered as its body
  // arrives; a page with more is listed from its saved file instead.
  std::int64_t MaxGatheredLinkBytes = kGatheredLinkBytes;
  // With several pages in transfer: what their links may take together, each
  // page having MaxGatheredLinkBytes at least.
  std::shared_ptr<TLinkMemoryBudget> LinkBudget;
  // Each link carries its anchor's text and rel, gathered in the same pass
  // that finds it. Off in the window, which shows neither.
  bool AnchorText = false;
  // The User-Agent line; nothing: Movrek's own.
  std::optional<std::string> UserAgent;
  // "Name: value" lines sent with every request, each in place of a line of
  // that name the request would have; "Name:" only removes that line.
  std::vector<std::string> HeaderOverrides;
};

}  // namespace movrek
