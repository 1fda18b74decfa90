#include "html/document_text.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "html/html_limits.h"
#include "html/text_file.h"

namespace movrek {

TDocumentText::TDocumentText(TDocumentText&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

TDocumentText& TDocumentText::operator=(TDocumentText&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

TDocumentText::~TDocumentText() {
  Release();
}

void TDocumentText::Release() {
  if (data_ != nullptr) {
    ::munmap(data_, capacity_);
  }
  data_ = nullptr;
  size_ = capacity_ = 0;
}

// Grows the mapping to at least capacity bytes, keeping the content.
void TDocumentText::Reserve(std::size_t capacity) {
  if (capacity <= capacity_) {
    return;
  }
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  capacity = (capacity + page - 1) / page * page;
  void* grown =
      ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (grown == MAP_FAILED) {
    throw std::bad_alloc();
  }
  // The huge page advice covers the whole mapping: advice on a part would
  // split it into several mappings.
  ::madvise(grown, capacity, MADV_HUGEPAGE);
  if (data_ != nullptr) {
    std::memcpy(grown, data_, size_);
    ::munmap(data_, capacity_);
  }
  data_ = static_cast<char*>(grown);
  capacity_ = capacity;
}
TDocumentText TDocumentText::FromString(std::string_view text) {
  TDocumentText document;
  if (text.empty()) {
    return document;
  }
  document.Reserve(text.size());
  std::memcpy(document.data_, text.data(), text.size());
  document.size_ = text.size();
  return document;
}

TDocumentText TDocumentText::FromFile(const std::string& fileName) {
  TDocumentText document = BytesFromFile(fileName);
  document.EndLinesWithCrLf();
  return document;
}

TDocumentText TDocumentText::BytesFromFile(const std::string& fileName) {
  TReadableFile file(fileName);
  TDocumentText document;
  std::size_t expected = file.SizeHint();
  if (expected == 0) {
    expected = kUnknownSizeReadBlockBytes;
  }
  // Room for the usual growth of the line ends (LF to CR LF), so that the
  // conversion seldom has to move the text.
  document.Reserve(expected + expected / kLineEndGrowthDivisor + 2);
  for (;;) {
    if (document.size_ == document.capacity_) {
      document.Reserve(document.capacity_ * 2);
    }
    const std::size_t got =
        file.Read(document.data_ + document.size_,
                  std::min(document.capacity_ - document.size_, kFileReadPieceBytes));
    if (got == 0) {
      break;
    }
    document.size_ += got;
  }
  return document;
}

void TDocumentText::EndLinesWithCrLf() {
  const std::size_t converted = CrLfTextSize(View());
  Reserve(converted);
  ExpandLineEnds(data_, size_, converted);
  size_ = converted;
}

}  // namespace movrek
