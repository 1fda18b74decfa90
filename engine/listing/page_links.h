// The links of a page gathered from its body as it arrives, so that the
// page is never read back from its file nor held whole: the block listed is
// the one ListLinks lists from the saved file. A page whose encoding does not
// keep ASCII as ASCII (UTF-16, ISO-2022-JP) is decoded as it arrives. A page
// whose links would take more memory than the bound given is listed from its
// file, read in pieces.
//
// Feed and ResolveFound may run on two threads at once; everything else
// runs while neither does.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/listing/anchor_text.h"
#include "engine/listing/base_detection.h"
#include "engine/listing/link_memory_budget.h"
#include "html/html_tokenizer.h"
#include "html/text_encoding.h"

namespace movrek {

class TAnchorResolver;
class TListingSink;

class TPageLinks {
 public:
  // maxGatheredBytes: what the links found may take at most, about; with a
  // budget shared by pages in transfer at once, what they may take at least,
  // the budget deciding past it.
  // withText: each link carries its anchor's text and rel.
  explicit TPageLinks(std::int64_t maxGatheredBytes, bool withText = false,
                      std::shared_ptr<TLinkMemoryBudget> budget = nullptr);
  TPageLinks(const TPageLinks&) = delete;
  TPageLinks& operator=(const TPageLinks&) = delete;
  ~TPageLinks();

  // A body starts, whose response carried contentType (the Content-Type
  // value, perhaps empty) and was asked for at address; what came before is
  // forgotten.
  void Restart(std::string contentType, std::string address);
  // The next bytes of the body, as the page file receives them.
  void Feed(std::string_view bytes);
  // Resolves the links found so far, so that little is left for List.
  void ResolveFound();
  // The block of the whole body: the declared base for its "# Baseurl:"
  // line, and the links. pageFile holds the body. Throws EFileOpenError when
  // a page that must be read from its file cannot be.
  void List(TListingSink& sink, const std::string& pageFile, const std::string& pageAddress,
            const std::string& finalAddress);
  // The same, with the path of the file asked of pageFile only when the page
  // must be read from it (what pageFile throws goes through).
  void List(TListingSink& sink, const std::function<std::string()>& pageFile,
            const std::string& pageAddress, const std::string& finalAddress);

 private:
  enum class TMode : std::uint8_t { Sniffing, Scanning, FromFile };
  using TPiece = std::pair<std::size_t, std::size_t>;  // offset and length in a text

  void Decide();
  void Scan(std::string_view bytes);
  // An anchor's href, or (isBase) a base's.
  void TakeTag(bool isBase, std::string_view href);
  void TakeText(TWrittenAnchor anchor);
  // Whether more bytes of links may be kept; false from the first refusal on.
  bool Gather(std::int64_t more);
  void ReleaseGathered();
  void ListFromFileInstead();
  void ResolveAgain(const std::string& finalAddress);
  void DropResolved();

  // The feeding side's.
  const std::int64_t max_gathered_bytes_;
  const std::shared_ptr<TLinkMemoryBudget> budget_;
  std::int64_t gathered_bytes_ = 0;
  bool too_many_ = false;  // the links found would take too much memory
  std::string content_type_;
  std::string head_;                        // the first bytes, until the encoding is known
  std::unique_ptr<TTextEncoding> decoder_;  // for markup in an encoding that is no ASCII
  std::string decoded_;
  // Hands the anchors and bases to TakeTag, the anchors' texts to TakeText.
  class TTagSink : public TAnchorTokenSink {
   public:
    TTagSink(TPageLinks& links, bool withText) : TAnchorTokenSink(withText), links_(links) {}

   protected:
    void OnAnchor(std::string_view href) override { links_.TakeTag(false, href); }
    void OnBase(std::string_view href) override { links_.TakeTag(true, href); }
    void OnAnchorText(TWrittenAnchor& anchor) override { links_.TakeText(std::move(anchor)); }

   private:
    TPageLinks& links_;
  };
  const bool with_text_;
  TTagSink tag_sink_{*this, with_text_};
  // The anchors' texts as written, in link order: decoded only when listed.
  std::vector<TWrittenAnchor> written_;
  std::unique_ptr<THtmlTokenizer> tags_;
  TDeclaredBaseSearch declared_base_;
  bool base_seen_ = false;

  // Handed from the feeding side to the resolving side, under found_lock_.
  std::mutex found_lock_;
  TMode mode_ = TMode::Sniffing;
  TTextEncoding encoding_{"UTF-8"};  // set with mode_, then only read
  bool text_is_utf8_ = false;
  std::string found_text_;  // hrefs as written, one after the other
  std::vector<TPiece> found_;
  std::optional<std::string> found_base_;  // the first <base> href, not taken yet

  // The resolving side's.
  std::string address_;
  std::unique_ptr<TAnchorResolver> resolver_;
  std::optional<std::string> base_href_;
  // The hrefs as found, batch by batch: each batch's text is kept as it was
  // handed over, never copied.
  struct THref {
    std::size_t batch;
    std::size_t offset;
    std::size_t length;
  };
  [[nodiscard]] std::string_view HrefAt(std::size_t index) const;
  std::vector<std::string> batches_;
  std::vector<TPiece> taken_;
  std::vector<THref> hrefs_;
  std::vector<std::string> lines_;
  std::size_t stale_ = 0;  // the first lines_ were resolved before the base was known
};

}  // namespace movrek
