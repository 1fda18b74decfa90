#include "engine/listing/link_filter.h"

#include <re2/re2.h>

#include <algorithm>

namespace movrek {
namespace {

bool ContainsAny(const std::string& text, const std::vector<std::string>& words) {
  // The empty word never occurs, as in the window's filter.
  return std::any_of(words.begin(), words.end(), [&text](const std::string& word) {
    return !word.empty() && text.find(word) != std::string::npos;
  });
}

}  // namespace

TLinkFilter::TLinkFilter() = default;

TLinkFilter::TLinkFilter(const TFilterSettings& window) {
  if (window.Enabled) {
    (window.Mode == 0 ? having_ : not_having_).push_back(window.Keyword);
  }
}

TLinkFilter::~TLinkFilter() = default;
TLinkFilter::TLinkFilter(TLinkFilter&&) noexcept = default;
TLinkFilter& TLinkFilter::operator=(TLinkFilter&&) noexcept = default;

std::string TLinkFilter::AddMatch(const std::string& pattern) {
  return AddPattern(pattern, true);
}

std::string TLinkFilter::AddNotMatch(const std::string& pattern) {
  return AddPattern(pattern, false);
}

std::string TLinkFilter::AddPattern(const std::string& pattern, bool wanted) {
  RE2::Options options;
  // Links are bytes from any page; Latin-1 lets every byte stand for itself
  // instead of failing the match on a sequence that is not UTF-8.
  options.set_encoding(RE2::Options::EncodingLatin1);
  options.set_log_errors(false);
  auto compiled = std::make_unique<RE2>(pattern, options);
  if (!compiled->ok()) {
    return compiled->error();
  }
  (wanted ? match_ : not_match_).push_back(std::move(compiled));
  return std::string();
}

bool TLinkFilter::Empty() const {
  return having_.empty() && not_having_.empty() && match_.empty() && not_match_.empty();
}

bool TLinkFilter::Passes(const std::string& cleaned) const {
  if (!having_.empty() && !ContainsAny(cleaned, having_)) {
    return false;
  }
  if (ContainsAny(cleaned, not_having_)) {
    return false;
  }
  for (const auto& pattern : match_) {
    if (!RE2::PartialMatch(cleaned, *pattern)) {
      return false;
    }
  }
  for (const auto& pattern : not_match_) {
    if (RE2::PartialMatch(cleaned, *pattern)) {
      return false;
    }
  }
  return true;
}

}  // namespace movrek
