#include "text/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace movrek {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} * 1024 * 1024;

}  // namespace

void AdviseHugePages(void* data, std::size_t size) {
  char* const begin = static_cast<char*>(data);
  const std::size_t lead =
      (kHugePage - reinterpret_cast<std::uintptr_t>(begin) % kHugePage) % kHugePage;
  if (size <= lead) {
    return;
  }
  const std::size_t whole = (size - lead) / kHugePage * kHugePage;
  if (whole > 0) {
    ::madvise(begin + lead, whole, MADV_HUGEPAGE);  // advice only
  }
}

}  // namespace movrek
