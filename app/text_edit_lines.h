// Line operations on the window's plain-text lists. The lists follow the
// engine's text-list rules: an empty text has no lines, and a final line end
// does not make an extra empty line.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

class QPlainTextEdit;

namespace movrek::app {

// The 8-bit lines of the engine shown as text, and back. Both sides are
// UTF-8; bytes that are not valid UTF-8 show as U+FFFD.
QString FromBytes(const std::string& bytes);
std::string ToBytes(const QString& text);

// The lines joined by LF, without a final LF, as an edit shows them.
QString JoinLines(const std::vector<std::string>& lines);
QString JoinLines(std::vector<std::string>::const_iterator first,
                  std::vector<std::string>::const_iterator last);

// The lines of an edit's text, split at CR, LF or CR LF.
std::vector<std::string> EditLines(const QPlainTextEdit& edit);

// Appends `joined` (lines separated by LF, no final LF) after the last line
// of the edit as one edit step. The view follows the end only when it was
// showing the end, so a user reading further up is not pulled away.
void AppendLines(QPlainTextEdit& edit, const QString& joined);

// Replaces the whole text as one undoable edit step.
void ReplaceText(QPlainTextEdit& edit, const QString& text);

// The text without the lines whose first character is `mark`; empty lines
// and lines that merely contain the mark further on stay. Returns false (and
// leaves `text` alone) when no line starts with the mark.
bool RemoveLinesStartingWith(QString& text, QChar mark);

// Lines first..last of the generator: the template with every "$i" replaced
// by the number, joined by LF. Empty when last < first. 64-bit bounds, so
// the whole 32-bit range of both fields is counted without overflow.
QString GeneratedLines(const QString& lineTemplate, std::int64_t first, std::int64_t last);

// Writes the text as lines each followed by CR LF, as the engine's text list
// saves: through a new file in the same folder that replaces `file_name` only
// once fully written. Throws EFileSaveError (the file, the step that failed
// and the reason) on failure; an earlier file is then left as it was.
void SaveTextAsLines(const QString& text, const QString& fileName);

}  // namespace movrek::app
