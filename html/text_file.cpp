#include "html/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "html/html_errors.h"
#include "html/html_limits.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace movrek {

TReadableFile::TReadableFile(const std::string& fileName) : file_name_(fileName) {
  do {
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) {
    throw EFileOpenError(fileName, std::strerror(errno));
  }
}

TReadableFile::~TReadableFile() {
  ::close(fd_);
}

std::size_t TReadableFile::SizeHint() const {
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    return static_cast<std::size_t>(info.st_size);
  }
  return 0;
}

std::size_t TReadableFile::Read(char* data, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(fd_, data, size);
    if (got >= 0) {
      return static_cast<std::size_t>(got);
    }
    if (errno != EINTR) {
      throw EFileOpenError(file_name_, std::strerror(errno));
    }
  }
}

int WriteAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    done += static_cast<std::size_t>(put);
  }
  return 0;
}

std::string ReadFileBytes(const std::string& fileName) {
  TReadableFile file(fileName);
  std::string bytes(file.SizeHint(), '\0');
  std::size_t used = 0;
  for (;;) {
    // Regular files come in one read of the size fstat gave; anything else
    // (a pipe, a file that grew meanwhile) grows the buffer as it arrives.
    if (used == bytes.size()) {
      bytes.resize(bytes.empty() ? kUnknownSizeReadBlockBytes : bytes.size() * 2);
    }
    const std::size_t got = file.Read(bytes.data() + used, bytes.size() - used);
    if (got == 0) {
      break;
    }
    used += got;
  }
  bytes.resize(used);
  return bytes;
}

std::size_t CountByte(std::string_view text, char byte) {
  std::size_t count = 0;
  const char* p = text.data();
  const char* const end = p + text.size();
#if defined(__SSE2__)
  // Matches are counted per byte lane (a match is -1, subtracted) and the
  // lanes summed before any can overflow.
  const __m128i vb = _mm_set1_epi8(byte);
  while (end - p >= 16) {
    __m128i lanes = _mm_setzero_si128();
    for (int block = 0; block < 255 && end - p >= 16; ++block, p += 16) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(chunk, vb));
    }
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; p < end; ++p) {
    count += *p == byte;
  }
  return count;
}

std::size_t CrLfTextSize(std::string_view text) {
  const std::size_t n = text.size();
  if (n == 0) {
    return 0;
  }
  // Each lone CR or lone LF grows by one: that is every CR and every LF,
  // less the two of each CR LF pair. A last line without an end gets two.
  std::size_t cr = 0;
  std::size_t lf = 0;
  std::size_t pairs = 0;
  const char* const data = text.data();
  std::size_t i = 1;
#if defined(__SSE2__)
  // Per byte lane counts (a match is -1, subtracted), summed before any lane
  // can overflow; a pair is an LF whose previous byte is a CR.
  const __m128i vcr = _mm_set1_epi8('\r');
  const __m128i vlf = _mm_set1_epi8('\n');
  while (n - i >= 16) {
    __m128i cr_lanes = _mm_setzero_si128();
    __m128i lf_lanes = _mm_setzero_si128();
    __m128i pair_lanes = _mm_setzero_si128();
    for (int block = 0; block < 255 && n - i >= 16; ++block, i += 16) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i - 1));
      const __m128i is_lf = _mm_cmpeq_epi8(chunk, vlf);
      cr_lanes = _mm_sub_epi8(cr_lanes, _mm_cmpeq_epi8(chunk, vcr));
      lf_lanes = _mm_sub_epi8(lf_lanes, is_lf);
      pair_lanes = _mm_sub_epi8(pair_lanes, _mm_and_si128(is_lf, _mm_cmpeq_epi8(before, vcr)));
    }
    const auto sum = [](__m128i lanes) {
      const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
      return static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
    };
    cr += sum(cr_lanes);
    lf += sum(lf_lanes);
    pairs += sum(pair_lanes);
  }
#endif
  for (; i < n; ++i) {
    cr += data[i] == '\r';
    lf += data[i] == '\n';
    pairs += data[i] == '\n' && data[i - 1] == '\r';
  }
  cr += data[0] == '\r';
  lf += data[0] == '\n';
  std::size_t extra = cr + lf - 2 * pairs;
  if (text[n - 1] != '\r' && text[n - 1] != '\n') {
    extra += 2;
  }
  return n + extra;
}

void ExpandLineEnds(char* s, std::size_t n, std::size_t convertedSize) {
  // From the end backwards, so that the text grows in place and a large page
  // never exists twice in memory.
  std::size_t w = convertedSize;  // everything at or after w is final
  std::size_t r = n;              // everything before r is still unread
  if (n > 0 && s[n - 1] != '\r' && s[n - 1] != '\n' && w >= r + 2) {
    s[--w] = '\n';
    s[--w] = '\r';
  }
  while (w > r) {
    const char* hit = FindLastOf2(s, s + r, '\r', '\n');
    if (hit == nullptr) {
      break;  // cannot happen: w > r means a lone end remains
    }
    const auto pos = static_cast<std::size_t>(hit - s);
    const std::size_t segment = r - pos - 1;
    std::memmove(s + w - segment, s + pos + 1, segment);
    w -= segment;
    // Read the line end before writing over it.
    r = (s[pos] == '\n' && pos > 0 && s[pos - 1] == '\r') ? pos - 1 : pos;
    s[--w] = '\n';
    s[--w] = '\r';
  }
}

void NormalizeLineEnds(std::string& bytes) {
  const std::size_t n = bytes.size();
  const std::size_t converted = CrLfTextSize(bytes);
  if (converted == n) {
    return;
  }
  bytes.resize(converted);
  ExpandLineEnds(bytes.data(), n, converted);
}

}  // namespace movrek
