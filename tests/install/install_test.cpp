// The installed tree and the Debian package, as a desktop and dpkg see them:
// an install into a scratch root checked by the freedesktop and
// AppStream validators, and the .deb that cpack makes from the same build
// tree, taken apart with dpkg-deb.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/helpers/peers.h"

namespace {

using movrek::test::ReadFileText;
using movrek::test::RunCommand;
using movrek::test::TempDir;

constexpr char kAppId[] = "io.movrek.Movrek";

// Width and height from a PNG's IHDR chunk; {0, 0} when it is no PNG.
std::pair<std::uint32_t, std::uint32_t> PngSize(const std::string& png) {
  if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
  auto be32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(png[at + i]);
    return v;
  };
  return {be32(16), be32(20)};
}

// "Key=value" lines of a desktop entry.
std::map<std::string, std::string> DesktopKeys(const std::string& entry) {
  std::map<std::string, std::string> keys;
  std::istringstream lines(entry);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos && line[0] != '#') keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return keys;
}

// --- cmake --install ----------------------------------------------------------------

class InstalledTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = std::make_unique<TempDir>();
    // What `cmake --install` runs, less the top level's install_manifest.txt
    // that it would leave in the build tree: every install rule is in dist/.
    install_status_ =
        RunCommand({"env", "DESTDIR=" + root_->path(), MOVREK_CMAKE, "-DCMAKE_INSTALL_PREFIX=/usr",
                    "-P", MOVREK_BUILD_DIR "/dist/cmake_install.cmake"},
                   &install_output_);
  }
  static void TearDownTestSuite() { root_.reset(); }

  void SetUp() override { ASSERT_EQ(install_status_, 0) << install_output_; }

  static std::string Usr(const std::string& relpath) { return root_->File("usr/" + relpath); }

  static std::unique_ptr<TempDir> root_;
  static int install_status_;
  static std::string install_output_;
};
std::unique_ptr<TempDir> InstalledTree::root_;
int InstalledTree::install_status_ = -1;
std::string InstalledTree::install_output_;

TEST_F(InstalledTree, DesktopEntryPassesDesktopFileValidate) {
  MOVREK_REQUIRE_PEER("desktop-file-validate");
  std::string output;
  EXPECT_EQ(RunCommand({"desktop-file-validate",
                        Usr("share/applications/" + std::string(kAppId) + ".desktop")},
                       &output),
            0)
      << output;
  // Hints too (such as a second main category, which lists the entry twice).
  EXPECT_EQ(output, "");
}

// A desktop that opens files by default with the program whose entry claims
// their type: installing must not take text files over from the user's editor.
TEST_F(InstalledTree, DesktopEntryLeavesTheDefaultProgramOfTextFilesAlone) {
  MOVREK_REQUIRE_PEER("xdg-mime");
  MOVREK_REQUIRE_PEER("update-desktop-database");
  ASSERT_EQ(RunCommand({"update-desktop-database", Usr("share/applications")}), 0);
  TempDir home;
  auto default_for = [&](const std::string& type, const std::string& dirs) {
    std::string answer;
    RunCommand({"env", "-u", "XDG_CURRENT_DESKTOP", "XDG_DATA_HOME=" + home.File("data"),
                "XDG_CONFIG_HOME=" + home.File("config"), "XDG_DATA_DIRS=" + dirs, "xdg-mime",
                "query", "default", type},
               &answer);
    return answer;
  };
  const std::string with_movrek = Usr("share") + ":/usr/share";
  EXPECT_EQ(default_for("text/plain", with_movrek), default_for("text/plain", "/usr/share"));
  EXPECT_EQ(default_for("text/uri-list", Usr("share")), std::string(kAppId) + ".desktop\n");
}

// validate-tree also checks that the metadata's launchable desktop entry is
// installed beside it.
TEST_F(InstalledTree, MetadataPassesAppStreamValidation) {
  MOVREK_REQUIRE_PEER("appstreamcli");
  std::string output;
  EXPECT_EQ(RunCommand({"appstreamcli", "validate-tree", "--no-net", root_->path()}, &output), 0)
      << output;
}

TEST_F(InstalledTree, DesktopEntryStartsAnInstalledProgramWithAnInstalledIcon) {
  auto keys =
      DesktopKeys(ReadFileText(Usr("share/applications/" + std::string(kAppId) + ".desktop")));
  const std::string program = keys["Exec"].substr(0, keys["Exec"].find(' '));
  EXPECT_EQ(program, "movrek");
  EXPECT_EQ(::access(Usr("bin/" + program).c_str(), X_OK), 0) << program;
  EXPECT_EQ(keys["Icon"], kAppId);

  const std::string theme = "share/icons/hicolor/";
  EXPECT_NE(ReadFileText(Usr(theme + "scalable/apps/" + keys["Icon"] + ".svg")).find("<svg"),
            std::string::npos);
  for (std::uint32_t size : {48u, 256u}) {
    const std::string folder = std::to_string(size) + "x" + std::to_string(size);
    EXPECT_EQ(PngSize(ReadFileText(Usr(theme + folder + "/apps/" + keys["Icon"] + ".png"))),
              std::make_pair(size, size))
        << folder;
  }
}

// --- the .debs -----------------------------------------------------------------------

