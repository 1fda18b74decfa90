#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace movrek {

// The base the page declares: the text between the first two double quotes
// after the words "BASE HREF" (any letter case) on the first line holding
// them, exactly as written; "NONE" when no line holds them. Throws
// EFileOpenError when the file cannot be read.
std::string DetectBase(const std::string& documentFile);
// The same for a page already in memory, as read from its file or with its
// line ends made CR LF (the words and the quotes lie on one line either way).
std::string DetectBaseInText(std::string_view text);

// The directory part of an address: up to its last "/" (or ":"), the
// separator itself dropped. An address with nothing after its host (perhaps a
// port, a query or a fragment) gives scheme://host[:port].
std::string DirectoryBase(const std::string& address);

// DetectBaseInText of a text given in pieces as it arrives; it holds the
// declared value only, never the text.
class TDeclaredBaseSearch {
 public:
  // The next bytes of the text, cut anywhere.
  void Feed(std::string_view bytes);
  // DetectBaseInText of all the bytes fed so far.
  [[nodiscard]] std::string Result() const { return found_ ? value_ : "NONE"; }

 private:
  void Search(std::string_view& text);

  enum class TStage : std::uint8_t { Searching, BeforeQuote, InQuotes, Done };
  TStage stage_ = TStage::Searching;
  bool found_ = false;
  std::string carry_;  // the last bytes searched: the words may start in them
  std::string value_;
};

// The base relative links of a saved page are resolved against: the declared
// one, else the directory of the final address; always ending in "/".
std::string ChooseBase(const std::string& documentFile, const std::string& finalAddress);
std::string ChooseBaseOfText(std::string_view text, const std::string& finalAddress);
// The same for the value DetectBase gave.
std::string ChooseBaseOfDeclared(const std::string& declared, const std::string& finalAddress);

}  // namespace movrek
