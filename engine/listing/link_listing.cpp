#include "engine/listing/link_listing.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine/listing/anchor_text.h"
#include "engine/listing/base_detection.h"
#include "engine/listing/link_filter.h"
#include "html/character_references.h"
#include "html/encoding_sniffing.h"
#include "html/html_limits.h"
#include "html/html_tokenizer.h"
#include "html/page_text.h"
#include "html/text_encoding.h"
#include "html/text_file.h"
#include "net/base/web_url.h"
#include "text/ascii_text.h"
#include "text/byte_search.h"
#include "text/printable_text.h"

namespace movrek {

namespace {

// Bytes enough for a page's encoding: its byte order mark and the prescan
// for a meta declaration look no further.
constexpr std::size_t kSniffedPageBytes = 1024;

// Whether a value needs more than copying: a reference to decode, a byte of
// the page's encoding to decode or a NUL.
bool NeedsDecoding(std::string_view value) {
  return ContainsAnyOf<'&', '\0'>(value, true);
}

// An attribute value as the page's author meant it: UTF-8, references decoded.
class TValueDecoder {
 public:
  TValueDecoder(TTextEncoding& encoding, bool textIsUtf8)
      : encoding_(encoding), text_is_utf8_(textIsUtf8) {}

  // A view of the decoded value, valid until the next call.
  std::string_view Decode(std::string_view written) {
    return DecodeWith(written, &AppendAttributeDecoded);
  }
  // The same for text between tags, whose references read differently.
  std::string_view DecodeText(std::string_view written) {
    return DecodeWith(written, &AppendTextDecoded);
  }

 private:
  std::string_view DecodeWith(std::string_view written,
                              void (*decodeReferences)(std::string_view, std::string&)) {
    if (!NeedsDecoding(written)) {
      return written;
    }
    characters_.clear();
    if (text_is_utf8_) {
      AppendValidUtf8(written, characters_);
    } else {
      encoding_.AppendDecoded(written, characters_);
    }
    decoded_.clear();
    decodeReferences(characters_, decoded_);
    return decoded_;
  }

  TTextEncoding& encoding_;
  bool text_is_utf8_;
  std::string characters_;
  std::string decoded_;
};

// The line for an href no address can be made of: the text as written, kept
// on one line of ASCII (what URL parsing would trim or drop left out, other
// controls and non-ASCII bytes percent-encoded).
std::string UnresolvedLine(std::string_view href) {
  while (!href.empty() && static_cast<unsigned char>(href.front()) <= 0x20) {
    href.remove_prefix(1);
  }
  while (!href.empty() && static_cast<unsigned char>(href.back()) <= 0x20) {
    href.remove_suffix(1);
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line;
  for (const char c : href) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t' || c == '\n' || c == '\r') {
      continue;
    }
    if (byte < 0x20 || byte >= 0x7F) {
      line += '%';
      line += kHex[byte >> 4];
      line += kHex[byte & 15];
    } else {
      line += c;
    }
  }
  return line;
}

std::string WithoutTabsAndLineBreaks(std::string_view text) {
  if (!ContainsAnyOf<'\t', '\n', '\r'>(text)) {
    return std::string(text);
  }
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c != '\t' && c != '\n' && c != '\r') {
      out += c;
    }
  }
  return out;
}

// The hrefs of a page's anchors as written, in document order, and the href
// of its first base, kept in one text.
class TAnchorGatherer : public THtmlTokenSink {
 public:
  void OnStartTag(const THtmlStartTag& tag) override {
    std::string_view href;
    const TAnchorTag kind = AnchorTagOf(tag, &href);
    if (kind == TAnchorTag::Anchor) {
      hrefs_.emplace_back(text_.size(), href.size());
      text_.append(href);
    } else if (kind == TAnchorTag::Base && !base_) {
      base_.emplace(href);
    }
  }

  void List(TListingSink& sink, TAnchorResolver& resolver, const std::string& base,
            const std::string& pageAddress) {
    if (base_) {
      resolver.UseBaseHref(*base_);
    }
    sink.BeginBlock(pageAddress, base);
    for (const auto& [offset, length] : hrefs_) {
      sink.AppendLink(resolver.Resolve(std::string_view(text_).substr(offset, length)));
    }
  }

 private:
  std::string text_;
  std::vector<std::pair<std::size_t, std::size_t>> hrefs_;
  std::optional<std::string> base_;
};

// The first base with an href, as written.
class TBaseFinder : public THtmlTokenSink {
 public:
  void OnStartTag(const THtmlStartTag& tag) override {
    std::string_view href;
    if (!base_ && AnchorTagOf(tag, &href) == TAnchorTag::Base) {
      base_.emplace(href);
    }
  }
  [[nodiscard]] const std::optional<std::string>& Base() const { return base_; }

