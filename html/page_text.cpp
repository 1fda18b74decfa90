#include "html/page_text.h"

#include <utility>

#include "html/encoding_sniffing.h"

namespace movrek {

TPageText ReadPageText(const std::string& fileName, std::string_view contentType) {
  TPageText page;
  page.Text = TDocumentText::BytesFromFile(fileName);
  const TSniffedEncoding sniffed = SniffEncoding(page.Text.View(), contentType);
  page.Encoding = TTextEncoding(sniffed.Name);
  if (page.Encoding.IsUtf8()) {
    page.TextIsUtf8 = true;
  } else if (!page.Encoding.IsAsciiCompatible()) {
    // Markup in these encodings is no ASCII bytes: the scanner reads the
    // page decoded. Such pages are rare and seldom large.
    std::string decoded;
    page.Encoding.AppendDecoded(page.Text.View().substr(sniffed.BomLength), decoded);
    page.Text = TDocumentText::FromString(decoded);
    page.TextIsUtf8 = true;
  }
  page.Text.EndLinesWithCrLf();
  return page;
}

}  // namespace movrek
