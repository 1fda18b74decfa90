#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "text/text_lines.h"

namespace movrek {

// Reading saved files. Both the HTML document and the engine's text list
// split them into lines by the rules of text_lines.h.

// A file open for reading, closed when the object goes. Every failure throws
// EFileOpenError with the file name and the system's reason.
class TReadableFile {
 public:
  explicit TReadableFile(const std::string& fileName);
  TReadableFile(const TReadableFile&) = delete;
  TReadableFile& operator=(const TReadableFile&) = delete;
  ~TReadableFile();

  // The size of a regular file; 0 for anything else.
  [[nodiscard]] std::size_t SizeHint() const;
  // Reads up to size bytes; 0 at the end of the file.
  std::size_t Read(char* data, std::size_t size);

 private:
  std::string file_name_;
  int fd_ = -1;
};

// Writes every byte to the open file, again after an interrupted or partial
// write; 0 when all arrived, else the errno of the write that failed.
int WriteAll(int fd, std::string_view bytes);

// Every byte of the file. Throws EFileOpenError with the file name and the
// system's reason when the file cannot be opened or read.
std::string ReadFileBytes(const std::string& fileName);

// How many times the byte occurs in the text.
std::size_t CountByte(std::string_view text, char byte);

// The size of the text once every line end is CR LF
// and a last line without an end has one.
std::size_t CrLfTextSize(std::string_view text);
// Converts the size bytes at data in place to that form, converted_size =
// CrLfTextSize of them; the memory must hold converted_size bytes.
void ExpandLineEnds(char* data, std::size_t size, std::size_t convertedSize);

// Turns file bytes in place into the text that joining its lines, each
// followed by CR LF, gives (the document text of FromFile): every line end made CR LF,
// and CR LF added after a last line that has none.
void NormalizeLineEnds(std::string& bytes);

}  // namespace movrek
