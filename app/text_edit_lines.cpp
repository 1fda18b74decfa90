#include "app/text_edit_lines.h"

#include <cstring>
#include <stdexcept>

#include "app/app_limits.h"
#include "app/memo.h"
#include "engine/listing/text_list.h"

namespace movrek::app {

QString FromBytes(const std::string& bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return {utf8.constData(), static_cast<std::size_t>(utf8.size())};
}

std::string JoinLf(const std::vector<std::string>& lines) {
  return JoinLf(lines.begin(), lines.end());
}

std::string JoinLf(std::vector<std::string>::const_iterator first,
                   std::vector<std::string>::const_iterator last) {
  std::string joined;
  std::size_t size = 0;
  for (auto line = first; line != last; ++line) {
    size += line->size() + 1;
  }
  joined.reserve(size);
  for (auto line = first; line != last; ++line) {
    if (line != first) {
      joined += '\n';
    }
    joined += *line;
  }
  return joined;
}

void AddJoinedLines(TMemoDocument& document, const std::vector<std::string>& lines) {
  constexpr std::size_t kPieceBytes = std::size_t{1} << 20;
  std::string piece;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) {
      piece += '\n';
    }
    piece += lines[i];
    if (piece.size() >= kPieceBytes) {
      document.Add(piece);
      piece.clear();
    }
  }
  document.Add(piece);
}

std::vector<std::string> EditLines(const TMemo& edit) {
  TTextList list;
  list.SetText(edit.Bytes());
  return list.Lines();
}

bool RemoveLinesStartingWith(std::string& text, char mark) {
  // Kept lines move down in place: one pass and no second copy of a list
  // that may be a hundred megabytes.
  const bool ended = !text.empty() && text.back() == '\n';
  bool removed = false;
  std::size_t kept = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t found = text.find('\n', start);
    const std::size_t end = found == std::string::npos ? text.size() : found + 1;
    if (text[start] == mark) {
      removed = true;
    } else {
      if (kept != start) {
        std::memmove(text.data() + kept, text.data() + start, end - start);
      }
      kept += end - start;
    }
    start = end;
  }
  if (!removed) {
    return false;
  }
  // A removed last line leaves the line end of the kept line before it.
  if (!ended && kept > 0 && text[kept - 1] == '\n') {
    --kept;
  }
  text.resize(kept);
  return true;
}

std::string GeneratedLines(std::string_view lineTemplate, std::int64_t first, std::int64_t last) {
  std::string lines;
  if (last < first) {
    return lines;
  }
  std::vector<std::string_view> parts;
  for (std::size_t from = 0;;) {
    const std::size_t mark = lineTemplate.find("$i", from);
    parts.push_back(lineTemplate.substr(from, mark == std::string_view::npos ? mark : mark - from));
    if (mark == std::string_view::npos) {
      break;
    }
    from = mark + 2;
  }
  // Lines of the widest number: the size the text reaches at most.
  const std::uint64_t count = static_cast<std::uint64_t>(last - first) + 1;
  const std::uint64_t widest = lineTemplate.size() + (parts.size() - 1) * 11 + 1;
  if (count > kMaxGeneratedBytes / widest) {
    throw std::length_error("The range has too many lines to generate at once.");
  }
  lines.reserve(count * widest);
  for (std::int64_t i = first;; ++i) {
    const std::string number = std::to_string(i);
    for (std::size_t p = 0; p < parts.size(); ++p) {
      if (p > 0) {
        lines += number;
      }
      lines += parts[p];
    }
    if (i == last) {
      break;
    }
    lines += '\n';
  }
  return lines;
}

void SaveTextAsLines(std::string_view text, const std::string& fileName) {
  TTextList list;
  list.SetText(text);
  list.SaveToFile(fileName);
}

}  // namespace movrek::app