 private:
  std::optional<std::string> base_;
};

// Each anchor's link to the sink as soon as its tag is read, or, with text,
// as soon as its text has ended.
class TAnchorEmitter : public TAnchorTokenSink {
 public:
  TAnchorEmitter(TListingSink& sink, TAnchorResolver& resolver, bool withText)
      : TAnchorTokenSink(withText), sink_(sink), resolver_(resolver) {}

 protected:
  void OnAnchor(std::string_view href) override {
    if (WithText()) {
      pending_ = resolver_.Resolve(href);
    } else {
      sink_.AppendLink(resolver_.Resolve(href));
    }
  }
  void OnAnchorText(TWrittenAnchor& anchor) override {
    resolver_.AddText(pending_, anchor);
    sink_.AppendLink(std::move(pending_));
  }

 private:
  TListingSink& sink_;
  TAnchorResolver& resolver_;
  TListedLink pending_;
};

// How a saved page is read: in its own bytes when its encoding keeps ASCII as
// ASCII, else decoded to UTF-8 as it is read.
struct TPageReading {
  std::string encoding;
  std::size_t bomLength = 0;  // dropped before decoding
  bool decode = false;
  bool textIsUtf8 = false;
};

TPageReading SniffSavedPage(const std::string& file, std::string_view contentType) {
  TReadableFile in(file);
  std::string head(kSniffedPageBytes, '\0');
  std::size_t size = 0;
  while (size < head.size()) {
    const std::size_t got = in.Read(head.data() + size, head.size() - size);
    if (got == 0) {
      break;
    }
    size += got;
  }
  head.resize(size);
  const TSniffedEncoding sniffed = SniffEncoding(head, contentType);
  const TTextEncoding encoding(sniffed.Name);
  TPageReading reading;
  reading.encoding = std::string(sniffed.Name);
  reading.decode = !encoding.IsAsciiCompatible();
  reading.bomLength = reading.decode ? sniffed.BomLength : 0;
  reading.textIsUtf8 = encoding.IsUtf8() || reading.decode;
  return reading;
}

// Hands the page's text to visit piece by piece.
template <class Visit>
void ForEachTextPiece(const std::string& file, const TPageReading& reading, Visit&& visit) {
  TReadableFile in(file);
  std::optional<TTextEncoding> decoder;
  if (reading.decode) {
    decoder.emplace(reading.encoding);
  }
  std::string piece(kFileReadPieceBytes, '\0');
  std::string decoded;
  std::size_t skip = reading.bomLength;
  for (;;) {
    const std::size_t got = in.Read(piece.data(), piece.size());
    std::string_view bytes(piece.data(), got);
    const std::size_t dropped = std::min(skip, bytes.size());
    bytes.remove_prefix(dropped);
    skip -= dropped;
    if (decoder) {
      decoded.clear();
      decoder->AppendDecodedPart(bytes, got == 0, decoded);
      bytes = decoded;
    }
    visit(bytes);
    if (got == 0) {
      return;
    }
  }
}

// The block of a saved page: a first pass finds its base, a second lists.
void ListInTwoPasses(TListingSink& sink, const std::string& file, const TPageReading& reading,
                     const std::string* base, const std::string& pageAddress,
                     const std::string& finalAddress, bool withText) {
  TBaseFinder finder;
  TDeclaredBaseSearch declared;
  {
    THtmlTokenizer tokenizer(finder);
    ForEachTextPiece(file, reading, [&](std::string_view text) {
      declared.Feed(text);
      tokenizer.Feed(text);
    });
    tokenizer.Finish();
  }
  TTextEncoding encoding(reading.encoding);
  TAnchorResolver resolver(encoding, reading.textIsUtf8, finalAddress);
  if (finder.Base()) {
    resolver.UseBaseHref(*finder.Base());
  }
  sink.BeginBlock(pageAddress,
                  base != nullptr ? *base : ChooseBaseOfDeclared(declared.Result(), finalAddress));
  TAnchorEmitter emitter(sink, resolver, withText);
  THtmlTokenizer tokenizer(emitter, AnchorTokenizerOptions(withText));
  ForEachTextPiece(file, reading, [&tokenizer](std::string_view text) { tokenizer.Feed(text); });
  tokenizer.Finish();
  emitter.FinishAnchors();
}

}  // namespace

void ListSavedPage(TListingSink& sink, const std::string& documentFile,
                   std::string_view contentType, const std::string& pageAddress,
                   const std::string& finalAddress, bool withText) {
  ListInTwoPasses(sink, documentFile, SniffSavedPage(documentFile, contentType), nullptr,
                  pageAddress, finalAddress, withText);
}

std::array<std::string, 4> BlockHeader(const std::string& pageAddress, const std::string& base) {
  // The list's line and the page's <base> as written: a terminal escape in
  // either must not reach a terminal or a saved list.
  return {"#===========#", "# Links From: " + PrintableText(pageAddress),
          "# Baseurl: " + PrintableText(base), "#===========#"};
}

