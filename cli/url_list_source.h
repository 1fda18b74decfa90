// The lists and addresses of a movrek-cli run as the job takes them: read
// as the workers get to them, a block at a time, so that a list of millions
// of lines costs the memory of a block, and the first page is fetched as
// soon as its line is read. The lines that the list files hold are counted
// beforehand (a large file on a thread of its own) for the live line's
// total; a pipe or a terminal has none.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/options.h"
#include "cli/url_list_reader.h"
#include "engine/parallel/line_source.h"

namespace movrek::cli {

// The record of a line that is not fetched, as the job hands it back.
TPageResult RefusedPage(const TListLine& line);

class TUrlListSource final : public TLineSource {
 public:
  // Opens every list file ("-": standard input). Throws std::runtime_error
  // naming the first that cannot be opened.
  explicit TUrlListSource(const std::vector<TListInput>& inputs);
  ~TUrlListSource() override;
  TUrlListSource(const TUrlListSource&) = delete;
  TUrlListSource& operator=(const TUrlListSource&) = delete;

  std::optional<TJobLine> Next(const std::function<bool()>& stopped) override;
  std::int64_t Total() const override { return total_.load(std::memory_order_relaxed); }

  // The inputs hold no line at all to fetch or refuse. Reads up to the
  // first one, which Next then hands out.
  bool Empty();

  struct TInput;

 private:
  std::optional<TJobLine> Read(const std::function<bool()>& stopped);
  void CountLines();

  std::vector<std::unique_ptr<TInput>> inputs_;
  std::size_t current_ = 0;
  std::optional<TJobLine> peeked_;
  std::atomic<std::int64_t> total_{-1};
  std::atomic<bool> stop_counting_{false};
  std::thread counter_;  // last: it reads the inputs above
};

}  // namespace movrek::cli
