// The desktop's applications for playlist types: which desktop entries are listed, the
// default and the person's own choice through xdg-mime, registering a program, and the
// version information of a program from its package.
#include "platform/shell/applications.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/shell/file_version.h"
#include "testing/temp_folder.h"
#include "testing/xdg_folders.h"

// GIO keeps its content-type data for the life of the process (sanitizer builds).
extern "C" const char* __lsan_default_suppressions() { return "leak:libgio-2.0.so\nleak:libglib-2.0.so\n"; }

namespace platform {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kPlaylistTypes = {"audio/x-mpegurl", "audio/x-scpls"};

class ApplicationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = platform::testing::MakeTempFolder("tovapps");
    ASSERT_FALSE(root_.empty());
    xdg_.emplace(root_, std::vector<std::string>{"system", "system2"});
  }
  void TearDown() override {
    xdg_.reset();
    fs::remove_all(root_);
  }
  void Entry(const std::string& where, const std::string& id, const std::string& body) {
    const fs::path file = fs::path(root_) / where / "applications" / id;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "[Desktop Entry]\n" << body;
  }
  static std::string Player(const std::string& name, const std::string& exec, const std::string& types) {
    return "Type=Application\nName=" + name + "\nExec=" + exec + "\nIcon=audio-player\nMimeType=" + types + "\n";
  }
  std::string root_;
  std::optional<testing::XdgTestFolders> xdg_;
};

TEST_F(ApplicationsTest, EntriesThatHandleAPlaylistTypeAreListedOncePerId) {
  Entry("system", "alpha.desktop", Player("Alpha Player", "true %U", "audio/x-mpegurl;audio/mpeg;"));
  Entry("system", "beta.desktop", Player("Beta", "\"/opt/beta player/run\" --play %F", "audio/x-scpls;"));
  Entry("system", "editor.desktop", Player("Editor", "true %F", "text/plain;"));
  Entry("system", "masked.desktop", Player("Masked", "true", "audio/x-mpegurl;"));
  Entry("data", "masked.desktop", "Type=Application\nName=Masked\nHidden=true\n");            // the person removed it
  Entry("system2", "alpha.desktop", Player("Alpha Elsewhere", "false", "audio/x-mpegurl;"));  // a later folder
  Entry("system", "kde/gamma.desktop", Player("Gamma", "/usr/bin/true", "AUDIO/X-MPEGURL;"));
  Entry("system", "missing.desktop",
        Player("Missing", "nothing-such-x", "audio/x-mpegurl;") + "TryExec=nothing-such-x\n");
  Entry("system", "link.desktop", "Type=Link\nName=Link\nURL=http://x/\nMimeType=audio/x-mpegurl;\n");

  struct Expected {
    const char* id;
    const char* name;
    std::string program;
  };
  const std::vector<Expected> expected = {
      {"alpha.desktop", "Alpha Player", "/usr/bin/true"},  // found on PATH
      {"beta.desktop", "Beta", "/opt/beta player/run"},    // quoted, not on disk
      {"kde-gamma.desktop", "Gamma", "/usr/bin/true"},     // a sub-folder names the id
  };
  const std::vector<DesktopApplication> apps = ListApplicationsFor(kPlaylistTypes);
  ASSERT_EQ(apps.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(apps[i].id, expected[i].id);
    EXPECT_EQ(apps[i].name, expected[i].name);
    EXPECT_EQ(apps[i].program, expected[i].program);
    EXPECT_EQ(apps[i].icon, "audio-player");
  }
  EXPECT_FALSE(FindApplication("masked.desktop"));
  ASSERT_TRUE(FindApplication("kde-gamma.desktop"));
  EXPECT_EQ(FindApplication("kde-gamma.desktop")->name, "Gamma");
  EXPECT_FALSE(FindApplication("nothing.desktop"));
}

