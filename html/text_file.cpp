#include "html/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "html/html_errors.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace movrek {

namespace {

// Closes the descriptor on every way out of ReadFileBytes.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

#if defined(__SSE2__)
// Bit i set when byte i of the 16 at p equals a or b.
inline unsigned MatchMask16(const char* p, __m128i va, __m128i vb) {
  const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, va), _mm_cmpeq_epi8(chunk, vb))));
}
#endif

}  // namespace

std::string ReadFileBytes(const std::string& file_name) {
  int fd;
  do {
    fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EFileOpenError(file_name, std::strerror(errno));
  FileDescriptor file(fd);

  struct stat info {};
  std::string bytes;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
    bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t used = 0;
  for (;;) {
    // Regular files come in one read of the size fstat gave; anything else
    // (a pipe, a file that grew meanwhile) grows the buffer as it arrives.
    if (used == bytes.size()) bytes.resize(bytes.empty() ? 64 * 1024 : bytes.size() * 2);
    const ssize_t got = ::read(fd, bytes.data() + used, bytes.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw EFileOpenError(file_name, std::strerror(errno));
    }
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  bytes.resize(used);
  return bytes;
}

std::string_view TextBeforeNul(std::string_view bytes) {
  const void* nul = std::memchr(bytes.data(), '\0', bytes.size());
  if (nul == nullptr) return bytes;
  return bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()));
}

const char* FindFirstOf2(const char* begin, const char* end, char a, char b) {
  const char* p = begin;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  while (end - p >= 16) {
    const unsigned mask = MatchMask16(p, va, vb);
    if (mask != 0) return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  for (; p < end; ++p)
    if (*p == a || *p == b) return p;
  return end;
}

const char* FindLastOf2(const char* begin, const char* end, char a, char b) {
  const char* p = end;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  while (p - begin >= 16) {
    const unsigned mask = MatchMask16(p - 16, va, vb);
    if (mask != 0) return p - 16 + (31 - __builtin_clz(mask));
    p -= 16;
  }
#endif
  while (p > begin) {
    --p;
    if (*p == a || *p == b) return p;
  }
  return nullptr;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const auto& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void NormalizeLineEnds(std::string& bytes) {
  bytes.resize(TextBeforeNul(bytes).size());
  const std::size_t n = bytes.size();
  if (n == 0) return;

  // First pass: how many bytes the CR LF form needs. Each lone CR or lone LF
  // grows by one, and a last line without an end gets two.
  std::size_t extra = 0;
  const char* data = bytes.data();
  const char* end = data + n;
  for (const char* p = FindFirstOf2(data, end, '\r', '\n'); p != end;
       p = FindFirstOf2(p, end, '\r', '\n')) {
    if (*p == '\r' && p + 1 < end && p[1] == '\n') {
      p += 2;
    } else {
      ++extra;
      ++p;
    }
  }
  const bool open_last_line = bytes[n - 1] != '\r' && bytes[n - 1] != '\n';
  if (open_last_line) extra += 2;
  if (extra == 0) return;

  // Second pass, from the end backwards, so that the text grows in place and
  // a large page never exists twice in memory.
  bytes.resize(n + extra);
  char* s = bytes.data();
  std::size_t w = n + extra;  // everything at or after w is final
  std::size_t r = n;          // everything before r is still unread
  if (open_last_line) {
    s[--w] = '\n';
    s[--w] = '\r';
  }
  while (w != r) {
    const char* hit = FindLastOf2(s, s + r, '\r', '\n');
    if (hit == nullptr) break;  // cannot happen: w != r means a lone end remains
    const std::size_t pos = static_cast<std::size_t>(hit - s);
    const std::size_t segment = r - pos - 1;
    std::memmove(s + w - segment, s + pos + 1, segment);
    w -= segment;
    if (s[pos] == '\n' && pos > 0 && s[pos - 1] == '\r') {
      s[--w] = '\n';
      s[--w] = '\r';
      r = pos - 1;
    } else {
      s[--w] = '\n';
      s[--w] = '\r';
      r = pos;
    }
  }
}

}  // namespace movrek
