// Line operations on the window's lists. The lists follow the engine's
// text-list rules: an empty text has no lines, and a final line end does not
// make an extra empty line. Texts are UTF-8 bytes, the lists' own form.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace movrek::app {

class TMemo;
class TMemoDocument;

// The 8-bit lines of the engine shown as text, and back. Both sides are
// UTF-8; bytes that are not valid UTF-8 show as U+FFFD.
QString FromBytes(const std::string& bytes);
std::string ToBytes(const QString& text);

// The lines joined by LF, without a final LF, as a list shows them.
std::string JoinLf(const std::vector<std::string>& lines);
std::string JoinLf(std::vector<std::string>::const_iterator first,
                   std::vector<std::string>::const_iterator last);

// The lines joined by LF into the document, a piece at a time, so no second
// copy of a large list is made.
void AddJoinedLines(TMemoDocument& document, const std::vector<std::string>& lines);

// The lines of a list's text, split at CR, LF or CR LF.
std::vector<std::string> EditLines(const TMemo& edit);

// The text without the lines whose first character is `mark`, in one pass;
// empty lines and lines that merely contain the mark further on stay.
// Returns false (and leaves `text` alone) when no line starts with the mark.
bool RemoveLinesStartingWith(std::string& text, char mark);

// Lines first..last of the generator: the template with every "$i" replaced
// by the number, joined by LF. Empty when last < first. 64-bit bounds, so
// the whole 32-bit range of both fields is counted without overflow.
std::string GeneratedLines(std::string_view lineTemplate, std::int64_t first, std::int64_t last);

// Writes the text as lines each followed by CR LF, as the engine's text list
// saves: through a new file in the same folder that replaces `file_name` only
// once fully written. Throws EFileSaveError (the file, the step that failed
// and the reason) on failure; an earlier file is then left as it was.
void SaveTextAsLines(std::string_view text, const std::string& fileName);

}  // namespace movrek::app
