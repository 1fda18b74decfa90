// The links already written in a job, so that each is written once: the
// first occurrence keeps its place.
#pragma once

#include <string>
#include <unordered_set>

namespace movrek {

class TLinkDedupe {
 public:
  // True the first time a link is offered, false ever after.
  bool FirstTime(const std::string& link) { return seen_.insert(link).second; }

 private:
  std::unordered_set<std::string> seen_;
};

}  // namespace movrek
