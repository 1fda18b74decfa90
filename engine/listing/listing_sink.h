// Where the link listing hands a page's links, as it finds them. Each front
// end decides what becomes of them: which it keeps (its own filter) and in
// what form.
#pragma once

#include <string>

#include "engine/listing/filter_settings.h"

namespace movrek {

struct TListedLink;

class TListingSink {
 public:
  virtual ~TListingSink() = default;
  // The links of one page follow, listed against `base` (the value of the
  // block's "# Baseurl:" line).
  virtual void BeginBlock(const std::string& pageAddress, const std::string& base) = 0;
  // One link, in document order.
  virtual void AppendLink(TListedLink link) = 0;
};

// The window's form of a page's links: the block's four comment lines, then
// the line of each link the window's keyword filter keeps, as read for that
// link.
class TBlockLines : public TListingSink {
 public:
  void BeginBlock(const std::string& pageAddress, const std::string& base) override;
  void AppendLink(TListedLink link) override;

  // One line for the end of the result list.
  virtual void AppendResultLine(std::string line) = 0;
  // The filter as the window shows it now (or very nearly: see the sink).
  virtual TFilterSettings ReadFilterSettings() = 0;
};

}  // namespace movrek
