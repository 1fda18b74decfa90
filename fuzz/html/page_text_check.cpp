#include "fuzz/html/page_text_check.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/listing/base_detection.h"
#include "engine/listing/link_listing.h"
#include "engine/listing/page_links.h"
#include "html/page_text.h"

namespace movrek::fuzzing {

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// Checks every link line as it comes; the filter stays off.
class CheckingSink : public TBlockLines {
 public:
  void AppendResultLine(std::string line) override {
    lines += line.size();
    all.push_back(std::move(line));
  }
  TFilterSettings ReadFilterSettings() override { return {}; }
  void AppendLink(TListedLink link) override {
    for (const char c : link.Line) {
      Require(static_cast<unsigned char>(c) < 0x80 && c != '\r' && c != '\n');
    }
    TBlockLines::AppendLink(std::move(link));
  }
  std::size_t lines = 0;
  std::vector<std::string> all;
};

std::string ScratchPath() {
  const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/movrek_page_fuzz_" + std::to_string(::getpid()) + ".htm";
}

}  // namespace

void CheckPageTextOnInput(std::string_view bytes) {
  static const std::string path = ScratchPath();
  const std::size_t split = bytes.find('\n');
  const std::string_view type = split == std::string_view::npos ? "" : bytes.substr(0, split);
  const std::string_view page = split == std::string_view::npos ? bytes : bytes.substr(split + 1);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
  }
  CheckingSink sink;
  const std::string address = "http://host/dir/page.html";
  ListLinks(sink, path, "http://host/dir/", address, {address, std::string(type)});
  // Scanned as it arrives, in pieces of a size the input chooses, the page
  // gives the block its saved file gives.
  CheckingSink saved;
  TPageText text = ReadPageText(path, type);
  const std::string base = ChooseBaseOfText(text.Text.View(), address);
  ListLinks(saved, std::move(text), base, address, address);
  CheckingSink streamed;
  // A bound the input chooses too: past it the page is listed from its file.
  TPageLinks links(page.size() % 3 == 0 ? 200 : std::int64_t{1} << 30);
  links.Restart(std::string(type), address);
  const std::size_t piece = 1 + page.size() % 97;
  for (std::size_t at = 0; at < page.size(); at += piece) {
    links.Feed(page.substr(at, piece));
    links.ResolveFound();
  }
  links.List(streamed, path, address, address);
  Require(streamed.all == saved.all);
  // A final address that is no URL leaves every href unresolved.
  ListLinks(sink, path, "abc/", "abc", {"abc", std::string(type)});
  // The replaying test runs once: nothing of it stays behind.
  std::remove(path.c_str());
}

}  // namespace movrek::fuzzing
