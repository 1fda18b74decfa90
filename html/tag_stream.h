// The tags of a page read as its bytes arrive: the tags ScanDocument makes of
// the whole text (its line ends made CR LF), each handed out as soon as its
// ">" has been read. Only the tag being read is held, so a page of any size
// is scanned in the memory of its longest tag.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

namespace movrek {

class TTagStream {
 public:
  // Called with the text of each tag, as the document's element list would
  // hold it; the view is valid during the call only.
  using TTagHandler = std::function<void(std::string_view tagText)>;

  explicit TTagStream(TTagHandler onTag);
  TTagStream(const TTagStream&) = delete;
  TTagStream& operator=(const TTagStream&) = delete;
  ~TTagStream();

  // The next bytes of the page, cut anywhere.
  void Feed(std::string_view bytes);
  // The page has ended: the tags its last line closes are handed out.
  void Finish();

 private:
  class TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace movrek
