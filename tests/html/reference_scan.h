#pragma once

#include <string>
#include <vector>

namespace movrek::testing {

// A plain, character-by-character model of the document scan with real text
// buffers and no shortcuts, used to check the fast scanner: both must make the
// same elements and warnings from any text.
struct TReferenceElement {
  int Kind;  // 0 text, 1 tag, 4 SCRIPT content
  std::string Text;
  bool operator==(const TReferenceElement&) const = default;
};

struct TReferenceScan {
  std::vector<TReferenceElement> Elements;
  std::vector<std::string> Warnings;
};

TReferenceScan ReferenceScan(const std::string& text);

}  // namespace movrek::testing
