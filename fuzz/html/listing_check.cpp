#include "fuzz/html/listing_check.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "engine/listing/base_detection.h"
#include "engine/listing/link_listing.h"
#include "engine/listing/text_list.h"
#include "html/html_document.h"
#include "html/text_file.h"
#include "tests/html/reference_scan.h"

namespace movrek::fuzzing {

namespace {

// Takes the lines and counts them; the filter is on so that its path runs.
class CountingSink : public TBlockLines {
 public:
  void AppendResultLine(std::string line) override { bytes += line.size(); }
  TFilterSettings ReadFilterSettings() override { return {true, 1, "x"}; }
  std::size_t bytes = 0;
};

std::string ScratchPath() {
  const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/movrek_fuzz_" + std::to_string(::getpid()) + ".xtr";
}

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

void CheckListingOnInput(const std::string& bytes) {
  static const std::string path = ScratchPath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  CountingSink window;
  const std::string base = ChooseBase(path, "http://host/dir/page.html");
  Require(!base.empty() && base.back() == '/');
  ListLinks(window, path, base, "http://host/dir/page.html", {"http://host/dir/page.html", ""});
  // A relative final address resolves nothing; a legacy encoding goes
  // through iconv both ways.
  ListLinks(window, path, "abc/", "abc", {"abc", "text/html; charset=shift_jis"});

  THTMLObject document;
  document.LoadFromFile(path);
  std::string text = bytes;
  NormalizeLineEnds(text);
  const auto model = testing::ReferenceScan(text);
  Require(static_cast<std::size_t>(document.Elements.Count()) == model.Elements.size());
  for (int i = 0; i < document.Elements.Count(); ++i) {
    THTMLElement* element = document.Elements.ObjectAt(i);
    const int kind = dynamic_cast<TTagObject*>(element)      ? 1
                     : dynamic_cast<TScriptObject*>(element) ? 4
                                                             : 0;
    Require(model.Elements[static_cast<std::size_t>(i)].Kind == kind);
    Require(model.Elements[static_cast<std::size_t>(i)].Text == element->SourceText);
  }
  // The object-free way through the tags agrees with Next and AttributeValue.
  THTMLObject lean;
  lean.LoadFromFile(path);
  document.CurrentIndex = lean.CurrentIndex = -1;
  std::string value;
  while (TTagObject* tag = document.Next()) {
    Require(lean.NextAttributeValue("HREF", "none", &value));
    Require(value == tag->AttributeValue("HREF", "none"));
    Require(lean.CurrentIndex == document.CurrentIndex);
  }
  Require(!lean.NextAttributeValue("HREF", "none", &value));

  // A list of lines, unlike a document, ends at a NUL.
  TTextList list;
  list.SetText(bytes);
  std::string lines(TextBeforeNul(bytes));
  NormalizeLineEnds(lines);
  Require(list.Text() == lines);
  std::remove(path.c_str());
}

}  // namespace movrek::fuzzing
