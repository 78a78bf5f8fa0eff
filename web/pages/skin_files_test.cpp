#include "web/pages/skin_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/temp_home.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "testing/skins.h"

namespace web {

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& posixPath) {
  std::ifstream in(posixPath, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class SkinFiles : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    key_->SetString("Gen_AppDataDir", platform::FromPosixPath(root_ + "/app"));
    skins_ = root_ + "/app/skins";
    fs::create_directories(skins_ + "/Default/img");
    std::ofstream(skins_ + "/Default/index.html") << "home";
  }

  // The POSIX path of a successful lookup.
  std::string Resolve(std::string_view relative) {
    std::string out;
    EXPECT_TRUE(ResolveSkinFile(relative, out)) << relative << ": " << out;
    return platform::ToPosixPath(out);
  }
  std::string Refused(std::string_view relative) {
    std::string out;
    EXPECT_FALSE(ResolveSkinFile(relative, out)) << relative << ": " << out;
    return out;
  }
  std::string CacheOf(const std::string& skin, const std::string& file) {
    return root_ + "/tmp/$Ombrix Jukebox$/skin/" + skin + "/" + file;
  }

  std::optional<platform::SettingsKey> key_;
  std::string skins_;
};

TEST(SanitizeSkinPath, Table) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/../b//c/", "a\\b\\c"}, {"\\..\\..\\etc\\passwd", "etc\\passwd"}, {"./x/.", "x"},
      {"a..b/...", "a..b\\..."},  {"/", ""},                              {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(SanitizeSkinPath(in), out) << in;
}

TEST_F(SkinFiles, FolderSkins) {
  EXPECT_EQ(Resolve("index.html"), skins_ + "/Default/index.html");
  EXPECT_EQ(Resolve("img\\logo.png"), skins_ + "/Default/img/logo.png");
  EXPECT_EQ(Resolve("img/logo.png"), skins_ + "/Default/img/logo.png");

  // A skin that names nothing answers a path that the caller then fails to open.
  key_->SetString("VX_Skin", "Gone");
  EXPECT_EQ(Resolve("index.html"), skins_ + "/Gone/index.html");

  // The test skins folder replaces the installed one while it exists.
  fs::create_directories(root_ + "/test/Gone");
  key_->SetString("VX_TestSkinsDir", platform::FromPosixPath(root_ + "/test"));
  EXPECT_EQ(Resolve("a.css"), root_ + "/test/Gone/a.css");
  key_->SetString("VX_TestSkinsDir", platform::FromPosixPath(root_ + "/missing"));
  EXPECT_EQ(Resolve("a.css"), skins_ + "/Gone/a.css");

  key_->SetString("Gen_AppDataDir", platform::FromPosixPath(root_ + "/nowhere"));
  EXPECT_EQ(Refused("index.html"), "Could not read installation directory from the registry.");
}

TEST_F(SkinFiles, PathsThatWouldLeaveTheSkinAreRefused) {
  for (const char* path : {"..\\secret", "img\\..\\..\\secret", "../secret", "\\etc\\passwd", "/etc/passwd",
                           "C:\\x", "a:b", "a\x01" "b", "img\\..\\..\\..\\..\\etc"}) {
    EXPECT_EQ(Refused(path), "The requested file lies outside the skin.") << path;
  }
  for (const char* skin : {"..", ".", "..\\..", "a\\b", "a/b", "C:x"}) {
    key_->SetString("VX_Skin", skin);
    EXPECT_EQ(Refused("index.html"), "The selected skin name is not valid.") << skin;
  }
}

