// The programs' command lines. The manual pages against the programs' own
// --help: every option that --help lists has an entry in the page's OPTIONS
// section and the other way round, so that an option added to (or dropped
// from) a program cannot leave its page behind.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/helpers/peers.h"

namespace {

using movrek::test::ReadFileText;
using movrek::test::RunCommand;
using OptionSet = std::set<std::string>;

// Option lines of a usage text start, after their indent, with the option:
// "  -h, --help   text", "  --save FILE  text", "  --screenshot <file>  text".
// Names given together are joined by ", "; whatever follows the last name is
// its value or its description.
OptionSet OptionsOfHelp(const std::string& help) {
  OptionSet options;
  std::istringstream lines(help);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string word;
    while (words >> word && word.size() > 1 && word[0] == '-') {
      const bool more = word.back() == ',';
      if (more) word.pop_back();
      options.insert(word);
      if (!more) break;
    }
  }
  return options;
}

// The man source with font changes dropped and "\-" as a plain hyphen.
std::string PlainTroff(const std::string& line) {
  std::string plain;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      if (line[i + 1] == '-') {
        plain += '-';
        ++i;
        continue;
      }
      if (line[i + 1] == 'f' && i + 2 < line.size()) {
        i += 2;
        continue;
      }
    }
    plain += line[i];
  }
  return plain;
}

// The names on the tag lines (the line after each ".TP") of the OPTIONS
// section, e.g. ".BR \-h \", \" \-\-help" or ".BI \-\-save \" file\"".
OptionSet OptionsOfManPage(const std::string& page) {
  OptionSet options;
  std::istringstream lines(page);
  std::string line;
  bool in_options = false;
  bool tag_next = false;
  while (std::getline(lines, line)) {
    if (line.rfind(".SH", 0) == 0) {
      in_options = line.find("OPTIONS") != std::string::npos;
      continue;
    }
    if (!in_options) continue;
    if (line.rfind(".TP", 0) == 0) {
      tag_next = true;
      continue;
    }
    if (!tag_next) continue;
    tag_next = false;
    std::istringstream words(PlainTroff(line));
    std::string word;
    words >> word;  // the font macro
    while (words >> word) {
      word.erase(0, word.find_first_not_of('"'));
      if (word.size() > 1 && word[0] == '-')
        options.insert(word.substr(0, word.find_first_of("\",")));
    }
  }
  return options;
}

std::string Missing(const OptionSet& from, const OptionSet& in) {
  std::string missing;
  for (const std::string& option : from) {
    if (in.count(option) == 0) missing += " " + option;
  }
  return missing;
}

struct ProgramPage {
  const char* name;
  std::vector<std::string> help_command;
  const char* man_page;
};

class ManPage : public ::testing::TestWithParam<ProgramPage> {};

TEST_P(ManPage, DescribesExactlyTheOptionsThatHelpLists) {
  const ProgramPage& p = GetParam();
  std::string help;
  ASSERT_EQ(RunCommand(p.help_command, &help), 0) << help;
  const std::string page = ReadFileText(p.man_page);
  ASSERT_FALSE(page.empty()) << p.man_page;

  const OptionSet listed = OptionsOfHelp(help);
  const OptionSet described = OptionsOfManPage(page);
  ASSERT_TRUE(listed.count("--help")) << "no option lines found in:\n" << help;
  EXPECT_EQ(Missing(listed, described), "") << "listed by --help, missing from " << p.man_page;
  EXPECT_EQ(Missing(described, listed), "") << "in " << p.man_page << ", unknown to --help";
}

TEST_P(ManPage, FormatsWithoutWarnings) {
  std::string output;
  EXPECT_EQ(RunCommand({"groff", "-ww", "-man", "-z", GetParam().man_page}, &output), 0) << output;
  EXPECT_EQ(output, "");
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ManPage,
    ::testing::Values(
        ProgramPage{"movrek_cli", {MOVREK_CLI_PATH, "--help"}, MOVREK_MAN_DIR "/movrek-cli.1"},
        // The window program's --help needs no display, but Qt needs a platform.
        ProgramPage{"movrek",
                    {"env", "QT_QPA_PLATFORM=offscreen", MOVREK_APP_PATH, "--help"},
                    MOVREK_MAN_DIR "/movrek.1"}),
    [](const auto& param) { return std::string(param.param.name); });

// A file manager's "Open With" passes every selected file; the window holds
// one list, so it refuses more rather than drop all but the first unseen.
TEST(WindowProgramArguments, MoreThanOneFileIsAUsageError) {
  std::string output;
  // --screenshot: should the files be taken, the program leaves at once
  // instead of waiting in its window.
  EXPECT_EQ(RunCommand({"env", "QT_QPA_PLATFORM=offscreen", MOVREK_APP_PATH, "--screenshot",
                        "/dev/null", "a.txt", "b.txt"},
                       &output),
            1);
  EXPECT_NE(output.find("movrek: give at most one file"), std::string::npos) << output;
}

}  // namespace
