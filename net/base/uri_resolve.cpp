#include "net/base/uri_resolve.h"

namespace movrek {

namespace {

bool IsAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Length of the scheme at the start of the text (without its ":"), or 0.
std::size_t SchemeLength(std::string_view text) {
  if (text.empty() || !IsAlpha(text[0])) {
    return 0;
  }
  std::size_t i = 1;
  while (i < text.size() && (IsAlpha(text[i]) || IsDigit(text[i]) || text[i] == '+' ||
                             text[i] == '-' || text[i] == '.')) {
    ++i;
  }
  return (i < text.size() && text[i] == ':') ? i : 0;
}

// The five components of RFC 3986 Appendix B; a component that is absent is
// told apart from one that is present but empty.
struct UriParts {
  std::string_view scheme;
  std::string_view authority;
  std::string_view path;
  std::string_view query;
  std::string_view fragment;
  bool has_scheme = false;
  bool has_authority = false;
  bool has_query = false;
  bool has_fragment = false;
};

UriParts Split(std::string_view text) {
  UriParts parts;
  if (const std::size_t n = SchemeLength(text); n > 0) {
    parts.has_scheme = true;
    parts.scheme = text.substr(0, n);
    text.remove_prefix(n + 1);
  }
  if (const std::size_t hash = text.find('#'); hash != std::string_view::npos) {
    parts.has_fragment = true;
    parts.fragment = text.substr(hash + 1);
    text = text.substr(0, hash);
  }
  if (const std::size_t question = text.find('?'); question != std::string_view::npos) {
    parts.has_query = true;
    parts.query = text.substr(question + 1);
    text = text.substr(0, question);
  }
  if (text.size() >= 2 && text[0] == '/' && text[1] == '/') {
    parts.has_authority = true;
    const std::size_t slash = text.find('/', 2);
    const std::size_t end = slash == std::string_view::npos ? text.size() : slash;
    parts.authority = text.substr(2, end - 2);
    text.remove_prefix(end);
  }
  parts.path = text;
  return parts;
}

// Section 5.2.3.
std::string Merge(const UriParts& base, std::string_view referencePath) {
  if (base.has_authority && base.path.empty()) {
    return "/" + std::string(referencePath);
  }
  const std::size_t slash = base.path.rfind('/');
  if (slash == std::string_view::npos) {
    return std::string(referencePath);
  }
  std::string merged(base.path.substr(0, slash + 1));
  merged += referencePath;
  return merged;
}

void DropLastSegment(std::string& output) {
  const std::size_t slash = output.rfind('/');
  output.erase(slash == std::string::npos ? 0 : slash);
}

}  // namespace

bool HasUriScheme(std::string_view text) {
  return SchemeLength(text) > 0;
}

std::string RemoveDotSegments(std::string_view input) {
  std::string output;
  output.reserve(input.size());
  while (!input.empty()) {
    if (input.starts_with("../") || input.starts_with("./")) {  // A
      input.remove_prefix(input.front() == '.' && input[1] == '.' ? 3 : 2);
    } else if (input.starts_with("/./")) {  // B
      input.remove_prefix(2);
    } else if (input == "/.") {  // B
      output += '/';
      break;
    } else if (input.starts_with("/../")) {  // C
      input.remove_prefix(3);
      DropLastSegment(output);
    } else if (input == "/..") {  // C
      DropLastSegment(output);
      output += '/';
      break;
    } else if (input == "." || input == "..") {  // D
      break;
    } else {  // E: the first segment, with its leading "/" if any
      const std::size_t end = input.find('/', 1);
      const std::size_t n = end == std::string_view::npos ? input.size() : end;
      output.append(input.substr(0, n));
      input.remove_prefix(n);
    }
  }
  return output;
}

std::string ResolveReference(std::string_view baseText, std::string_view reference) {
  const UriParts r = Split(reference);
  const UriParts base = Split(baseText);

  std::string_view scheme;
  std::string_view authority;
  std::string path;
  std::string_view query;
  bool has_authority;
  bool has_query;
  // Section 5.2.2, strict form: a reference's own scheme is never dropped.
  if (r.has_scheme) {
    scheme = r.scheme;
    has_authority = r.has_authority;
    authority = r.authority;
    path = RemoveDotSegments(r.path);
    has_query = r.has_query;
    query = r.query;
  } else {
    scheme = base.scheme;
    if (r.has_authority) {
      has_authority = true;
      authority = r.authority;
      path = RemoveDotSegments(r.path);
      has_query = r.has_query;
      query = r.query;
    } else {
      has_authority = base.has_authority;
      authority = base.authority;
      if (r.path.empty()) {
        path = std::string(base.path);
        has_query = r.has_query || base.has_query;
        query = r.has_query ? r.query : base.query;
      } else {
        path = r.path.front() == '/' ? std::string(r.path) : Merge(base, r.path);
        // Most paths hold no dot segment; they are kept without a copy.
        if (path.front() == '.' || path.find("/.") != std::string::npos) {
          path = RemoveDotSegments(path);
        }
        has_query = r.has_query;
        query = r.query;
      }
    }
  }

  // Section 5.3.
  std::string target;
  target.reserve(baseText.size() + reference.size());
  if (r.has_scheme || base.has_scheme) {
    target += scheme;
    target += ':';
  }
  if (has_authority) {
    target += "//";
    target += authority;
  }
  target += path;
  if (has_query) {
    target += '?';
    target += query;
  }
  if (r.has_fragment) {
    target += '#';
    target += r.fragment;
  }
  return target;
}

}  // namespace movrek
