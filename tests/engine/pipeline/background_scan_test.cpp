// A large body is scanned beside its transfer and still lists the block of
// the saved page: after a restart, with its base at the end, and a scan left
// unfinished ends without a hang.
#include "engine/pipeline/background_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/listing/base_detection.h"
#include "engine/listing/link_listing.h"
#include "engine/listing/page_links.h"
#include "engine/pipeline/pipeline_limits.h"
#include "tests/engine/listing/recording_sink.h"
#include "tests/helpers/peers.h"

namespace movrek {
namespace {

using movrek::testing::TRecordingSink;

void FeedInPieces(TBackgroundScan& scan, const std::string& body) {
  constexpr std::size_t kPiece = 64 * 1024;
  for (std::size_t at = 0; at < body.size(); at += kPiece) {
    scan.Feed(std::string_view(body).substr(at, kPiece));
  }
}

TEST(BackgroundScan, LargeBodyListsTheBlockOfTheSavedPage) {
  std::string page;
  for (int i = 0; static_cast<std::int64_t>(page.size()) < 3 * kScanBesideFromBytes; ++i) {
    page += "<p>row " + std::to_string(i) + "</p><a href=\"item/" + std::to_string(i) +
            "?a=1&amp;b=2\">x</a>\n";
  }
  // Found last, it is the base of every link above it.
  page += "<base href=\"http://mirror.example/root/\">";
  movrek::test::TempDir dir;
  const std::string file = dir.Write("page.xtr", page);
  const std::string address = "http://h/dir/page.html";
  TRecordingSink saved_window;
  TRecordingSink& saved = saved_window;
  ListLinks(saved, file, ChooseBase(file, address), address, {address, "text/html"});

  TPageLinks links(kGatheredLinkBytes);
  {
    TBackgroundScan scan(links);
    scan.Restart("text/html", "http://other/");
    FeedInPieces(scan, std::string(2 * kScanBesideFromBytes, '<'));
    scan.Restart("text/html", address);
    FeedInPieces(scan, page);
    scan.Finish();
  }
  TRecordingSink streamed_window;
  TRecordingSink& streamed = streamed_window;
  links.List(streamed, file, address, address);
  EXPECT_EQ(streamed_window.ResultLines, saved_window.ResultLines);
  EXPECT_GT(saved_window.ResultLines.size(), 20000u);

  TPageLinks abandoned(kGatheredLinkBytes);
  TBackgroundScan scan(abandoned);
  scan.Restart("text/html", address);
  FeedInPieces(scan, page);
}

}  // namespace
}  // namespace movrek
