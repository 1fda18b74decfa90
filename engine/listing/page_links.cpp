#include "engine/listing/page_links.h"

#include <algorithm>

#include "engine/listing/link_listing.h"
#include "engine/listing/listing_sink.h"
#include "html/encoding_sniffing.h"

namespace movrek {

namespace {

// Bytes enough for the encoding: its byte order mark and the prescan for a
// meta declaration look no further.
constexpr std::size_t kSniffedBytes = 1024;
// What a link found takes besides twice its href's length (the href, then
// its line): the entries that place them and the line's string.
constexpr std::int64_t kGatheredLinkOverheadBytes = 112;

}  // namespace

TPageLinks::TPageLinks(std::int64_t maxGatheredBytes, bool withText,
                       std::shared_ptr<TLinkMemoryBudget> budget)
    : max_gathered_bytes_(maxGatheredBytes), budget_(std::move(budget)), with_text_(withText) {}

TPageLinks::~TPageLinks() {
  ReleaseGathered();
}

bool TPageLinks::Gather(std::int64_t more) {
  if (too_many_) {
    return false;
  }
  const bool room = budget_ ? budget_->Take(gathered_bytes_, more, max_gathered_bytes_)
                            : gathered_bytes_ + more <= max_gathered_bytes_;
  if (!room) {
    too_many_ = true;
    return false;
  }
  gathered_bytes_ += more;
  return true;
}

void TPageLinks::ReleaseGathered() {
  if (budget_) {
    budget_->Give(gathered_bytes_);
  }
  gathered_bytes_ = 0;
}

void TPageLinks::Restart(std::string contentType, std::string address) {
  tag_sink_.FinishAnchors();  // an anchor left open by the body before
  ReleaseGathered();
  too_many_ = false;
  content_type_ = std::move(contentType);
  head_.clear();
  decoder_.reset();
  tags_.reset();
  written_.clear();
  declared_base_ = TDeclaredBaseSearch();
  mode_ = TMode::Sniffing;
  found_text_.clear();
  found_.clear();
  found_base_.reset();
  base_seen_ = false;
  address_ = std::move(address);
  resolver_.reset();
  base_href_.reset();
  batches_.clear();
  hrefs_.clear();
  lines_.clear();
  stale_ = 0;
}

void TPageLinks::Feed(std::string_view bytes) {
  if (mode_ == TMode::Sniffing) {
    const std::size_t take = std::min(bytes.size(), kSniffedBytes - head_.size());
    head_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (head_.size() < kSniffedBytes) {
      return;
    }
    Decide();
  }
  if (mode_ == TMode::Scanning) {
    Scan(bytes);
  }
}

void TPageLinks::Decide() {
  const TSniffedEncoding sniffed = SniffEncoding(head_, content_type_);
  TTextEncoding encoding(sniffed.Name);
  // Markup in an encoding that is no ASCII is read decoded, as it arrives.
  const bool decode = !encoding.IsAsciiCompatible();
  if (decode) {
    decoder_ = std::make_unique<TTextEncoding>(sniffed.Name);
    head_.erase(0, sniffed.BomLength);
  } else {
    decoder_.reset();
  }
  {
    const std::lock_guard<std::mutex> lock(found_lock_);
    text_is_utf8_ = encoding.IsUtf8() || decode;
    encoding_ = std::move(encoding);
    mode_ = TMode::Scanning;
  }
  tags_ = std::make_unique<THtmlTokenizer>(tag_sink_, AnchorTokenizerOptions(with_text_));
  Scan(head_);
  head_.clear();
  head_.shrink_to_fit();
}

void TPageLinks::Scan(std::string_view bytes) {
  if (decoder_) {
    decoded_.clear();
    decoder_->AppendDecodedPart(bytes, false, decoded_);
    bytes = decoded_;
  }
  declared_base_.Feed(bytes);
  tags_->Feed(bytes);
  if (too_many_) {
    ListFromFileInstead();
  }
}

// Nothing gathered is kept and the scan stops: the saved page is read once
// it is complete, as pages in other encodings are.
void TPageLinks::ListFromFileInstead() {
  {
    const std::lock_guard<std::mutex> lock(found_lock_);
    mode_ = TMode::FromFile;
    std::string().swap(found_text_);
    std::vector<TPiece>().swap(found_);
    found_base_.reset();
  }
  tags_.reset();
  std::vector<TWrittenAnchor>().swap(written_);
  ReleaseGathered();
}

void TPageLinks::TakeTag(bool isBase, std::string_view href) {
  if (isBase && base_seen_) {
    return;
  }
  if (!Gather(2 * static_cast<std::int64_t>(href.size()) + kGatheredLinkOverheadBytes)) {
    return;
  }
  const std::lock_guard<std::mutex> lock(found_lock_);
  if (isBase) {
    base_seen_ = true;
    found_base_.emplace(href);
    return;
  }
  found_.emplace_back(found_text_.size(), href.size());
  found_text_.append(href);
}

void TPageLinks::TakeText(TWrittenAnchor anchor) {
  if (Gather(static_cast<std::int64_t>(anchor.Text.size() + anchor.Alt.size() + anchor.Rel.size()) +
             kGatheredLinkOverheadBytes)) {
    written_.push_back(std::move(anchor));
  }
}

void TPageLinks::ResolveFound() {
  std::optional<std::string> base;
  std::string taken_text;
  {
    const std::lock_guard<std::mutex> lock(found_lock_);
    if (mode_ != TMode::Scanning) {
      DropResolved();
      return;
    }
    taken_.clear();
    std::swap(taken_text, found_text_);
    std::swap(taken_, found_);
    base.swap(found_base_);
  }
  if (!resolver_) {
    resolver_ = std::make_unique<TAnchorResolver>(encoding_, text_is_utf8_, address_);
  }
  // The base counts for the links above it too: those are resolved again.
  if (base) {
    resolver_->UseBaseHref(*base);
    base_href_ = std::move(base);
    stale_ = lines_.size();
  }
  if (taken_.empty()) {
    return;
  }
  batches_.push_back(std::move(taken_text));
  const std::string_view text = batches_.back();
  for (const auto& [offset, length] : taken_) {
    hrefs_.push_back({batches_.size() - 1, offset, length});
    lines_.push_back(resolver_->LineOf(text.substr(offset, length)));
  }
}

std::string_view TPageLinks::HrefAt(std::size_t index) const {
  const THref& href = hrefs_[index];
  return std::string_view(batches_[href.batch]).substr(href.offset, href.length);
}

void TPageLinks::DropResolved() {
  resolver_.reset();
  std::vector<std::string>().swap(batches_);
  std::vector<THref>().swap(hrefs_);
  std::vector<std::string>().swap(lines_);
}

void TPageLinks::ResolveAgain(const std::string& finalAddress) {
  if (finalAddress != address_) {
    address_ = finalAddress;
    resolver_ = std::make_unique<TAnchorResolver>(encoding_, text_is_utf8_, address_);
    if (base_href_) {
      resolver_->UseBaseHref(*base_href_);
    }
    stale_ = lines_.size();
  }
  for (std::size_t i = 0; i < stale_; ++i) {
    lines_[i] = resolver_->LineOf(HrefAt(i));
  }
  stale_ = 0;
}

void TPageLinks::List(TListingSink& sink, const std::string& pageFile,
                      const std::string& pageAddress, const std::string& finalAddress) {
  List(
      sink, [&pageFile] { return pageFile; }, pageAddress, finalAddress);
}

void TPageLinks::List(TListingSink& sink, const std::function<std::string()>& pageFile,
                      const std::string& pageAddress, const std::string& finalAddress) {
  if (mode_ == TMode::Sniffing) {
    Decide();
  }
  if (mode_ == TMode::FromFile) {
    DropResolved();
    ListSavedPage(sink, pageFile(), content_type_, pageAddress, finalAddress, with_text_);
    return;
  }
  if (decoder_) {
    decoded_.clear();
    decoder_->AppendDecodedPart({}, true, decoded_);
    declared_base_.Feed(decoded_);
    tags_->Feed(decoded_);
  }
  tags_->Finish();
  tag_sink_.FinishAnchors();
  if (too_many_) {
    ListFromFileInstead();
    DropResolved();
    ListSavedPage(sink, pageFile(), content_type_, pageAddress, finalAddress, with_text_);
    return;
  }
  ResolveFound();
  ResolveAgain(finalAddress);
  sink.BeginBlock(pageAddress, ChooseBaseOfDeclared(declared_base_.Result(), finalAddress));
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    TListedLink link;
    link.Cleaned = resolver_->CleanedOf(HrefAt(i));
    link.Line = std::move(lines_[i]);
    if (i < written_.size()) {
      resolver_->AddText(link, written_[i]);
    }
    sink.AppendLink(std::move(link));
  }
}

}  // namespace movrek
