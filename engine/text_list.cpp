#include "engine/text_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

void TTextList::LoadFromFile(const std::string& file_name) {
  SetText(ReadFileBytes(file_name));
}

void TTextList::SaveToFile(const std::string& file_name) const {
  WriteTextFile(file_name, Text());
}

void WriteTextFile(const std::string& file_name, const std::string& text) {
  int fd;
  do {
    fd = ::open(file_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    throw EFileOpenError(file_name, std::strerror(errno));
  }
  std::size_t done = 0;
  int failure = 0;
  while (done < text.size()) {
    const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put < 0) {
      if (errno == EINTR) {
        continue;
      }
      failure = errno;
      break;
    }
    done += static_cast<std::size_t>(put);
  }
  // A full disk may only show when the data is flushed at close.
  if (::close(fd) != 0 && failure == 0) {
    failure = errno;
  }
  if (failure != 0) {
    throw EFileOpenError(file_name, std::strerror(failure));
  }
}

}  // namespace movrek
