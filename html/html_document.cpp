#include "html/html_document.h"

#include <utility>

#include "html/html_scanner.h"
#include "html/text_file.h"

namespace movrek {

THTMLObject::THTMLObject() {
  Elements.SetOwner(this);
}

void THTMLObject::LoadFromFile(const std::string& fileName) {
  LoadText(TDocumentText::FromFile(fileName));
}

void THTMLObject::LoadFromDocumentText(TDocumentText text) {
  LoadText(std::move(text));
}

void THTMLObject::LoadFromStrings(const std::vector<std::string>& lines) {
  LoadText(TDocumentText::FromString(JoinLines(lines)));
}

void THTMLObject::LoadText(TDocumentText text) {
  Elements.ResetText(std::move(text));
  if (!ScanDocument(*this, Elements.Text())) {
    Elements.Clear();
  }
  // Elements built for the hooks learn their document once the scan ends.
  Elements.SetOwnerOfBuiltElements();
  AfterParse();
}

THTMLElement* THTMLObject::First() {
  THTMLElement* element = Elements.ObjectAt(0);
  CurrentIndex = 0;
  return element;
}

bool THTMLObject::NextAttributeValue(std::string_view attribute, const std::string& defaultValue,
                                     std::string* value) {
  const int index = Elements.FindTag(static_cast<long long>(CurrentIndex) + 1, TagFilter);
  if (index < 0) {
    return false;
  }
  CurrentIndex = index;
  *value = Elements.AttributeValueAt(index, attribute, defaultValue);
  return true;
}

TTagObject* THTMLObject::Next() {
  const int index = Elements.FindTag(static_cast<long long>(CurrentIndex) + 1, TagFilter);
  if (index < 0) {
    return nullptr;
  }
  CurrentIndex = index;
  return static_cast<TTagObject*>(Elements.ObjectAt(index));
}

}  // namespace movrek