void TBlockLines::BeginBlock(const std::string& pageAddress, const std::string& base) {
  for (const std::string& line : BlockHeader(pageAddress, base)) {
    AppendResultLine(line);
  }
}

void TBlockLines::AppendLink(TListedLink link) {
  if (TLinkFilter(ReadFilterSettings()).Passes(link.Cleaned)) {
    AppendResultLine(std::move(link.Line));
  }
}

void ListLinks(TListingSink& sink, const std::string& documentFile, const std::string& base,
               const std::string& pageAddress, const TPageSource& source) {
  ListInTwoPasses(sink, documentFile, SniffSavedPage(documentFile, source.ContentType), &base,
                  pageAddress, source.FinalAddress, false);
}

void ListLinks(TListingSink& sink, TPageText page, const std::string& base,
               const std::string& pageAddress, const std::string& finalAddress) {
  TAnchorGatherer anchors;
  {
    THtmlTokenizer tokenizer(anchors);
    tokenizer.Feed(page.Text.View());
    tokenizer.Finish();
  }
  page.Text = TDocumentText();
  TAnchorResolver resolver(page.Encoding, page.TextIsUtf8, finalAddress);
  anchors.List(sink, resolver, base, pageAddress);
}

TAnchorTag AnchorTagOf(const THtmlStartTag& tag, std::string_view* href) {
  if (tag.Namespace != THtmlNamespace::Html || tag.InTemplate ||
      (tag.Name != "a" && tag.Name != "base")) {
    return TAnchorTag::None;
  }
  const THtmlAttribute* attribute = tag.Find("href");
  if (attribute == nullptr) {
    return TAnchorTag::None;
  }
  *href = attribute->Value;
  return tag.Name == "a" ? TAnchorTag::Anchor : TAnchorTag::Base;
}

// The decoder, the query encoder and the base live together: the encoder
// refers to the encoding and the base is parsed with both.
class TAnchorResolver::TImpl {
 public:
  TImpl(TTextEncoding& encoding, bool textIsUtf8, const std::string& finalAddress)
      : decoder(encoding, textIsUtf8), base(ParseWebUrl(finalAddress)) {
    if (!encoding.QueryIsUtf8()) {
      encoder = [&encoding](std::string_view utf8, std::string& bytesOut) {
        encoding.AppendEncoded(utf8, bytesOut);
      };
    }
  }

  [[nodiscard]] const TQueryEncoder* Encoder() const { return encoder ? &encoder : nullptr; }
  [[nodiscard]] const TWebUrl* Base() const { return base ? &*base : nullptr; }

  TValueDecoder decoder;
  TQueryEncoder encoder;
  std::optional<TWebUrl> base;  // none when the page's address is no URL
  TWebUrl url;
};

TAnchorResolver::TAnchorResolver(TTextEncoding& encoding, bool textIsUtf8,
                                 const std::string& finalAddress)
    : impl_(std::make_unique<TImpl>(encoding, textIsUtf8, finalAddress)) {}

TAnchorResolver::~TAnchorResolver() = default;

void TAnchorResolver::UseBaseHref(std::string_view written) {
  TWebUrl declared;
  // A data: or javascript: base would let a page's links run code.
  if (ParseWebUrl(impl_->decoder.Decode(written), impl_->Base(), impl_->Encoder(), declared) &&
      declared.Scheme() != "data" && declared.Scheme() != "javascript") {
    impl_->base = std::move(declared);
  }
}

std::string TAnchorResolver::LineOf(std::string_view written) {
  return LineOfDecoded(impl_->decoder.Decode(written));
}

std::string TAnchorResolver::LineOfDecoded(std::string_view href) {
  return ParseWebUrl(href, impl_->Base(), impl_->Encoder(), impl_->url) ? impl_->url.Href
                                                                        : UnresolvedLine(href);
}

std::string TAnchorResolver::CleanedOf(std::string_view written) {
  return WithoutTabsAndLineBreaks(impl_->decoder.Decode(written));
}

void TAnchorResolver::AddText(TListedLink& link, const TWrittenAnchor& anchor) {
  link.Rel = std::string(impl_->decoder.Decode(anchor.Rel));
  const std::string alt(impl_->decoder.Decode(anchor.Alt));
  link.Text = ShownAnchorText(impl_->decoder.DecodeText(anchor.Text), alt);
}

TListedLink TAnchorResolver::Resolve(std::string_view written) {
  const std::string_view href = impl_->decoder.Decode(written);
  TListedLink link;
  link.Cleaned = WithoutTabsAndLineBreaks(href);
  link.Line = LineOfDecoded(href);
  return link;
}

}  // namespace movrek
