// Prints the tokens THtmlTokenizer makes of each case on standard input, in
// the JSON form of the html5lib tokenizer tests, one line per case:
//   [["StartTag","a",{"href":"x"},true],["EndTag","a"],["Comment","c"],
//    ["Character","text"],["DOCTYPE","html"]]
// Text and attribute values are decoded (character references, and NUL as
// the standard's tokenizer replaces it in each state); adjacent text of one
// kind is merged. A case is framed as
//   "#case START LAST_START_TAG LENGTH\n" then LENGTH bytes of UTF-8 and "\n",
// START one of Data RcData RawText ScriptData PlainText CData, and
// LAST_START_TAG "-" for none.
//   tokenizer_conformance [--bytewise] < CASES
// --bytewise feeds each case one byte at a time.
#include <array>
#include <cstddef>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

#include "html/character_references.h"
#include "html/html_tokenizer.h"
#include "tests/html/token_recorder.h"

namespace movrek {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

std::string WithoutNul(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\0') {
      out += kReplacementCharacter;
    } else {
      out += c;
    }
  }
  return out;
}

// A JSON string; bytes past ASCII are written as they are (UTF-8).
void AppendJson(std::string_view text, std::string& out) {
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      std::array<char, 8> escaped{};
      std::snprintf(escaped.data(), escaped.size(), "\\u%04x", byte);
      out += escaped.data();
    } else {
      out += c;
    }
  }
  out += '"';
}

class TJsonTokens final : public test::TWholeTokenSink {
 public:
  // The tokens so far as a JSON array.
  std::string Take() {
    FlushText();
    std::string json = "[" + std::move(tokens_) + "]";
    tokens_.clear();
    return json;
  }

  void OnStartTag(const THtmlStartTag& tag) override {
    FlushText();
    std::string attributes;
    for (const THtmlAttribute& attribute : tag.Attributes) {
      attributes += attributes.empty() ? "" : ",";
      AppendJson(WithoutNul(attribute.Name), attributes);
      std::string value;
      AppendAttributeDecoded(WithoutNul(attribute.Value), value);
      attributes += ':';
      AppendJson(value, attributes);
    }
    Token("StartTag", WithoutNul(tag.Name),
          "{" + attributes + "}" + (tag.SelfClosing ? ",true" : ""));
  }
  void OnEndTag(std::string_view name) override {
    FlushText();
    Token("EndTag", WithoutNul(name));
  }
  void OnDoctype(std::string_view name) override {
    FlushText();
    if (name.empty()) {
      AddToken("[\"DOCTYPE\",null]");
    } else {
      Token("DOCTYPE", WithoutNul(name));
    }
  }
  void OnWarning(std::string_view what) override { std::cerr << "warning: " << what << '\n'; }

 private:
  void OnWholeText(std::string_view text, TTextKind kind) override {
    // Data text and CDATA sections keep a NUL; the other text modes replace it.
    const bool keepsNul = kind == TTextKind::Data || kind == TTextKind::CData;
    const std::string characters = keepsNul ? std::string(text) : WithoutNul(text);
    std::string decoded;
    if (kind == TTextKind::Data || kind == TTextKind::RcData) {
      AppendTextDecoded(characters, decoded);
    } else {
      decoded = characters;
    }
    Token("Character", decoded);
  }
  void OnWholeComment(std::string_view text) override { Token("Comment", WithoutNul(text)); }
  void Token(std::string_view type, std::string_view text, std::string_view rest = {}) {
    std::string token = "[\"" + std::string(type) + "\",";
    AppendJson(text, token);
    token += rest.empty() ? "" : ",";
    token += rest;
    AddToken(token + "]");
  }
  void AddToken(std::string_view token) {
    tokens_ += tokens_.empty() ? "" : ",";
    tokens_ += token;
  }

  std::string tokens_;
};

std::optional<TTokenizerStart> StartNamed(std::string_view name) {
  constexpr std::array<std::pair<std::string_view, TTokenizerStart>, 6> kStarts = {{
      {"Data", TTokenizerStart::Data},
      {"RcData", TTokenizerStart::RcData},
      {"RawText", TTokenizerStart::RawText},
      {"ScriptData", TTokenizerStart::ScriptData},
      {"PlainText", TTokenizerStart::PlainText},
      {"CData", TTokenizerStart::CData},
  }};
  for (const auto& [known, start] : kStarts) {
    if (known == name) {
      return start;
    }
  }
  return std::nullopt;
}

std::string Tokens(std::string_view input, TTokenizerStart start, std::string_view lastStartTag,
                   bool bytewise) {
  TJsonTokens sink;
  THtmlTokenizer tokenizer(sink, {.ReportText = true, .ReportComments = true});
  tokenizer.StartIn(start, lastStartTag);
  if (bytewise) {
    for (std::size_t i = 0; i < input.size(); ++i) {
      tokenizer.Feed(input.substr(i, 1));
    }
  } else {
    tokenizer.Feed(input);
  }
  tokenizer.Finish();
  return sink.Take();
}

int Run(bool bytewise) {
  std::string header;
  while (std::getline(std::cin, header)) {
    std::istringstream fields(header);
    std::string frame;
    std::string startName;
    std::string lastStartTag;
    std::size_t length = 0;
    fields >> frame >> startName >> lastStartTag >> length;
    const std::optional<TTokenizerStart> start = StartNamed(startName);
    if (frame != "#case" || !fields || !start) {
      std::cerr << "tokenizer_conformance: not a case header: " << header << '\n';
      return 2;
    }
    std::string input(length, '\0');
    if (!std::cin.read(input.data(), static_cast<std::streamsize>(length)) ||
        std::cin.get() != '\n') {
      std::cerr << "tokenizer_conformance: a case ends early\n";
      return 2;
    }
    std::cout << Tokens(input, *start, lastStartTag == "-" ? "" : lastStartTag, bytewise) << '\n';
  }
  return 0;
}

}  // namespace
}  // namespace movrek

int main(int argc, char** argv) {
  const bool bytewise = argc > 1 && std::string_view(argv[1]) == "--bytewise";
  return movrek::Run(bytewise);
}
