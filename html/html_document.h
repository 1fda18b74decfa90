#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "html/document_text.h"
#include "html/html_elements.h"
#include "html/objects_list.h"

namespace movrek {

class THTMLObject;

// Called for every element the scan makes; clearing continueScan stops the scan
// and leaves the document empty.
using THTMLElementHook = std::function<void(THTMLObject& document, std::uint8_t kind,
                                            THTMLElement& element, bool& continueScan)>;
// Called for a stray angle bracket; level is always 1.
using THTMLWarningHook = std::function<void(THTMLObject& document, std::int32_t level,
                                            const std::string& message, bool& continueScan)>;

// A saved HTML page as a flat list of tag, text and SCRIPT content elements.
// It builds no tree and decodes nothing, and no input makes it fail: stray
// angle brackets become text (with a warning), unclosed quotes, tags and SCRIPT
// elements swallow what follows them.
//
// A document is used by one thread at a time. Hooks must not load, clear or
// destroy the document they are called for.
class THTMLObject {
 public:
  THTMLObject();
  THTMLObject(const THTMLObject&) = delete;
  THTMLObject& operator=(const THTMLObject&) = delete;
  virtual ~THTMLObject() = default;

  // Reads the file and scans its lines. Throws EFileOpenError (file name and
  // the system's reason) before anything in the document has changed when the
  // file cannot be read.
  void LoadFromFile(const std::string& fileName);
  // The same for a text already read (TDocumentText::FromFile), which the
  // document takes over.
  void LoadFromDocumentText(TDocumentText text);
  // Replaces the elements by the scan of the lines, each followed by CR LF.
  void LoadFromStrings(const std::vector<std::string>& lines);

  // Elements[0], whatever it is; CurrentIndex := 0. Throws EListError(0) on a
  // document without elements, leaving CurrentIndex unchanged.
  THTMLElement* First();
  // The next tag after CurrentIndex whose name equals TagFilter (ASCII case
  // ignored), or any tag when TagFilter is empty; nullptr when there is none.
  TTagObject* Next();
  // Next()->AttributeValue(attribute, defaultValue) into value, with
  // CurrentIndex moved as Next() moves it; false (value untouched) when Next()
  // would return none. Builds no element object, so listing the links of a
  // page of millions of elements costs no heap object per tag.
  bool NextAttributeValue(std::string_view attribute, const std::string& defaultValue,
                          std::string* value);

  // Runs at the end of every load.
  virtual void AfterParse() {}

  TObjectsList Elements;
  std::int32_t CurrentIndex = 0;
  std::string TagFilter;
  THTMLElementHook OnElement;
  THTMLWarningHook OnWarning;

 private:
  // Scans a document text whose lines already end in CR LF.
  void LoadText(TDocumentText text);
};

}  // namespace movrek
