// Which links of a page are listed, by keywords and regular expressions: a
// link is kept when it contains one of the wanted words (or no word is
// wanted), none of the unwanted words, matches every wanted pattern and no
// unwanted one. Judged on the cleaned href, as the window's keyword filter.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/listing/filter_settings.h"

namespace re2 {
class RE2;
}

namespace movrek {

class TLinkFilter {
 public:
  TLinkFilter();
  // The window's keyword filter: when on, its keyword wanted ("Having") or
  // unwanted (any other mode).
  explicit TLinkFilter(const TFilterSettings& window);
  ~TLinkFilter();
  TLinkFilter(TLinkFilter&&) noexcept;
  TLinkFilter& operator=(TLinkFilter&&) noexcept;

  void AddHaving(std::string word) { having_.push_back(std::move(word)); }
  void AddNotHaving(std::string word) { not_having_.push_back(std::move(word)); }
  // RE2 syntax, searched anywhere in the link; RE2 runs in time linear in
  // the link, so no pattern can hold a job. The empty text on success,
  // otherwise RE2's reason.
  std::string AddMatch(const std::string& pattern);
  std::string AddNotMatch(const std::string& pattern);

  bool Empty() const;
  // Safe from several threads at once.
  bool Passes(const std::string& cleaned) const;

 private:
  std::string AddPattern(const std::string& pattern, bool wanted);

  std::vector<std::string> having_;
  std::vector<std::string> not_having_;
  std::vector<std::unique_ptr<re2::RE2>> match_;
  std::vector<std::unique_ptr<re2::RE2>> not_match_;
};

}  // namespace movrek
