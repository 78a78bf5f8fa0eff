#include "platform/shell/desktop.h"
#include "testing/temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "testing/xdg_folders.h"

// GIO keeps its content-type data for the life of the process (sanitizer builds).
extern "C" const char* __lsan_default_suppressions() { return "leak:libgio-2.0.so\n"; }

namespace platform {
namespace {

TEST(DesktopTest, FileTypeIconsComeFromTheNameAlone) {
  struct Case {
    const char* file;
    const char* name;
    const char* fallback;
  };
  const Case cases[] = {
      {"a.mp3", "audio-mpeg", "audio-x-generic"},
      {"Welcome.txt", "text-plain", "text-x-generic"},
      {"/no/such/folder/b.WAV", "audio-x-wav", "audio-x-generic"},
  };
  for (const Case& c : cases) {
    const FileTypeIcon icon = FileTypeIconOf(c.file);
    EXPECT_EQ(icon.name, c.name) << c.file;
    EXPECT_EQ(icon.fallback, c.fallback) << c.file;
  }
  EXPECT_FALSE(FileTypeIconOf("no extension").name.empty());
}

TEST(DesktopTest, FileTypeNamesComeFromTheNameAlone) {
  struct Case {
    const char* file;
    const char* name;
  };
  const Case cases[] = {
      {"Welcome.txt", "plain text document"},
      {"b.WAV", "WAV audio"},
      {"archive.qqqzz", "QQQZZ File"},
      {"no extension", "File"},
  };
  for (const Case& c : cases) EXPECT_EQ(FileTypeNameOf(c.file), c.name) << c.file;
}

class DefaultApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = platform::testing::MakeTempFolder("tovdesktop");
    ASSERT_FALSE(root_.empty());
    xdg_.emplace(root_, std::vector<std::string>{});
  }
  void TearDown() override {
    xdg_.reset();
    std::filesystem::remove_all(root_);
  }
  std::string root_;
  std::optional<testing::XdgTestFolders> xdg_;
};

TEST_F(DefaultApplicationTest, TheDefaultHandlerIsNamedByItsDesktopEntry) {
  EXPECT_EQ(DefaultApplicationName("audio/x-mpegurl"), "");  // nothing set up
  std::ofstream(root_ + "/data/applications/testplayer.desktop")
      << "[Desktop Entry]\nType=Application\nName=Test Player\nExec=true %U\nMimeType=audio/x-mpegurl;\n";
  std::ofstream(root_ + "/config/mimeapps.list") << "[Default Applications]\naudio/x-mpegurl=testplayer.desktop\n";
  EXPECT_EQ(DefaultApplicationName("audio/x-mpegurl"), "Test Player");
}

}  // namespace
}  // namespace platform
