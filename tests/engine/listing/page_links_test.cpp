// A page's links gathered as its body arrives make the block that ListLinks
// makes of the saved page, however the body is cut and whenever the links
// found are resolved.
#include "engine/listing/page_links.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/listing/base_detection.h"
#include "engine/listing/link_listing.h"
#include "engine/listing/listing_sink.h"
#include "html/page_text.h"
#include "tests/engine/listing/recording_sink.h"
#include "tests/helpers/peers.h"

namespace movrek {
namespace {

using movrek::testing::TRecordingSink;

// Pages made of the pieces that steer the scan, the base and the decoding.
std::string RandomPage(std::mt19937& random) {
  static const std::vector<std::string> kPieces = {
      "<a href=",
      "<A HREF='",
      "<a\\thref=\"",
      "<base href=",
      "<BASE HREF=\"",
      "BASE HREF=",
      "x.html",
      "../up/",
      "?q=\xE9",
      "&amp;",
      "&eacute;",
      "#f",
      "\"",
      "'",
      ">",
      "<",
      " ",
      "\r",
      "\n",
      "\r\n",
      std::string(1, '\0'),
      "<script>",
      "</script>",
      "<!--",
      "-->",
      "http://o/d/",
      "data:x",
      "<p>text</p>",
      "\xD0\xB6",
  };
  std::uniform_int_distribution<std::size_t> pick(0, kPieces.size() - 1);
  std::string page;
  for (int i = 2 + static_cast<int>(random() % 120); i > 0; --i) page += kPieces[pick(random)];
  return page;
}

TEST(PageLinks, StreamedBlockEqualsTheBlockOfTheSavedPage) {
  movrek::test::TempDir dir;
  std::mt19937 random(20261208);
  const std::vector<std::string> types = {"", "text/html; charset=windows-1251",
                                          "text/html; charset=utf-16le"};
  for (int round = 0; round < 400; ++round) {
    std::string page = RandomPage(random);
    if (round % 5 == 0) page.insert(0, std::string(1100, ' '));  // the sniffed bytes end first
    const std::string type = types[round % types.size()];
    const std::string file = dir.Write("page.xtr", page);
    const std::string final_address = "http://h/dir/page.html";
    TRecordingSink saved_window;
    TRecordingSink& saved = saved_window;
    TPageText text = ReadPageText(file, type);
    const std::string base = ChooseBaseOfText(text.Text.View(), final_address);
    ListLinks(saved, std::move(text), base, "http://h/", final_address);

    // Asked for at another address than the final one every other round,
    // as when the body that was fed is not the one listed after all.
    const std::string requested = round % 2 ? final_address : "http://other/";
    for (const std::size_t piece : {page.size() + 1, std::size_t{1}, 1 + round % 300ul}) {
      TRecordingSink streamed_window;
      TRecordingSink& streamed = streamed_window;
      // A small bound makes some pages give up gathering on the way.
      TPageLinks links(round % 4 == 0 ? 600 : std::int64_t{64} << 20);
      links.Restart(type, requested);
      for (std::size_t at = 0; at < page.size(); at += piece) {
        links.Feed(std::string_view(page).substr(at, piece));
        if (piece % 2) links.ResolveFound();
      }
      // The file is wanted only by a page that gave up gathering.
      int asked = 0;
      links.List(
          streamed,
          [&] {
            ++asked;
            return file;
          },
          "http://h/", final_address);
      ASSERT_EQ(streamed_window.ResultLines, saved_window.ResultLines)
          << "pieces of " << piece << ", type '" << type << "', page: " << page;
      EXPECT_LE(asked, round % 4 == 0 ? 1 : 0);
    }
  }
}

// Records each link with its anchor's text and rel.
class TTextRecorder : public TListingSink {
 public:
  void BeginBlock(const std::string& /*page*/, const std::string& /*base*/) override {}
  void AppendLink(TListedLink link) override {
    records.push_back(link.Line + '|' + link.Text + '|' + link.Rel);
  }
  std::vector<std::string> records;
};

TEST(PageLinks, StreamedTextEqualsTheTextOfTheSavedPage) {
  movrek::test::TempDir dir;
  std::mt19937 random(20261209);
  const std::vector<std::string> kTextPieces = {
      "</a>", " <img alt='p&amp;q'> ", "<a rel=nofollow href=z>", "word ", "\xC3\xA9", "&lt;"};
  for (int round = 0; round < 200; ++round) {
    std::string page;
    for (int i = 0; i < 6; ++i) {
      page += RandomPage(random) + kTextPieces[random() % kTextPieces.size()];
    }
    const std::string type = round % 3 ? "text/html" : "text/html; charset=utf-16le";
    const std::string file = dir.Write("page.xtr", page);
    TTextRecorder saved;
    ListSavedPage(saved, file, type, "http://h/", "http://h/p", true);
    for (const std::size_t piece : {page.size() + 1, std::size_t{1}, 1 + round % 70ul}) {
      TTextRecorder streamed;
      TPageLinks links(round % 4 == 0 ? 600 : std::int64_t{64} << 20, true);
      links.Restart(type, "http://h/p");
      for (std::size_t at = 0; at < page.size(); at += piece) {
        links.Feed(std::string_view(page).substr(at, piece));
        if (piece % 2) links.ResolveFound();
      }
      links.List(streamed, file, "http://h/", "http://h/p");
      ASSERT_EQ(streamed.records, saved.records) << "pieces of " << piece << ", page: " << page;
    }
  }
}

}  // namespace
// Pages in transfer at once share one budget for their links: past its own
// floor a page gathers on while the others leave room, and is listed from
// its file when they do not; what it held is given back when it is done.
TEST(PageLinks, PagesInTransferShareOneBudget) {
  movrek::test::TempDir dir;
  std::string page;
  for (int i = 0; i < 200; ++i) page += "<a href=\"/link" + std::to_string(i) + "\">x</a>";
  const std::string file = dir.Write("page.html", page);
  const std::int64_t total = std::int64_t{1} << 20;
  struct Case {
    std::int64_t held_by_others;
    int file_reads;
  };
  for (const Case c : {Case{0, 0}, Case{total - 4000, 1}}) {
    const auto budget = std::make_shared<TLinkMemoryBudget>(total);
    ASSERT_TRUE(budget->Take(0, c.held_by_others, 0));
    {
      TPageLinks links(4000, false, budget);  // the floor holds about thirty links
      links.Restart("text/html", "http://h/");
      links.Feed(page);
      TRecordingSink sink;
      int asked = 0;
      links.List(
          sink,
          [&] {
            ++asked;
            return file;
          },
          "http://h/", "http://h/");
      EXPECT_EQ(asked, c.file_reads) << c.held_by_others;
      EXPECT_EQ(sink.ResultLines.size(), 204U);
    }
    EXPECT_TRUE(budget->Take(0, total - c.held_by_others, 0)) << "the page gave back its part";
  }
}

}  // namespace movrek
