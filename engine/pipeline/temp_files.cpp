#include "engine/pipeline/temp_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "engine/pipeline/pipeline_limits.h"
#include "html/text_file.h"

namespace movrek {
namespace {

std::string SystemReason(int errorNumber) {
  return std::strerror(errorNumber);
}

void RemoveFile(const std::string& path) {
  // A file that is already gone is no error.
  ::unlink(path.c_str());
}

}  // namespace

void RemoveTempFiles(const std::string& pageFile) {
  RemoveFile(pageFile);
  RemoveFile(pageFile.substr(0, pageFile.size() - std::strlen(kPageFileExtension)) +
             kNameFileExtension);
}

std::string TempDirectory() {
  const char* env = std::getenv("TMPDIR");
  std::string dir = env != nullptr ? env : "";
  if (dir.empty() || dir[0] != '/' || dir.size() > kMaxTempDirectoryBytes) {
    dir = "/tmp";
  }
  if (dir.back() != '/') {
    dir += '/';
  }
  return dir;
}

std::string MakeTempFileName(const std::string& extension) {
  const std::string dir = TempDirectory();
  const std::size_t suffix = std::strlen(kNameFileExtension);
  int last_error = 0;
  for (int attempt = 0; attempt < kMaxTempNameAttempts; ++attempt) {
    std::string name_file = dir + kTempPrefix + "XXXXXX" + kNameFileExtension;
    // mkstemps creates the file exclusively, with mode 0600.
    const int fd = ::mkstemps(name_file.data(), static_cast<int>(suffix));
    if (fd < 0) {
      last_error = errno;
      if (last_error == EEXIST || last_error == EINTR) {
        continue;
      }
      break;
    }
    ::close(fd);
    std::string path = name_file.substr(0, name_file.size() - suffix) + extension;
    if (path == name_file) {
      return path;
    }
    // The other name must be ours too: a file or a symbolic link someone put
    // there would otherwise receive the page.
    const int page = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            S_IRUSR | S_IWUSR);
    if (page >= 0) {
      ::close(page);
      return path;
    }
    last_error = errno;
    RemoveFile(name_file);
    if (last_error != EEXIST) {
      break;
    }
  }
  throw EPageFileError("Cannot create a temporary file in " + dir + ": " +
                       SystemReason(last_error != 0 ? last_error : EEXIST));
}

void SavePage(const std::string& path, const std::string& body) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    throw EPageFileError("Cannot open the page file " + path + ": " + SystemReason(errno));
  }
  int failure = WriteAll(fd, body);
  if (::close(fd) != 0 && failure == 0 && errno != EINTR) {
    failure = errno;
  }
  if (failure != 0) {
    throw EPageFileError("Cannot write the page file " + path + ": " + SystemReason(failure));
  }
}

}  // namespace movrek
