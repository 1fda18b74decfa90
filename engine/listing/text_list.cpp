#include "engine/listing/text_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/listing/listing_limits.h"
#include "html/text_file.h"

namespace movrek {

void TTextList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) {
    throw EListError(index);
  }
}

const std::string& TTextList::Strings(int index) const {
  CheckIndex(index);
  return lines_[static_cast<std::size_t>(index)];
}

void TTextList::SetStrings(int index, std::string line) {
  CheckIndex(index);
  lines_[static_cast<std::size_t>(index)] = std::move(line);
}

void TTextList::Delete(int index) {
  CheckIndex(index);
  lines_.erase(lines_.begin() + index);
}

void TTextList::Insert(int index, std::string line) {
  if (index < 0 || index > Count()) {
    throw EListError(index);
  }
  lines_.insert(lines_.begin() + index, std::move(line));
}

std::string TTextList::Text() const {
  return JoinLines(lines_);
}

void TTextList::SetText(std::string_view text) {
  std::vector<std::string> lines;
  ForEachLine(TextBeforeNul(text), [&lines](std::string_view line) {
    lines.emplace_back(line);
    return true;
  });
  lines_ = std::move(lines);
}

bool HasLineShorterThan(std::string_view text, std::size_t bytes) {
  bool found = false;
  ForEachLine(TextBeforeNul(text), [&found, bytes](std::string_view line) {
    found = line.size() < bytes;
    return !found;
  });
  return found;
}

void TTextList::LoadFromFile(const std::string& fileName) {
  SetText(ReadFileBytes(fileName));
}

namespace {

// The target's own path when it is a symbolic link: the link stays and the
// file it names is replaced, as writing through the link would have done.
std::string ResolvedTarget(const std::string& fileName) {
  struct stat info {};
  if (::lstat(fileName.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
    return fileName;
  }
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(fileName.c_str(), nullptr),
                                                             &std::free);
  if (resolved == nullptr) {
    return fileName;
  }
  return resolved.get();
}

// A new file beside `target`, created exclusively; its name goes to `temp`.
int CreateBeside(const std::string& target, std::string& temp) {
  const std::size_t slash = target.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = target.substr(folder.size());
  int fd = -1;
  for (int attempt = 0; attempt < kMaxSaveNameAttempts; ++attempt) {
    temp = folder;
    temp.append(".").append(name).append(".").append(std::to_string(::getpid()));
    temp.append("-").append(std::to_string(attempt)).append(".tmp");
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || (errno != EEXIST && errno != EINTR)) {
      break;
    }
  }
  return fd;
}

}  // namespace

void TTextList::SaveToFile(const std::string& fileName) const {
  WriteTextFile(fileName, Text());
}

void WriteTextFile(const std::string& fileName, const std::string& text) {
  // The bytes go into a new file in the same folder, which is renamed over
  // the target only once it is complete: a full disk or any other failure
  // leaves the earlier file as it was, never a truncated part of the new one.
  const std::string target = ResolvedTarget(fileName);
  // Renaming would replace even a file its owner made read-only; writing it
  // in place would not have.
  if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) {
    throw EFileSaveError(fileName, "opening it for writing", std::strerror(errno));
  }
  std::string temp;
  const int fd = CreateBeside(target, temp);
  if (fd < 0) {
    throw EFileSaveError(fileName, "creating a new file beside it", std::strerror(errno));
  }
  // A file replaced keeps the permissions its owner gave it.
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) {
    ::fchmod(fd, old.st_mode & 07777);
  }

  int failure = WriteAll(fd, text);
  const char* step = "writing";
  // A full disk may only show when the data reaches it.
  if (failure == 0 && ::fsync(fd) != 0) {
    failure = errno;
  }
  if (::close(fd) != 0 && failure == 0 && errno != EINTR) {
    failure = errno;
  }
  if (failure == 0 && ::rename(temp.c_str(), target.c_str()) != 0) {
    failure = errno;
    step = "replacing it";
  }
  if (failure != 0) {
    ::unlink(temp.c_str());
    throw EFileSaveError(fileName, step, std::strerror(failure));
  }
}

}  // namespace movrek