TEST_F(ApplicationsTest, ThePersonsChoiceOverTheSystemsDefault) {
  Entry("system", "alpha.desktop", Player("Alpha", "true %U", "audio/x-mpegurl;"));
  Entry("system", "beta.desktop", Player("Beta", "true %U", "audio/x-mpegurl;"));
  std::ofstream(root_ + "/system/applications/mimeapps.list")
      << "[Default Applications]\naudio/x-mpegurl=alpha.desktop\n";

  EXPECT_EQ(DefaultApplicationId("audio/x-mpegurl"), "alpha.desktop");
  EXPECT_EQ(SystemDefaultApplicationId("audio/x-mpegurl"), "alpha.desktop");
  EXPECT_EQ(UserDefaultApplicationId("audio/x-mpegurl"), "");
  EXPECT_TRUE(ResetDefaultApplication("audio/x-mpegurl"));  // nothing to remove

  ASSERT_TRUE(SetDefaultApplication("audio/x-mpegurl", "beta.desktop"));
  EXPECT_EQ(DefaultApplicationId("audio/x-mpegurl"), "beta.desktop");
  EXPECT_EQ(SystemDefaultApplicationId("audio/x-mpegurl"), "alpha.desktop");
  EXPECT_EQ(UserDefaultApplicationId("audio/x-mpegurl"), "beta.desktop");

  // Another type's choice stays when this one goes.
  ASSERT_TRUE(SetDefaultApplication("audio/x-scpls", "beta.desktop"));
  ASSERT_TRUE(ResetDefaultApplication("audio/x-mpegurl"));
  EXPECT_EQ(UserDefaultApplicationId("audio/x-mpegurl"), "");
  EXPECT_EQ(DefaultApplicationId("audio/x-mpegurl"), "alpha.desktop");
  EXPECT_EQ(UserDefaultApplicationId("audio/x-scpls"), "beta.desktop");
}

TEST_F(ApplicationsTest, ARegisteredProgramIsAnEntryOfItsOwn) {
  const std::string program = root_ + "/bin dir/my $player\"s";
  fs::create_directories(root_ + "/bin dir");
  std::ofstream(program) << "#!/bin/sh\n";
  fs::permissions(program, fs::perms::owner_all);
  std::string id;
  ASSERT_EQ(RegisterApplication(program, kPlaylistTypes, id), Registration::kRegistered);
  EXPECT_EQ(id, "my $player\"s.desktop");
  const std::vector<DesktopApplication> apps = ListApplicationsFor({"audio/x-scpls"});
  ASSERT_EQ(apps.size(), 1u);
  EXPECT_EQ(apps[0].id, id);
  EXPECT_EQ(apps[0].name, "my $player\"s");
  EXPECT_EQ(apps[0].program, program);  // the quoting of the command holds
  EXPECT_EQ(RegisterApplication(program, kPlaylistTypes, id), Registration::kAlreadyRegistered);

  // A program whose name is the id of an entry of the system is registered already.
  Entry("system", "true.desktop", Player("True", "true", "text/plain;"));
  EXPECT_EQ(RegisterApplication("/usr/bin/true", kPlaylistTypes, id), Registration::kAlreadyRegistered);
  EXPECT_EQ(id, "true.desktop");
}

// The person's choice of a registered program is what the desktop opens the type with:
// xdg-mime's generic back end follows a choice only to an entry whose Exec starts with a
// program it can find.
TEST_F(ApplicationsTest, ARegisteredProgramThePersonChoseIsTheDefault) {
  Entry("system", "alpha.desktop", Player("Alpha", "true %U", "audio/x-mpegurl;"));
  std::ofstream(root_ + "/system/applications/mimeapps.list")
      << "[Default Applications]\naudio/x-mpegurl=alpha.desktop\n";
  const std::string program = root_ + "/bin/my-player_2.0";
  fs::create_directories(root_ + "/bin");
  std::ofstream(program) << "#!/bin/sh\n";
  fs::permissions(program, fs::perms::owner_all);
  std::string id;
  ASSERT_EQ(RegisterApplication(program, kPlaylistTypes, id), Registration::kRegistered);
  ASSERT_TRUE(SetDefaultApplication("audio/x-mpegurl", id));
  EXPECT_EQ(UserDefaultApplicationId("audio/x-mpegurl"), id);
  EXPECT_EQ(DefaultApplicationId("audio/x-mpegurl"), id);
  ASSERT_TRUE(FindApplication(id));
  EXPECT_EQ(FindApplication(id)->program, program);
}

TEST_F(ApplicationsTest, VersionInformationComesFromTheProgramsPackage) {
  const std::optional<FileVersionInfo> info = GetFileVersionInfo("/usr/bin/true");  // listed as /bin/true
  ASSERT_TRUE(info);
  EXPECT_EQ(info->description, "GNU core utilities");
  EXPECT_FALSE(info->productVersion.empty());
  std::ofstream(root_ + "/own") << "x";
  EXPECT_FALSE(GetFileVersionInfo(root_ + "/own"));
  EXPECT_FALSE(GetFileVersionInfo(root_ + "/none"));
  EXPECT_FALSE(GetFileVersionInfo(root_));  // a folder
}

}  // namespace
}  // namespace platform
