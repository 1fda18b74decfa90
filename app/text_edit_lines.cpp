#include "app/text_edit_lines.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "engine/text_list.h"

namespace movrek::app {

QString FromBytes(const std::string& bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return {utf8.constData(), static_cast<std::size_t>(utf8.size())};
}

QString JoinLines(const std::vector<std::string>& lines) {
  return JoinLines(lines.begin(), lines.end());
}

QString JoinLines(std::vector<std::string>::const_iterator first,
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
  return FromBytes(joined);
}

std::vector<std::string> EditLines(const QPlainTextEdit& edit) {
  TTextList list;
  list.SetText(ToBytes(edit.toPlainText()));
  return list.Lines();
}

void AppendLines(QPlainTextEdit& edit, const QString& joined) {
  QScrollBar* bar = edit.verticalScrollBar();
  const bool following = bar->value() == bar->maximum();
  QTextCursor cursor(edit.document());
  cursor.movePosition(QTextCursor::End);
  // The last block is empty when the text is empty or ends with a line end;
  // the new lines start there instead of after an extra empty line.
  if (cursor.block().length() > 1) {
    cursor.insertText(QStringLiteral("\n") + joined);
  } else {
    cursor.insertText(joined);
  }
  if (following) {
    bar->setValue(bar->maximum());
  }
}

void ReplaceText(QPlainTextEdit& edit, const QString& text) {
  QTextCursor cursor(edit.document());
  cursor.select(QTextCursor::Document);
  cursor.insertText(text);
}

bool RemoveLinesStartingWith(QString& text, QChar mark) {
  // One pass over the text and one replacement: deleting line by line from
  // the end costs a document edit per line, which is quadratic in practice.
  bool removed = false;
  QString kept;
  kept.reserve(text.size());
  qsizetype start = 0;
  while (start <= text.size()) {
    qsizetype end = text.indexOf(QLatin1Char('\n'), start);
    const bool last = end < 0;
    if (last) {
      end = text.size();
    }
    if (end > start && text.at(start) == mark) {
      removed = true;
    } else {
      kept.append(QStringView(text).mid(start, end - start));
      if (!last) {
        kept.append(QLatin1Char('\n'));
      }
    }
    if (last) {
      break;
    }
    start = end + 1;
  }
  if (!removed) {
    return false;
  }
  // A removed last line leaves the line end of the kept line before it.
  if (!text.endsWith(QLatin1Char('\n')) && kept.endsWith(QLatin1Char('\n'))) {
    kept.chop(1);
  }
  text = std::move(kept);
  return true;
}

QString GeneratedLines(const QString& lineTemplate, std::int64_t first, std::int64_t last) {
  QString lines;
  if (last < first) {
    return lines;
  }
  const QStringList parts = lineTemplate.split(QStringLiteral("$i"));
  for (std::int64_t i = first;; ++i) {
    const QString number = QString::number(i);
    for (qsizetype p = 0; p < parts.size(); ++p) {
      if (p > 0) {
        lines += number;
      }
      lines += parts[p];
    }
    if (i == last) {
      break;
    }
    lines += QLatin1Char('\n');
  }
  return lines;
}

void SaveTextAsLines(const QString& text, const QString& fileName) {
  TTextList list;
  list.SetText(ToBytes(text));
  list.SaveToFile(ToBytes(fileName));
}

}  // namespace movrek::app
