#include "html/tag_attribute.h"

#include <cstddef>

#include "text/ascii_text.h"

namespace movrek {

namespace {

// White space of the tokenizer; CR counts as well, since the input stream
// turns it into LF before any tag is read.
bool IsSpace(char c) {
  return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

// Reads attributes from text[at]; each step takes one name and, after an
// "=", its value (the before/after attribute name and value states).
class TAttributeReader {
 public:
  explicit TAttributeReader(std::string_view text) : text_(text) {}

  // The next attribute, false at the end of the tag.
  bool Next(std::string_view* name, std::string_view* value) {
    SkipSpaceAndSlashes();
    if (AtEnd()) {
      return false;
    }
    // "=" may open a name: it only ends one.
    const std::size_t name_start = at_++;
    while (!AtEnd() && !IsSpace(text_[at_]) && text_[at_] != '/' && text_[at_] != '=') {
      ++at_;
    }
    *name = text_.substr(name_start, at_ - name_start);
    *value = {};
    SkipSpace();
    if (AtEnd() || text_[at_] != '=') {
      return true;
    }
    ++at_;
    SkipSpace();
    *value = ReadValue();
    return true;
  }

 private:
  [[nodiscard]] bool AtEnd() const { return at_ >= text_.size() || text_[at_] == '>'; }
  void SkipSpace() {
    while (at_ < text_.size() && IsSpace(text_[at_])) {
      ++at_;
    }
  }
  // Between attributes a "/" not before ">" is dropped.
  void SkipSpaceAndSlashes() {
    while (at_ < text_.size() && (IsSpace(text_[at_]) || text_[at_] == '/')) {
      ++at_;
    }
  }
  std::string_view ReadValue() {
    if (at_ < text_.size() && (text_[at_] == '"' || text_[at_] == '\'')) {
      const char quote = text_[at_++];
      const std::size_t start = at_;
      const std::size_t close = text_.find(quote, start);
      at_ = close == std::string_view::npos ? text_.size() : close + 1;
      return text_.substr(start, (close == std::string_view::npos ? text_.size() : close) - start);
    }
    const std::size_t start = at_;
    while (!AtEnd() && !IsSpace(text_[at_])) {
      ++at_;
    }
    return text_.substr(start, at_ - start);
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// Where the attributes start: after the "<" and the tag name, which ends at
// white space or "/" (the name itself is the scanner's to judge).
std::size_t AttributesStart(std::string_view text) {
  std::size_t at = 0;
  if (at < text.size() && text[at] == '<') {
    ++at;
  }
  while (at < text.size() && IsBlankOrControl(text[at])) {
    ++at;
  }
  while (at < text.size() && !IsSpace(text[at]) && text[at] != '/' && text[at] != '>') {
    ++at;
  }
  return at;
}

}  // namespace

bool FindTagAttribute(std::string_view tagText, std::string_view name, std::string_view* value) {
  TAttributeReader reader(tagText.substr(AttributesStart(tagText)));
  std::string_view attribute;
  std::string_view attribute_value;
  while (reader.Next(&attribute, &attribute_value)) {
    // The first of several attributes with one name counts.
    if (SameTextIgnoringCase(attribute, name)) {
      *value = attribute_value;
      return true;
    }
  }
  return false;
}

}  // namespace movrek
