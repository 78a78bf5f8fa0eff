// Sending files from the host: the list files' bytes, the launcher started with the list
// as its one argument, and what paste refuses.
#include "shellext/send_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "common/folders.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/ui/desktop.h"
#include "platform/ui/scripted_host.h"
#include "testing/shellext.h"

using namespace device;

namespace shellexttest {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

namespace fs = std::filesystem;
using namespace shellext;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SendFilesTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    Use(device_);
    install_ = fs::path(MakeLauncher()).parent_path();
  }
  // A launcher that writes down how it was started.
  std::string MakeLauncher() {
    return InstallLauncher("printf '%s\\n' \"$#\" \"$@\" > \"$0.args.tmp\" && mv \"$0.args.tmp\" \"$0.args\"");
  }

  void TearDown() override {
    // Launchers started by the test (nobody waits for them) finish before their folder goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    LibraryTest::TearDown();
  }

  // The launcher's arguments, one a line after their count; empty when it never ran.
  std::string LauncherArgs() {
    const std::string file = install_ + "/tovarinj1.args";
    for (int i = 0; i < 500 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Read(file);
  }
  std::string ListFile(const char* name) {
    std::string folder;
    GetWorkFolder(folder, "tx2device");
    return platform::ToPosixPath(folder + name);
  }

  platform::ScriptedHost host_;
  MemoryDevice device_;
  std::string install_;
};

TEST_F(SendFilesTest, TheListHoldsOnePathALineAndTheLauncherGetsItsPathWhole) {
  SendFilesToPlayer(KernelId(), {"C:\\a.mp3", "\\home\\u\\b \"q\" |.mp3", "C:\\c.txt"});
  const std::string list = ListFile("_txman.dat");
  EXPECT_EQ(Read(list), "C:\\a.mp3\r\n\\home\\u\\b \"q\" |.mp3\r\nC:\\c.txt\r\n");
  EXPECT_EQ(LauncherArgs(), "1\n" + list + "\n");

  // The folder is emptied before each list: at most one lies there.
  SendDataFilesToFolder(KernelId(4294967295u), {"C:\\d.txt"});
  EXPECT_FALSE(fs::exists(list));
  EXPECT_EQ(Read(ListFile("_txdat.dat")), "4294967295\r\nC:\\d.txt\r\n");
}

TEST_F(SendFilesTest, ANameWithALineBreakIsNotWrittenAndIsNamed) {
  host_.ExpectMessageBox(platform::IDOK, "These files cannot be sent, their names hold a line break:\nC:\\two\nlines.mp3");
  SendFilesToPlayer(KernelId(), {"C:\\two\nlines.mp3", "C:\\fine.mp3"});
  EXPECT_EQ(Read(ListFile("_txman.dat")), "C:\\fine.mp3\r\n");
}

TEST_F(SendFilesTest, WithoutTheInstallationKeyNothingStarts) {
  platform::SettingsKey::Delete(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  host_.ExpectMessageBox(platform::IDOK,
                         "Could not read path to tovarinxx.exe from registry.  Ombrix Suite was not installed properly.");
  SendFilesToPlayer(KernelId(), {"C:\\a.mp3"});
  EXPECT_EQ(Read(ListFile("_txman.dat")), "C:\\a.mp3\r\n");  // left for the next send to empty
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(fs::exists(install_ + "/tovarinj1.args"));
}

// A launcher that cannot start is named in a message and its list does not stay behind.
TEST_F(SendFilesTest, ALauncherThatCannotStartIsNamedAndItsListRemoved) {
  const std::string launcher = install_ + "/tovarinj1";
  const struct {
    const char* what;
    std::function<void()> make;
    std::string reason;
  } cases[] = {
      {"missing", [&] { fs::remove(launcher); }, "No such file or directory"},
      {"not executable", [&] { ::chmod(launcher.c_str(), 0644); }, "Permission denied"},
      // The loader's answer when a library is missing (the installed copy's tests run the real one).
      {"its library missing", [&] { std::ofstream(launcher) << "#!/bin/sh\nexit 127\n"; },
       "it could not be loaded (a library it needs is missing)"},
      {"ending before it runs", [&] { std::ofstream(launcher) << "#!/bin/sh\nexit 3\n"; },
       "it ended at once (exit code 3)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MakeLauncher();
    c.make();
    host_.ExpectMessageBox(platform::IDOK, "Could not start \"" + launcher + "\": " + c.reason +
                                               ".  Ombrix Suite was not installed properly.");
    SendFilesToPlayer(KernelId(), {"C:\\a.mp3"});
    EXPECT_EQ(host_.pendingAnswers(), 0u);
    EXPECT_FALSE(fs::exists(ListFile("_txman.dat")));
  }
}

TEST_F(SendFilesTest, PasteTakesTheClipboardsFilesIntoAStorageFolderOnly) {
  platform::SetClipboardText("not files");
  host_.ExpectMessageBox(platform::IDOK, "There is nothing in the clipboard that can be pasted to your device.");
  PasteFilesToPlayer(Folder(NT_CONTAINER, kKindAudioTracks, "Audio Tracks"));
  platform::SetClipboardFiles({});
  host_.ExpectMessageBox(platform::IDOK, "Did not find any files to paste.");
  PasteFilesToPlayer(Folder(NT_CONTAINER, kKindAudioTracks, "Audio Tracks"));

  platform::SetClipboardFiles({"/music/a.mp3"});
  PasteFilesToPlayer(Folder(NT_CONTAINER, kKindAudioTracks, "Audio Tracks"));
  EXPECT_EQ(Read(ListFile("_txman.dat")), "\\music\\a.mp3\r\n");

  // A player with storage media takes pastes only into one of them.
  device_.SetCapability(DeviceOp::SupportsStorageList, 1);
  host_.ExpectMessageBox(platform::IDOK, "Please paste files to either the Internal Memory or SmartMedia Card folders.");
  PasteFilesToPlayer(Folder(NT_CONTAINER, kKindAudioTracks, "Audio Tracks"));
  fs::remove(install_ + "/tovarinj1.args");
  PasteFilesToPlayer(Folder(NT_MEMSEG, 7, "Internal"));
  EXPECT_EQ(LauncherArgs(), "1\n" + ListFile("_txman.dat") + "\n");
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

TEST_F(SendFilesTest, FilesHandedToADataFolderGoToThatFolder) {
  SendFilesIntoFolder(Folder(NT_DATAFOLDER, 42, "Documents"), {"C:\\doc.pdf"});
  EXPECT_EQ(Read(ListFile("_txdat.dat")), "42\r\nC:\\doc.pdf\r\n");
  SendFilesIntoFolder(Folder(NT_CONTAINER, kKindAudioTracks, "Audio Tracks"), {"C:\\a.mp3"});
  EXPECT_EQ(Read(ListFile("_txman.dat")), "C:\\a.mp3\r\n");
}

}  // namespace
}  // namespace shellexttest