class DebianPackage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    // cpack installs from the build tree as it stands; it builds nothing.
    cpack_status_ = RunCommand(
        {MOVREK_CPACK, "--config", MOVREK_BUILD_DIR "/CPackConfig.cmake", "-B", dir_->path()},
        &cpack_output_);
  }
  static void TearDownTestSuite() { dir_.reset(); }

  void SetUp() override { ASSERT_EQ(cpack_status_, 0) << cpack_output_; }

  static std::string Deb(const std::string& package) {
    std::string arch;
    RunCommand({"dpkg", "--print-architecture"}, &arch);
    return dir_->File(package + "_" MOVREK_PACKAGE_VERSION "_" + arch.substr(0, arch.find('\n')) +
                      ".deb");
  }
  static std::string Field(const std::string& package, const std::string& name) {
    std::string value;
    RunCommand({"dpkg-deb", "--field", Deb(package), name}, &value);
    return value.substr(0, value.find('\n'));
  }

  static std::unique_ptr<TempDir> dir_;
  static int cpack_status_;
  static std::string cpack_output_;
};
std::unique_ptr<TempDir> DebianPackage::dir_;
int DebianPackage::cpack_status_ = -1;
std::string DebianPackage::cpack_output_;

struct PackageCase {
  const char* package;
  std::set<std::string> files;
  std::vector<std::string> depends;  // libraries named in Depends
  std::vector<std::string> never;    // text that must not be in Depends
};

const PackageCase kPackages[] = {
    {"movrek-cli",
     {"./usr/bin/movrek-cli", "./usr/share/doc/movrek-cli/changelog.gz",
      "./usr/share/doc/movrek-cli/copyright", "./usr/share/man/man1/movrek-cli.1.gz"},
     {"libc6 (>=", "libstdc++6 (>=", "libssl3 (>="},
     {"qt6", "qscintilla", "movrek"}},
    {"movrek",
     {"./usr/bin/movrek", "./usr/share/applications/io.movrek.Movrek.desktop",
      "./usr/share/doc/movrek/changelog.gz", "./usr/share/doc/movrek/copyright",
      "./usr/share/icons/hicolor/256x256/apps/io.movrek.Movrek.png",
      "./usr/share/icons/hicolor/48x48/apps/io.movrek.Movrek.png",
      "./usr/share/icons/hicolor/scalable/apps/io.movrek.Movrek.svg",
      "./usr/share/man/man1/movrek.1.gz", "./usr/share/metainfo/io.movrek.Movrek.metainfo.xml"},
     {"libc6 (>=", "libstdc++6 (>=", "libssl3 (>=", "libqt6widgets6 (>="},
     {"movrek-cli"}},
};

TEST_F(DebianPackage, EachHoldsItsFilesUnderUsrAndDependsOnItsLibrariesOnly) {
  for (const PackageCase& c : kPackages) {
    SCOPED_TRACE(c.package);
    std::string listing;
    ASSERT_EQ(RunCommand({"dpkg-deb", "--contents", Deb(c.package)}, &listing), 0) << listing;
    // "-rwxr-xr-x root/root 413616 2026-12-08 00:58 ./usr/bin/movrek-cli"
    std::set<std::string> files;
    std::istringstream lines(listing);
    std::string mode, owner, size, date, time, path;
    while (lines >> mode >> owner >> size >> date >> time >> path) {
      EXPECT_EQ(owner, "root/root") << path;
      EXPECT_TRUE(path.rfind("./usr/", 0) == 0 || path == "./") << path;
      if (mode[0] == 'd') continue;
      files.insert(path);
      const bool program = path.rfind("./usr/bin/", 0) == 0;
      EXPECT_EQ(mode, program ? "-rwxr-xr-x" : "-rw-r--r--") << path;
    }
    EXPECT_EQ(files, c.files);
    EXPECT_EQ(Field(c.package, "Package"), c.package);
    EXPECT_EQ(Field(c.package, "Version"), MOVREK_PACKAGE_VERSION);
    const std::string depends = Field(c.package, "Depends");
    for (const std::string& library : c.depends) {
      EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;
    }
    for (const std::string& text : c.never) {
      EXPECT_EQ(depends.find(text), std::string::npos) << text << " in " << depends;
    }
  }
}

TEST_F(DebianPackage, LintianFindsNothingAndCopyrightNamesTheMaintainer) {
  MOVREK_REQUIRE_PEER("lintian");
  for (const PackageCase& c : kPackages) {
    SCOPED_TRACE(c.package);
    std::string output;
    // The hardening flags are those of scripts/package, which runs lintian
    // without this exception.
    EXPECT_EQ(RunCommand({"lintian", "--fail-on", "error,warning", "--suppress-tags",
                          "hardening-no-fortify-functions,"
                          "hardening-no-bindnow,hardening-no-relro",
                          Deb(c.package)},
                         &output),
              0)
        << output;
    TempDir root;
    ASSERT_EQ(RunCommand({"dpkg-deb", "--extract", Deb(c.package), root.path()}), 0);
    const std::string maintainer = Field(c.package, "Maintainer");
    const std::string address = maintainer.substr(maintainer.find('<'));
    EXPECT_NE(ReadFileText(root.File(std::string("usr/share/doc/") + c.package + "/copyright"))
                  .find("Upstream-Contact: The Movrek developers " + address),
              std::string::npos)
        << address;
  }
}

TEST_F(DebianPackage, ExtractedProgramsRunOutsideTheBuildTree) {
  TempDir root;
  std::string output;
  for (const char* package : {"movrek-cli", "movrek"}) {
    ASSERT_EQ(RunCommand({"dpkg-deb", "--extract", Deb(package), root.path()}, &output), 0)
        << output;
  }
  ASSERT_EQ(RunCommand({root.File("usr/bin/movrek-cli"), "--help"}, &output), 0) << output;
  EXPECT_EQ(output.rfind("Usage: movrek-cli", 0), 0u) << output;
  ASSERT_EQ(
      RunCommand({"env", "QT_QPA_PLATFORM=offscreen", root.File("usr/bin/movrek"), "--version"},
                 &output),
      0)
      << output;
  EXPECT_EQ(output, "movrek " MOVREK_PACKAGE_VERSION "\n");
}

}  // namespace
