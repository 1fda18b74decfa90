#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace movrek {

// The text a document is scanned from: every line followed by CR LF. Pages
// run to hundreds of megabytes, so the text is read straight into memory of
// its own (no zero fill, no second copy), its line ends are converted in
// place, and large texts ask the kernel for huge pages.
class TDocumentText {
 public:
  TDocumentText() = default;
  TDocumentText(const TDocumentText&) = delete;
  TDocumentText& operator=(const TDocumentText&) = delete;
  TDocumentText(TDocumentText&& other) noexcept;
  TDocumentText& operator=(TDocumentText&& other) noexcept;
  ~TDocumentText();

  // The file's text, every line end made CR LF and CR LF added after a last
  // line without one. A NUL byte is a character like any other: browsers
  // read on past it. Throws EFileOpenError (file name and the system's
  // reason) when the file cannot be opened or read.
  static TDocumentText FromFile(const std::string& fileName);
  // The file's bytes as they are, for a caller that looks at them (or
  // replaces them) before EndLinesWithCrLf.
  static TDocumentText BytesFromFile(const std::string& fileName);
  // A text already in that form.
  static TDocumentText FromString(std::string_view text);

  // Makes every line end CR LF, as FromFile does.
  void EndLinesWithCrLf();

  [[nodiscard]] std::string_view View() const { return {data_, size_}; }
  [[nodiscard]] std::size_t Size() const { return size_; }

 private:
  void Reserve(std::size_t capacity);
  void Release();

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace movrek
