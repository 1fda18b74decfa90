// The temporary files of one URL: "<dir>/uisXXXXXX.tmp" (the name file) and
// the same name with ".xtr" (the page file).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace movrek {

inline constexpr char kTempPrefix[] = "uis";
inline constexpr char kNameFileExtension[] = ".tmp";
inline constexpr char kPageFileExtension[] = ".xtr";

// A temporary or page file could not be made, written or read. Ends the job
// early; the window is told the text.
class EPageFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Removes the page file and its name file; files already gone are no error.
void RemoveTempFiles(const std::string& pageFile);

// The directory for temporary files, ending with "/": TMPDIR when it is set,
// absolute and short enough, otherwise "/tmp/".
std::string TempDirectory();

// A new unique path "<TempDirectory()>uisXXXXXX<extension>". The name file
// (".tmp") is created empty and exclusively with mode 0600; the path
// returned is reserved the same way, so no other process can have placed a
// file or a link there. Throws EPageFileError when no name can be had.
std::string MakeTempFileName(const std::string& extension);

// Writes the whole body into the reserved page file; throws EPageFileError
// with the system's reason when it cannot.
void SavePage(const std::string& path, const std::string& body);

}  // namespace movrek
