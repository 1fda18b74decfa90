#include "tests/html/reference_scan.h"

namespace movrek::testing {

namespace {

bool White(char c) {
  return c == 8 || c == 9 || c == 10 || c == 13 || c == 32;
}

std::string Trimmed(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

// The name the tag text parse gives, for the IsTag("SCRIPT") test.
std::string NameOf(std::string s) {
  if (!s.empty() && s.front() == '<') s.erase(0, 1);
  if (!s.empty() && s.back() == '>') s.pop_back();
  std::string token;
  bool quote = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    token += s[i];
    if (s[i] == '"') quote = !quote;
    if ((White(s[i]) || i + 1 == s.size()) && !quote) return Trimmed(token);
  }
  return {};
}

enum State { None, AfterOpen, AfterClose, BetweenAttributes, AfterEquals };

}  // namespace

TReferenceScan ReferenceScan(const std::string& text) {
  TReferenceScan out;
  std::string pending;
  std::string word;
  std::string script;
  bool in_tag = false;
  bool in_script = false;
  bool in_quote = false;
  bool in_comment = false;
  bool in_block = false;
  bool comment_open = false;
  char quote_char = 0;
  State state = None;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char prev = i > 0 ? text[i - 1] : '\0';
    const bool has_prev = i > 0;
    bool skip = false;
    if (White(c)) {
      if (in_script && in_tag) in_tag = false;
      if (in_tag && !in_quote && (state == AfterOpen || state == AfterEquals))
        state = BetweenAttributes;
      if (in_script && (Trimmed(word) == "<!--" || Trimmed(word) == "<!---")) comment_open = true;
      if ((c == '\r' || c == '\n') && comment_open) {
        script.clear();
        in_quote = in_comment = in_block = comment_open = false;
        out.Elements.push_back({0, pending + "\r"});
        pending.clear();
      } else if (c == '\r' && in_script && in_comment && !in_block) {
        in_comment = false;
      }
      word.clear();
    } else if (c == '!') {
      if (in_tag && !in_quote && !in_comment) in_comment = true;
    } else if (c == '"' || c == '\'') {
      if (in_quote && !in_comment && !in_block) {
        if (c == quote_char && !(has_prev && prev == '\\')) in_quote = false;
      } else if (in_script && !in_comment && !in_block) {
        in_quote = true;
        quote_char = c;
      } else if (in_tag && state == AfterEquals) {
        in_quote = true;
        quote_char = c;
      }
    } else if (c == '*') {
      if (in_script && !in_quote && !in_block && has_prev && prev == '/')
        in_block = in_comment = true;
    } else if (c == '/') {
      if (in_script) {
        if (has_prev && prev == '/') {
          if (!in_comment && !in_quote && !in_block) in_comment = true;
        } else if (in_block && has_prev && prev == '*') {
          in_block = in_comment = false;
        }
      }
    } else if (c == '<') {
      word.clear();
      if (in_script || in_quote) {
        if (in_script && !in_quote) {
          state = AfterOpen;
          pending.clear();
          in_tag = true;
        }
      } else if (!in_tag) {
        in_tag = true;
        state = AfterOpen;
        skip = true;
        if (!pending.empty()) out.Elements.push_back({0, pending});
        pending.clear();
      } else {
        out.Warnings.push_back(std::to_string(i + 1) + ": \"<\" Symbol is ignored");
      }
      in_block = in_comment = in_quote = false;
    } else if (c == '=') {
      if (in_tag && !in_quote && !(in_script && comment_open) && state == BetweenAttributes)
        state = AfterEquals;
    } else if (c == '>') {
      if (in_script || in_quote || comment_open) {
        if (in_script && in_tag && (!in_quote || comment_open)) {
          word.clear();
          if (Upper(Trimmed(pending)).find("/SCRIPT") != std::string::npos) {
            const std::size_t cut = pending.size() < script.size() ? pending.size() : script.size();
            out.Elements.push_back({4, script.substr(0, script.size() - cut)});
            out.Elements.push_back({1, pending});
            script.clear();
            in_script = false;
            pending.clear();
            in_tag = false;
            skip = true;
          }
        }
      } else if (in_tag) {
        bool opens_script = false;
        if (!pending.empty()) {
          if (in_comment) {
            out.Elements.push_back({0, "<" + pending + ">"});
          } else {
            out.Elements.push_back({1, pending});
            opens_script = Upper(NameOf(pending)) == "SCRIPT";
          }
          pending.clear();
        }
        if (opens_script) in_script = true;
        state = AfterClose;
        in_tag = in_comment = in_quote = in_block = false;
        skip = true;
      } else {
        out.Warnings.push_back(std::to_string(i + 1) + ": \">\" Symbol is ignored");
      }
    }
    if (!skip) {
      pending += c;
      word += c;
      if (in_script) script += c;
    }
  }
  return out;
}

}  // namespace movrek::testing
