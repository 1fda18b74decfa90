// Where the link listing writes: the lines of one result block and the
// keyword filter it consults for every link. Narrower than the window, so the
// listing can reach nothing else of it.
#pragma once

#include <string>

#include "engine/listing/filter_settings.h"

namespace movrek {

struct TListedLink;

class TListingSink {
 public:
  virtual ~TListingSink() = default;
  // One line for the end of the result list.
  virtual void AppendResultLine(std::string line) = 0;
  // The filter as the window shows it now (or very nearly: see the sink).
  virtual TFilterSettings ReadFilterSettings() = 0;

  // The block of one page starts: by default its four comment lines. A sink
  // that keeps pages as records takes the two values instead.
  virtual void BeginBlock(const std::string& pageAddress, const std::string& base);
  // One link of the block: by default its line, when the window's filter
  // keeps it. A sink with filters of its own judges the link itself.
  virtual void AppendLink(TListedLink link);
};

}  // namespace movrek
