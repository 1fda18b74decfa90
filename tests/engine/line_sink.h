#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/listing/listing_sink.h"

namespace movrek::testing {

// A listing sink that keeps every line it is given; the filter stays off.
class TLineSink : public TListingSink {
 public:
  void AppendResultLine(std::string line) override { Lines.push_back(std::move(line)); }
  TFilterSettings ReadFilterSettings() override { return {}; }
  std::vector<std::string> Lines;
};

}  // namespace movrek::testing
