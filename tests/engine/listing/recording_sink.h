#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/listing/listing_sink.h"

namespace movrek::testing {

// Where a test lists a page: keeps the lines of its block and answers the
// filter with Filter, which a test may change while links are examined.
class TRecordingSink final : public TBlockLines {
 public:
  void AppendResultLine(std::string line) override { ResultLines.push_back(std::move(line)); }
  TFilterSettings ReadFilterSettings() override {
    ++FilterReads;
    if (OnReadFilter) OnReadFilter(*this);
    return Filter;
  }

  std::vector<std::string> ResultLines;
  TFilterSettings Filter;
  int FilterReads = 0;
  // Called by ReadFilterSettings after it has been counted, before the value
  // is returned.
  std::function<void(TRecordingSink&)> OnReadFilter;
};

}  // namespace movrek::testing
