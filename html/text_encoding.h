// A page's character encoding: its bytes to UTF-8 and UTF-8 back to it, with
// glibc's iconv doing the work for the legacy encodings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace movrek {

class TTextEncoding {
 public:
  // name: the Encoding standard's name of an encoding (EncodingOfLabel).
  explicit TTextEncoding(std::string_view name);
  TTextEncoding(const TTextEncoding&) = delete;
  TTextEncoding& operator=(const TTextEncoding&) = delete;
  TTextEncoding(TTextEncoding&& other) noexcept;
  TTextEncoding& operator=(TTextEncoding&& other) noexcept;
  ~TTextEncoding();

  [[nodiscard]] std::string_view Name() const { return name_; }
  [[nodiscard]] bool IsUtf8() const { return name_ == "UTF-8"; }
  // Whether every ASCII byte of a text stands for that ASCII character, so
  // that markup can be read from the bytes before they are decoded. UTF-16,
  // ISO-2022-JP and the replacement encoding are not.
  [[nodiscard]] bool IsAsciiCompatible() const;
  // Whether an address's query keeps UTF-8 rather than this encoding (the
  // URL standard's output encoding).
  [[nodiscard]] bool QueryIsUtf8() const;

  // Appends the bytes decoded to UTF-8; a byte sequence the encoding does not
  // allow gives U+FFFD, as does a NUL byte.
  void AppendDecoded(std::string_view bytes, std::string& out);
  // The same for a text given in pieces cut anywhere: the shift state and a
  // sequence cut between two pieces carry over to the next; last: no more
  // pieces follow, and what is left is decoded as AppendDecoded would.
  void AppendDecodedPart(std::string_view bytes, bool last, std::string& out);
  // Appends the UTF-8 text in this encoding; a character the encoding lacks
  // is written as "&#N;" with its decimal code point, as browsers do in a
  // query.
  void AppendEncoded(std::string_view utf8, std::string& out);

 private:
  // keepState: the text goes on from the last call's; last: it ends here.
  void AppendIconvDecoded(std::string_view bytes, bool keepState, bool last, std::string& out);
  void Close();

  std::string name_;
  void* decoder_ = nullptr;  // iconv_t, opened on first use; nullptr when glibc lacks it
  void* encoder_ = nullptr;
  bool decoder_opened_ = false;
  bool encoder_opened_ = false;
  std::string carry_;  // the start of a sequence the last piece cut off
};

// Appends the UTF-8 text with every malformed sequence replaced by U+FFFD
// (one for each maximal part of a sequence, as the Encoding standard does)
// and every NUL by U+FFFD.
void AppendValidUtf8(std::string_view bytes, std::string& out);

}  // namespace movrek
