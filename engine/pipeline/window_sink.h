// The listing writing straight into a window.
#pragma once

#include <string>
#include <utility>

#include "engine/listing/listing_sink.h"
#include "engine/pipeline/window_operations.h"

namespace movrek {

// Writes straight into a window on the calling thread, a line per call; for
// listing outside a job.
class TWindowSink final : public TListingSink {
 public:
  explicit TWindowSink(TWindowOperations& window) : window_(window) {}
  void AppendResultLine(std::string line) override { window_.AppendResultLines({std::move(line)}); }
  TFilterSettings ReadFilterSettings() override { return window_.ReadFilterSettings(); }

 private:
  TWindowOperations& window_;
};

}  // namespace movrek
