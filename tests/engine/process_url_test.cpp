// Address normalisation, status and progress texts, and the temporary names
// of the per-URL pipeline.
#include "engine/process_url.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "engine/extraction_job.h"
#include "tests/helpers/peers.h"

namespace {

using movrek::MakeTempFileName;
using movrek::NormaliseAddress;

// Sets TMPDIR for the life of the object.
class ScopedTmpDir {
 public:
  explicit ScopedTmpDir(const std::string& value) {
    const char* old = std::getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::setenv("TMPDIR", value.c_str(), 1);
  }
  ~ScopedTmpDir() {
    if (had_) {
      ::setenv("TMPDIR", old_.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

 private:
  bool had_ = false;
  std::string old_;
};

std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    ::closedir(d);
  }
  return names;
}

TEST(NormaliseAddress, TrimsAndAddsSchemeOnlyWhenNoneOccurs) {
  const struct {
    const char* line;
    const char* address;
  } cases[] = {
      {"  http://a.test/x  ", "http://a.test/x"},
      {"\t\x01https://a.test/\r", "https://a.test/"},
      {"a.test/page", "http://a.test/page"},
      {"HTTP://A.test/Page", "HTTP://A.test/Page"},  // capitals: no prefix, case kept
      {"HttpS://a.test", "HttpS://a.test"},
      {"a.test/go?to=http://b.test/", "a.test/go?to=http://b.test/"},  // anywhere counts
      {"ftp://a.test/f", "http://ftp://a.test/f"},
      {"http:/a.test", "http://http:/a.test"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormaliseAddress(c.line), c.address) << c.line;
}

TEST(TransferProgressText, PercentRoundsHalfToEvenAndBytesWithoutSize) {
  const struct {
    int received;
    int size;
    const char* text;
  } cases[] = {
      {1024, 2048, "50%"},
      {1, 8, "12%"},  // 12.5 -> 12
      {3, 8, "38%"},
      {5, 8, "62%"},  // 37.5 -> 38, 62.5 -> 62
      {2, 3, "67%"},
      {300, 100, "300%"},
      {0, 10, "0%"},
      {0, 0, "Bytes received : 0"},
      {4711, 0, "Bytes received : 4711"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(movrek::TransferProgressText(c.received, c.size), c.text)
        << c.received << "/" << c.size;
  }
}

TEST(MakeTempFileName, ReservesANameFileAndThePagePathPrivately) {
  movrek::test::TempDir dir;
  ScopedTmpDir tmpdir(dir.path());
  std::set<std::string> pages;
  for (int i = 0; i < 20; ++i) {
    const std::string page = MakeTempFileName(".xtr");
    ASSERT_EQ(page.rfind(dir.path() + "/uis", 0), 0u) << page;
    ASSERT_EQ(page.substr(page.size() - 4), ".xtr");
    const std::string name_file = page.substr(0, page.size() - 4) + ".tmp";
    for (const std::string& path : {name_file, page}) {
      struct stat info {};
      ASSERT_EQ(::lstat(path.c_str(), &info), 0) << path;
      EXPECT_TRUE(S_ISREG(info.st_mode)) << path;
      EXPECT_EQ(info.st_size, 0) << path;
      EXPECT_EQ(info.st_mode & 0777, 0600u) << path;
    }
    EXPECT_TRUE(pages.insert(page).second) << "name handed out twice: " << page;
  }
  EXPECT_EQ(FilesIn(dir.path()).size(), 40u);
}

TEST(MakeTempFileName, FailsClearlyWhenTheDirectoryIsMissing) {
  movrek::test::TempDir dir;
  ScopedTmpDir tmpdir(dir.path() + "/gone");
  try {
    MakeTempFileName(".xtr");
    FAIL() << "a name was handed out in a missing directory";
  } catch (const movrek::EPageFileError& error) {
    EXPECT_NE(std::string(error.what()).find(dir.path() + "/gone/"), std::string::npos)
        << error.what();
    EXPECT_NE(std::string(error.what()).find("No such file or directory"), std::string::npos)
        << error.what();
  }
}

}  // namespace
