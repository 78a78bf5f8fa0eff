#include "platform/shell/desktop.h"
#include "testing/temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

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
    std::filesystem::create_directories(root_ + "/config");
    std::filesystem::create_directories(root_ + "/data/applications");
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_DIRS", "XDG_CURRENT_DESKTOP"}) {
      const char* v = std::getenv(var);
      saved_.emplace_back(var, v ? std::optional<std::string>(v) : std::nullopt);
    }
    ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (root_ + "/none").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (root_ + "/none").c_str(), 1);
    ::unsetenv("XDG_CURRENT_DESKTOP");
  }
  void TearDown() override {
    for (auto& [var, value] : saved_) {
      if (value) {
        ::setenv(var.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(var.c_str());
      }
    }
    std::filesystem::remove_all(root_);
  }
  std::string root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
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
