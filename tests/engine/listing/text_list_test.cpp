#include "engine/listing/text_list.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace movrek {
namespace {

using namespace std::string_literals;

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "movrek_text_list_" + name;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct SplitCase {
  std::string bytes;
  std::vector<std::string> lines;
};

TEST(TextList, LoadSplitsAtEveryKindOfLineEndAndStopsAtNul) {
  const std::vector<SplitCase> cases = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\nc", {"a", "b", "c"}},
      {"a\n\rb", {"a", "", "b"}},  // LF then CR is two line ends
      {"a\r\n\r\n", {"a", ""}},
      {"\r\n", {""}},
      {"\n\n", {"", ""}},
      {"a\r", {"a"}},
      {"ab\0cd\r\nef"s, {"ab"}},
      {"\0ab"s, {}},
      {"x\xff\x80 y\r\nz", {"x\xff\x80 y", "z"}},
  };
  const std::string path = TempPath("split");
  for (const auto& c : cases) {
    WriteBytes(path, c.bytes);
    TTextList list;
    list.Add("left over");
    list.LoadFromFile(path);
    EXPECT_EQ(list.Lines(), c.lines) << "bytes: " << c.bytes;
    for (const std::size_t least : {1, 2, 3}) {
      const bool short_line =
          std::any_of(c.lines.begin(), c.lines.end(),
                      [least](const std::string& l) { return l.size() < least; });
      EXPECT_EQ(HasLineShorterThan(c.bytes, least), short_line) << "bytes: " << c.bytes;
    }
  }
  std::remove(path.c_str());
}

TEST(TextList, SaveWritesEachLineWithCrLfAndLoadsBackUnchanged) {
  const std::string path = TempPath("save");
  TTextList list({"first", "", "third \xe9"});
  list.SaveToFile(path);
  EXPECT_EQ(ReadBytes(path), "first\r\n\r\nthird \xe9\r\n");
  TTextList again;
  again.LoadFromFile(path);
  EXPECT_EQ(again.Lines(), list.Lines());
  TTextList().SaveToFile(path);  // replaces the file
  EXPECT_EQ(ReadBytes(path), "");
  std::remove(path.c_str());
}

TEST(TextList, TextJoinsAndSplitsLikeAFile) {
  TTextList list;
  list.SetText("a\nb\r\n\rc");
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(list.Text(), "a\r\nb\r\n\r\nc\r\n");
}

TEST(TextList, IndexOutsideTheListRaisesTheListError) {
  TTextList list({"only"});
  for (int index : {-1, 1, 7}) {
    try {
      (void)list.Strings(index);
      ADD_FAILURE() << "no error for " << index;
    } catch (const EListError& e) {
      EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(index) + ")");
    }
  }
  EXPECT_THROW(list.Delete(1), EListError);
  EXPECT_THROW(list.Insert(2, "x"), EListError);
  list.Insert(1, "end");
  EXPECT_EQ(list.Strings(1), "end");
}

TEST(TextList, UnreadableFileRaisesTheFileErrorWithNameAndReasonAndKeepsTheList) {
  TTextList list({"kept"});
  const std::string missing = TempPath("does_not_exist");
  try {
    list.LoadFromFile(missing);
    ADD_FAILURE() << "no error";
  } catch (const EFileOpenError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + missing + "\". No such file or directory");
  }
  EXPECT_EQ(list.Lines(), std::vector<std::string>{"kept"});
  // A directory opens but cannot be read.
  EXPECT_THROW(list.LoadFromFile(::testing::TempDir()), EFileOpenError);
  EXPECT_THROW(list.SaveToFile(missing + "/no/such/dir"), EFileSaveError);
}

TEST(TextList, FailedSaveKeepsTheEarlierFileAndSaysWhatFailedAndWhy) {
  // A file size limit makes the write fail as a full disk does.
  const std::string dir = ::testing::TempDir() + "movrek_text_list_full";
  ::mkdir(dir.c_str(), 0700);
  const std::string path = dir + "/out.txt";
  WriteBytes(path, "earlier\r\n");
  rlimit old_limit{};
  ::getrlimit(RLIMIT_FSIZE, &old_limit);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 1000;
  ::setrlimit(RLIMIT_FSIZE, &small);
  std::string message;
  try {
    TTextList(std::vector<std::string>(100, std::string(50, 'x'))).SaveToFile(path);
  } catch (const EFileSaveError& e) {
    message = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(message, "Cannot save file \"" + path + "\": writing failed. File too large");
  EXPECT_EQ(ReadBytes(path), "earlier\r\n");
  // Nothing is left beside it, and a save that can complete replaces it.
  TTextList({"new"}).SaveToFile(path);
  EXPECT_EQ(ReadBytes(path), "new\r\n");
  std::remove(path.c_str());
  EXPECT_EQ(::rmdir(dir.c_str()), 0) << "a temporary file was left in " << dir;
}

}  // namespace
}  // namespace movrek
