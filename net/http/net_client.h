#pragma once

#include <cstdint>
#include <string>

namespace movrek {

// Target and credential settings shared by the network clients. Holds data
// only; each client decides how it uses them.
class TNetClient {
 public:
  TNetClient() = default;
  virtual ~TNetClient() = default;
  TNetClient(const TNetClient&) = delete;
  TNetClient& operator=(const TNetClient&) = delete;

  std::string TargetHost = "127.0.0.1";
  std::string TargetPort = "0";
  std::string IPInterface = "0.0.0.0";
  int32_t Timeout = 5000;  // milliseconds for each wait for data
  std::string UserName;
  std::string Password;
};

}  // namespace movrek
