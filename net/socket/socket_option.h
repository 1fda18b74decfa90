// One socket option, queued while the socket has no handle and applied right
// after the next handle is created.
#pragma once

#include <cstdint>

namespace movrek {

enum TSocketOptionKind : int {
  SOT_Linger = 0,          // Enabled = on/off, Value = milliseconds (whole seconds are used)
  SOT_RecvBuffer = 1,      // Value = bytes
  SOT_SendBuffer = 2,      // Value = bytes
  SOT_NonBlock = 3,        // Enabled; also stored in the socket's NonBlocking
  SOT_RecvTimeout = 4,     // Value = milliseconds
  SOT_SendTimeout = 5,     // Value = milliseconds
  SOT_Reuse = 6,           // Enabled
  SOT_TTL = 7,             // Value = unicast hop limit
  SOT_Broadcast = 8,       // Enabled
  SOT_MulticastTTL = 9,    // Value = multicast hop limit
  SOT_MulticastLoop = 10,  // Enabled
};

struct TSocketOption {
  TSocketOptionKind Kind = SOT_Linger;
  bool Enabled = false;
  std::int32_t Value = 0;
};

}  // namespace movrek