TEST_F(SkinFiles, ZippedSkinsAreUnpackedOnce) {
  ASSERT_TRUE(WriteZip(skins_ + "/Zipped.osk", {{"Index.HTML", "zipped home"}, {"img/Logo.png", "PNG"}}));
  key_->SetString("VX_Skin", "Zipped.osk");

  EXPECT_EQ(Resolve("index.html"), CacheOf("Zipped.osk", "index.html"));
  EXPECT_EQ(ReadFile(CacheOf("Zipped.osk", "index.html")), "zipped home");
  EXPECT_EQ(Resolve("IMG\\logo.PNG"), CacheOf("Zipped.osk", "IMG/logo.PNG"));
  EXPECT_EQ(ReadFile(CacheOf("Zipped.osk", "IMG/logo.PNG")), "PNG");

  // The second lookup answers the cached file without opening the archive.
  std::ofstream(CacheOf("Zipped.osk", "index.html")) << "cached";
  EXPECT_EQ(ReadFile(Resolve("index.html")), "cached");
  for (const auto& entry : fs::directory_iterator(root_ + "/tmp/$Ombrix Jukebox$/skin/Zipped.osk")) {
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos);  // nothing half-written left
  }

  EXPECT_EQ(Refused("missing.html"), "Could not find file in zipped skin.");
  EXPECT_EQ(Refused("../index.html"), "The requested file lies outside the skin.");

  std::ofstream(skins_ + "/Broken.osk") << "not a zip";
  key_->SetString("VX_Skin", "Broken.osk");
  EXPECT_EQ(Refused("index.html"), "Could not open zipped skin.");
}

TEST_F(SkinFiles, DamagedMembersAreNeverCached) {
  const std::string content(4000, 'A');
  ASSERT_TRUE(WriteZip(skins_ + "/Damaged.osk", {{"page.html", content}}, /*stored=*/true));
  std::string bytes = ReadFile(skins_ + "/Damaged.osk");
  const std::size_t at = bytes.find(content);
  ASSERT_NE(at, std::string::npos);
  bytes[at + 100] = 'B';
  std::ofstream(skins_ + "/Damaged.osk", std::ios::binary | std::ios::trunc) << bytes;
  key_->SetString("VX_Skin", "Damaged.osk");
  EXPECT_EQ(Refused("page.html"), "Could not cache file from zipped skin.");
  EXPECT_FALSE(fs::exists(CacheOf("Damaged.osk", "page.html")));

  // A cache that cannot be written: a plain file stands where the member's folder goes.
  ASSERT_TRUE(WriteZip(skins_ + "/Blocked.osk", {{"img/a.png", "x"}}));
  key_->SetString("VX_Skin", "Blocked.osk");
  fs::create_directories(CacheOf("Blocked.osk", ""));
  std::ofstream(CacheOf("Blocked.osk", "img")) << "in the way";
  EXPECT_EQ(Refused("img/a.png"), "Could not cache file from zipped skin.");
}

TEST_F(SkinFiles, InstalledSkins) {
  ASSERT_TRUE(WriteZip(skins_ + "/Zipped.osk", {{"index.html", "z"}}));
  ASSERT_TRUE(WriteZip(skins_ + "/Upper.OSK", {{"index.html", "z"}}));
  std::ofstream(skins_ + "/notes.txt") << "not a skin";
  fs::create_directories(skins_ + "/Other");
  fs::create_directories(skins_ + "/aqua");
  // By name, case aside, whatever order the folder keeps.
  EXPECT_EQ(ListSkins(), (std::vector<std::string>{"aqua", "Default", "Other", "Upper.OSK", "Zipped.osk"}));
  for (const char* name : {"Default", "Zipped.osk", "Other"}) EXPECT_TRUE(IsInstalledSkin(name)) << name;
  for (const char* name : {"default", "notes.txt", "..", ".", "", "Default/img", "..\\skins\\Default", "Missing"}) {
    EXPECT_FALSE(IsInstalledSkin(name)) << name;
  }
  EXPECT_EQ(GetSelectedSkin(), "Default");
  key_->SetString("VX_Skin", "");
  EXPECT_EQ(GetSelectedSkin(), "Default");
  key_->SetString("VX_Skin", "Other");
  EXPECT_EQ(GetSelectedSkin(), "Other");
}

}  // namespace

}  // namespace web
