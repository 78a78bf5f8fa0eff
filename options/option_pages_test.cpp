// The library's option pages: what each shows from its settings and their defaults,
// what OK writes, values refused for their range, and each page's own buttons and rules.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <thread>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "device/device_error.h"
#include "device/memory_device.h"
#include "options/family_pages.h"
#include "options/general_pages.h"
#include "options/log_page.h"
#include "options/playback_page.h"
#include "options/player_pages.h"
#include "options/transcoding_pages.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/shell/removable_drives.h"
#include "platform/shell/shell.h"
#include "testing/desktop_answers.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "platform/window/window.h"
#include "transfer/conversion_rules.h"

using namespace device;

extern "C" const char* __lsan_default_suppressions() { return "leak:libgio-2.0.so\nleak:libglib-2.0.so\n"; }

namespace options {
namespace {

namespace fs = std::filesystem;
using platform::DialogDriver;
using platform::IDOK;

const bool kIsolated = platform::testing::IsolateNamespace();

// A player that counts the driver-information requests and fails them on demand.
class AboutPlayer : public MemoryDeviceBase {
 public:
  int shown = 0;
  bool fail = false;
  void ShowSdkVersion() override {
    ++shown;
    if (fail) throw DeviceError(8, "Player", "The player is busy.");
  }
};

class OptionPagesTest : public platform::testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ::setenv("TMPDIR", dir_.c_str(), 1);  // the work folders
    g_ProductIdentity.InitFromPath("ombrixj1.so");
    platform::SettingsKey::Delete(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    platform::SettingsKey::Delete(platform::Hive::LocalMachine, kMediaPlayerUninstallKey);
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
  }
  void TearDown() override {
    ::unsetenv("TMPDIR");
    TempFolderTest::TearDown();
  }
  std::uint32_t Dword(const std::string& name) {
    std::uint32_t v = 0xDEAD;
    ReadSettingDword(name, v);
    return v;
  }
  std::string String(const std::string& name) {
    std::string v = "<none>";
    ReadSettingString(name, v);
    return v;
  }
  // Runs `page` alone in a sheet; the script acts on the page, then OK (unless it ended
  // the sheet itself). `prompts` queues what the script's clicks will bring up.
  void Run(platform::PropertyPage& page, const std::function<void(DialogDriver&)>& script,
           const std::function<void()>& prompts = {}) {
    host_.ExpectDialog("Options", [&](DialogDriver& d) {
      DialogDriver p = d.Page();
      script(p);
      if (!d.Ended()) d.Ok();
    });
    if (prompts) prompts();
    platform::PropertySheet sheet("Options");
    sheet.AddPage(&page);
    sheet.DoModal();
  }

  platform::ScriptedHost host_;
  std::optional<platform::SettingsKey> key_;
  AboutPlayer device_;
};

using PageFactory = std::function<std::unique_ptr<platform::PropertyPage>()>;

template <class Page, class... Args>
PageFactory Make(Args... args) {
  return [=] { return std::unique_ptr<platform::PropertyPage>(new Page(args...)); };
}

struct CheckCase {
  const char* page;
  PageFactory make;
  int id;
  const char* setting;
  int preset;
};

// Every check box: absent setting -> its default; stored value -> shown; a click -> the
// other value written on OK.
TEST_F(OptionPagesTest, CheckBoxesShowTheirSettingOrDefaultAndWriteItOnOk) {
  const std::vector<CheckCase> cases = {
      {"General", Make<OptGeneral>(nullptr, std::string("Player")), OptGeneral::kDisableConfirmations,
       "Gen_DisableCompletionConfirmations", 0},
      {"General", Make<OptGeneral>(nullptr, std::string("Player")), OptGeneral::kRightPaneAutoFocus,
       "Gen_Acc_RightPaneAutoFocus", 0},
      {"General", Make<OptGeneral>(nullptr, std::string("Player")), OptGeneral::kSpreadsheetView,
       "Gen_EnableSpreadsheetView", 1},
      {"General", Make<OptGeneral>(nullptr, std::string("Player")), OptGeneral::kFullRowSelect,
       "Gen_EnableFullRowSelect", 1},
      {"Jukebox", Make<OptJukebox>(), OptJukebox::kShowAllColumns, "JB_ShowAllColumns", 1},
      {"Jukebox", Make<OptJukebox>(), OptJukebox::kNoAskAutoPlaylists, "JB_Tx_DisableAskAutoPlaylistCreation", 0},
      {"Jukebox", Make<OptJukebox>(), OptJukebox::kOverwritePlaylists, "JB_Tx_OverwritePlaylists", 0},
      {"Brevlink", Make<OptJukeboxSynchro>(), OptJukeboxSynchro::kEnableOneTouch, "JB_Tx_EnableOTS", 0},
      {"Brevlink", Make<OptJukeboxSynchro>(), OptJukeboxSynchro::kLogging, "JB_Tx_SyncLogging", 0},
      {"Tag Handling", Make<OptJukeboxTagHandling>(), OptJukeboxTagHandling::kTimedTagReads, "JB_EnableTimedTagReads",
       0},
      {"Tag Handling", Make<OptJukeboxTagHandling>(), OptJukeboxTagHandling::kUseFolders, "ATM_UseFolders", 0},
      {"Tag Handling", Make<OptJukeboxTagHandling>(), OptJukeboxTagHandling::kWriteBack, "ATM_TWB_Enable", 0},
      {"Tag Handling", Make<OptJukeboxTagHandling>(), OptJukeboxTagHandling::kOnBoardWriteBack, "JB_Tx2PC_TagWriteBack",
       0},
      {"ZaRo", Make<OptZaro>(), OptZaro::kModeId, "MV_EnableMaxMode", 0},
      {"ZaRo", Make<OptZaro>(), OptZaro::kDetectId, "MV_AutoDetect", 1},
      {"ZaRo FX", Make<OptZaroNX>(), OptZaroNX::kModeId, "MN_EnableMaxMode", 1},  // switched off: no warning
      {"ZaRo FX", Make<OptZaroNX>(), OptZaroNX::kDetectId, "MN_AutoDetect", 1},
      {"VANTRO II", Make<OptVantroII>(), OptVantroII::kAlphaSort, "Gen_Tx_ForceAlphaSort", 0},
      {"VANTRO II", Make<OptVantroII>(), OptVantroII::kHideInternalMemory, "N2_HideInternalMemory", 0},
      {"VANTRO II", Make<OptVantroII>(), OptVantroII::kHideTuner, "N2_HideFMTuner", 0},
      {"Tonavel", Make<OptTonavel>(), OptTonavel::kEnable, "Xc2_On", 0},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(std::string(c.page) + " " + c.setting);
    key_->DeleteValue(c.setting);
    {
      auto page = c.make();
      Run(*page, [&](DialogDriver& p) {
        EXPECT_EQ(p.Check(c.id), c.preset);
        p.Click(c.id);
      });
    }
    EXPECT_EQ(Dword(c.setting), static_cast<std::uint32_t>(1 - c.preset));
    auto page = c.make();  // the stored value is shown
    Run(*page, [&](DialogDriver& p) { EXPECT_EQ(p.Check(c.id), 1 - c.preset); });
  }
}

struct TextCase {
  const char* page;
  PageFactory make;
  int id;
  const char* setting;
  const char* preset;
  bool emptyIsPreset;  // a stored empty text shows the default
};

TEST_F(OptionPagesTest, TextsShowTheirSettingOrDefaultAndWriteItOnOk) {
  const std::vector<TextCase> cases = {
      {"Jukebox", Make<OptJukebox>(), OptJukebox::kDisplayFormat, "JB_TrackDisplayFormat", "%A - %L - %N - %T", true},
      {"Brevlink", Make<OptJukeboxSynchro>(), OptJukeboxSynchro::kSyncPath, "JB_Tx_SyncPath", "", false},
      {"Brevlink", Make<OptJukeboxSynchro>(), OptJukeboxSynchro::kTargetFolder, "JB_Tx2PC_SyncPath", "", false},
      {"Tag Handling", Make<OptJukeboxTagHandling>(), OptJukeboxTagHandling::kFillWith, "JB_Tx_ITagFillWith",
       "<Unknown>", true},
      {"Tag Handling", Make<OptJukeboxTagHandling>(), OptJukeboxTagHandling::kFileNameFormat, "JB_Tx2PC_FilenameFormat",
       "%A - %L - %N - %T.%C", true},
      {"Tag Handling", Make<OptJukeboxTagHandling>(), OptJukeboxTagHandling::kDelimiters, "ATM_DelimiterList", "-",
       true},
      {"Tag Handling", Make<OptJukeboxTagHandling>(), OptJukeboxTagHandling::kDefaultAlbum, "ATM_DefaultAlbum",
       "Single", true},
      {"VANTRO II", Make<OptVantroII>(), OptVantroII::kCardReader, "N2_CardReaderPath", "", false},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(std::string(c.page) + " " + c.setting);
    key_->DeleteValue(c.setting);
    {
      auto page = c.make();
      Run(*page, [&](DialogDriver& p) {
        EXPECT_EQ(p.Text(c.id), c.preset);
        p.Type(c.id, "Typed .%C");
      });
    }
    EXPECT_EQ(String(c.setting), "Typed .%C");
    key_->SetString(c.setting, "");
    auto page = c.make();
    Run(*page, [&](DialogDriver& p) { EXPECT_EQ(p.Text(c.id), c.emptyIsPreset ? c.preset : ""); });
  }
}

TEST_F(OptionPagesTest, TagHandlingRadiosAreOneGroupWithASettingEach) {
  {
    OptJukeboxTagHandling page;
    Run(page, [](DialogDriver& p) {
      EXPECT_EQ(p.Check(OptJukeboxTagHandling::kFill), 1);
      EXPECT_EQ(p.Check(OptJukeboxTagHandling::kUseAtm) + p.Check(OptJukeboxTagHandling::kPrompt) +
                    p.Check(OptJukeboxTagHandling::kSkip),
                0);
      p.Click(OptJukeboxTagHandling::kSkip);
    });
  }
  EXPECT_EQ(Dword("JB_Tx_ITagSkip"), 1u);
  for (const char* name : {"JB_Tx_UseATM", "JB_Tx_ITagPrompt", "JB_Tx_ITagFill"}) EXPECT_EQ(Dword(name), 0u) << name;
}

TEST_F(OptionPagesTest, WriteBackKindsFollowTheWriteBackBox) {
  OptJukeboxTagHandling page;
  Run(page, [](DialogDriver& p) {
    EXPECT_FALSE(p.Enabled(OptJukeboxTagHandling::kWriteBackV1));
    EXPECT_FALSE(p.Enabled(OptJukeboxTagHandling::kWriteBackV2));
    p.Click(OptJukeboxTagHandling::kWriteBack);
    EXPECT_TRUE(p.Enabled(OptJukeboxTagHandling::kWriteBackV1));
    p.Click(OptJukeboxTagHandling::kWriteBackV1).Click(OptJukeboxTagHandling::kWriteBackV2);
  });
  EXPECT_EQ(Dword("ATM_TWB_UseV1"), 1u);
  EXPECT_EQ(Dword("ATM_TWB_UseV2"), 1u);
}

TEST_F(OptionPagesTest, AFileNameFormatWithoutTheExtensionIsSavedThenWarnedAbout) {
  struct Case {
    const char* format;
    bool warned;
  };
  const Case cases[] = {{"%A - %T", true}, {"%A - %T.%C", false}, {"%A.%C - %T", false}, {"%A.C", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    OptJukeboxTagHandling page;
    host_.ExpectDialog("Options", [&](DialogDriver& d) {
      d.Page().Type(OptJukeboxTagHandling::kFileNameFormat, c.format);
      if (c.warned) host_.ExpectNextMessageBox(IDOK, "does not include\na filename extension.");
      d.Ok();
    });
    platform::PropertySheet sheet("Options");
    sheet.AddPage(&page);
    sheet.DoModal();
    EXPECT_EQ(String("JB_Tx2PC_FilenameFormat"), c.format);
  }
}

TEST_F(OptionPagesTest, UseDefaultButtonsPutTheDefaultFormats) {
  key_->SetString("JB_TrackDisplayFormat", "%T");
  key_->SetString("JB_Tx2PC_FilenameFormat", "%T.%C");
  OptJukebox jukebox;
  Run(jukebox, [](DialogDriver& p) { p.Click(OptJukebox::kUseDefault); });
  EXPECT_EQ(String("JB_TrackDisplayFormat"), "%A - %L - %N - %T");
  OptJukeboxTagHandling tags;
  Run(tags, [](DialogDriver& p) { p.Click(OptJukeboxTagHandling::kUseDefaultFormat); });
  EXPECT_EQ(String("JB_Tx2PC_FilenameFormat"), "%A - %L - %N - %T.%C");
}

TEST_F(OptionPagesTest, TagHelpOpensTheHelpAddressAndNeverAnEmptyOne) {
  platform::ShellOpenRecording opened;
  {
    OptJukeboxTagHandling page;
    Run(page, [&](DialogDriver& p) {
      host_.ExpectNextMessageBox(IDOK, "Could not read url for help page from the registry.");
      p.Click(OptJukeboxTagHandling::kTagHelp);
    });
  }
  EXPECT_TRUE(opened.calls().empty());
  key_->SetString("URL_Help", "https://help.example/");
  key_->SetString("URL_HelpTagging", "tags.html");
  OptJukeboxTagHandling page;
  Run(page, [](DialogDriver& p) { p.Click(OptJukeboxTagHandling::kTagHelp); });
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_EQ(opened.calls()[0].target, "https://help.example/tags.html");
}

// ---- General and About ----

TEST_F(OptionPagesTest, DoubleClickActionsDependOnPlaybackAndAStoredActionBeyondThemSavesTheFirst) {
  struct Case {
    int playback;
    int stored;
    std::vector<std::string> items;
    int shown;
  };
  const std::vector<std::string> two = {"Properties (Edit Tag)", "Play in Test Player"};
  const std::vector<std::string> four = {"Properties (Edit Tag)", "Play in Test Player", "Play on Jukebox",
                                         "Queue on Jukebox"};
  const Case cases[] = {{1, 3, four, 3}, {0, 1, two, 1}, {0, 3, two, 0}, {0, 2, two, 0}, {1, 7, four, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.playback) + " " + std::to_string(c.stored));
    device_.SetCapability(DeviceOp::SupportsPlayback, c.playback);
    key_->SetDword("Gen_TrackDefaultAction", static_cast<std::uint32_t>(c.stored));
    OptGeneral page(&device_, "Test Player");
    Run(page, [&](DialogDriver& p) {
      EXPECT_EQ(p.Items(OptGeneral::kTrackAction), c.items);
      EXPECT_EQ(p.Selection(OptGeneral::kTrackAction), c.shown);
    });
    EXPECT_EQ(Dword("Gen_TrackDefaultAction"), static_cast<std::uint32_t>(c.shown));
  }
}

TEST_F(OptionPagesTest, TheWorkFolderMustBeAFolder) {
  const std::string file = dir_ + "/a file";
  std::ofstream(file) << "x";
  struct Case {
    std::optional<std::string> stored;
    std::string shown;
  };
  const std::string folder = platform::FromPosixPath(dir_);
  const Case cases[] = {{std::nullopt, DefaultWorkFolder()},
                        {platform::FromPosixPath(file), DefaultWorkFolder()},
                        {platform::FromPosixPath(dir_ + "/none"), DefaultWorkFolder()},
                        {folder, folder}};
  for (const Case& c : cases) {
    if (c.stored) {
      key_->SetString("Gen_TempPath", *c.stored);
    } else {
      key_->DeleteValue("Gen_TempPath");
    }
    EXPECT_EQ(OptGeneral(nullptr, "x").tempPath, c.shown) << c.stored.value_or("absent");
  }
  // Typed wrong: reported on OK, and the default is kept.
  OptGeneral page(nullptr, "x");
  host_.ExpectDialog("Options", [&](DialogDriver& d) {
    d.Page().Type(OptGeneral::kTempPath, "C:\\no such folder");
    host_.ExpectNextMessageBox(
        IDOK, "'C:\\no such folder'\nis not a valid directory.  Setting temp directory to the default.");
    d.Ok();
  });
  platform::PropertySheet sheet("Options");
  sheet.AddPage(&page);
  sheet.DoModal();
  EXPECT_EQ(String("Gen_TempPath"), DefaultWorkFolder());
}

TEST_F(OptionPagesTest, WorkFolderButtonsAndTheRowColour) {
  fs::create_directories(dir_ + "/picked");
  OptGeneral page(nullptr, "x");
  Run(
      page,
      [&](DialogDriver& p) {
        p.Click(OptGeneral::kDefaultTempPath);
        EXPECT_EQ(p.Text(OptGeneral::kTempPath), platform::ToPosixPath(DefaultWorkFolder()));
        p.Click(OptGeneral::kDisableConfirmations);  // a change elsewhere survives the buttons
        p.Click(OptGeneral::kBrowseTempPath);
        EXPECT_EQ(p.Text(OptGeneral::kTempPath), dir_ + "/picked");  // as the desktop writes it
        p.Click(OptGeneral::kChangeColour);
        EXPECT_EQ(page.rowColour, OptGeneral::kDefaultRowColour);
        p.Click(OptGeneral::kChangeColour);
        platform::Canvas canvas({0, 0, 30, 12});
        p.window().Paint(OptGeneral::kRowColour, canvas);
        ASSERT_FALSE(canvas.Ops().empty());
        EXPECT_EQ(canvas.Ops()[0].colour, platform::RGB(1, 2, 3));
      },
      [&] {
        host_.ExpectFolderPicker(dir_ + "/picked", "Select a directory to use as temporary space:");
        host_.ExpectColourPicker(std::nullopt);  // cancelled: the colour stays
        host_.ExpectColourPicker(platform::RGB(1, 2, 3));
      });
  EXPECT_EQ(String("Gen_TempPath"), platform::FromPosixPath(dir_ + "/picked"));
  EXPECT_EQ(Dword("Gen_SpreadsheetColor"), platform::RGB(1, 2, 3));
  EXPECT_EQ(Dword("Gen_DisableCompletionConfirmations"), 1u);
  EXPECT_EQ(String("Gen_ExtBrowserPath"), "iexplore.exe");
}

TEST_F(OptionPagesTest, AboutShowsTheVersionAndAsksTheDriverForItsOwn) {
  OptAbout page(&device_);
  EXPECT_EQ(page.titleLine.rfind("Ombrix Jukebox ", 0), 0u) << page.titleLine;
  Run(page, [&](DialogDriver& p) {
    EXPECT_EQ(p.Text(OptAbout::kTitleLine), page.titleLine);
    p.Click(OptAbout::kDriverInfo);
    device_.fail = true;
    p.Click(OptAbout::kDriverInfo);  // the failure is dropped
  });
  EXPECT_EQ(device_.shown, 2);
  EXPECT_TRUE(host_.shown().empty());
}

// ---- Brevlink ----

TEST_F(OptionPagesTest, SourceFoldersAreAddedDeletedAndOfferedAsTheTarget) {
  for (const char* d : {"music", "more", "a|b"}) fs::create_directories(dir_ + "/" + d);
  key_->SetString("JB_Tx2PC_SyncPath", platform::FromPosixPath(dir_ + "/more"));
  const std::string more = platform::FromPosixPath(dir_ + "/more");
  OptJukeboxSynchro page;
  const std::string title = "Select a folder to sync your Jukebox to:";
  Run(
      page,
      [&](DialogDriver& p) {
        // No source yet: the text alone. Folders show as the desktop writes them.
        EXPECT_EQ(p.Text(OptJukeboxSynchro::kTargetFolder), dir_ + "/more");
        for (int i = 0; i < 4; ++i) p.Click(OptJukeboxSynchro::kAddFolder);
        const std::vector<std::string> shown = {dir_ + "/music", dir_ + "/more"};
        EXPECT_EQ(p.Items(OptJukeboxSynchro::kSourceFolders), shown);
        EXPECT_EQ(p.Items(OptJukeboxSynchro::kTargetFolder), shown);
        EXPECT_EQ(p.Selection(OptJukeboxSynchro::kTargetFolder), 1);
        p.Select(OptJukeboxSynchro::kSourceFolders, 0).Click(OptJukeboxSynchro::kDeleteFolder);
        EXPECT_EQ(p.Items(OptJukeboxSynchro::kSourceFolders), std::vector<std::string>{dir_ + "/more"});
      },
      [&] {
        host_.ExpectFolderPicker(dir_ + "/music", title).ExpectFolderPicker(dir_ + "/more", title);
        host_.ExpectFolderPicker(dir_ + "/a|b", title).ExpectMessageBox(IDOK, "cannot be added");
        host_.ExpectFolderPicker(std::nullopt, title);
      });
  EXPECT_EQ(String("JB_Tx_SyncFolderList"), more + "|");
  EXPECT_EQ(String("JB_Tx2PC_SyncPath"), more);
  OptJukeboxSynchro again;
  Run(again, [](DialogDriver& p) {
    p.Select(OptJukeboxSynchro::kSourceFolders, 0).Click(OptJukeboxSynchro::kDeleteFolder);
    EXPECT_TRUE(p.Items(OptJukeboxSynchro::kSourceFolders).empty());
  });
  EXPECT_EQ(String("JB_Tx_SyncFolderList"), "");
}

TEST_F(OptionPagesTest, ResettingTheCacheDeletesItsFilesOrSaysOneIsLocked) {
  std::string windowsFolder;
  GetWorkFolder(windowsFolder, "filech");
  const std::string folder = platform::ToPosixPath(windowsFolder);
  auto make = [&] {
    for (const std::string& f : OptJukeboxSynchro::CacheFiles()) std::ofstream(folder + "/" + f) << "x";
  };
  make();
  {
    OptJukeboxSynchro page;
    Run(page, [&](DialogDriver& p) {
      host_.ExpectNextMessageBox(IDOK,
                                 "The cache has been reset.  It will be rebuilt the next time you invoke Synchro.");
      p.Click(OptJukeboxSynchro::kResetCache);
    });
  }
  for (const std::string& f : OptJukeboxSynchro::CacheFiles()) EXPECT_FALSE(fs::exists(folder + "/" + f)) << f;
  // One that cannot be deleted (here a folder that holds something) is reported; the
  // others go.
  make();
  fs::remove(folder + "/mod2.db");
  fs::create_directories(folder + "/mod2.db/inside");
  OptJukeboxSynchro page;
  Run(page, [&](DialogDriver& p) {
    host_.ExpectNextMessageBox(IDOK, "The cache file is locked and cannot be reset right now.");
    p.Click(OptJukeboxSynchro::kResetCache);
  });
  for (const std::string& f : OptJukeboxSynchro::CacheFiles()) {
    EXPECT_EQ(fs::exists(folder + "/" + f), f == "mod2.db") << f;
  }
}

TEST_F(OptionPagesTest, BrevlinkLogAndTheLogButtonsOpenTheirLogs) {
  platform::ShellOpenRecording opened;
  std::string reports;
  GetWorkFolder(reports, "reports");
  CLogDlg logs;
  Run(logs, [&](DialogDriver& p) {
    for (const CLogDlg::LogButton& b : CLogDlg::kButtons) {
      SCOPED_TRACE(b.file);
      host_.ExpectNextMessageBox(IDOK, "Could not find log file.");
      p.Click(b.id);
      std::ofstream(platform::ToPosixPath(reports + b.file)) << "log";
      p.Click(b.id);
      ASSERT_FALSE(opened.calls().empty());
      EXPECT_EQ(opened.calls().back().target, platform::ToPosixPath(reports + b.file));
    }
  });
  EXPECT_EQ(opened.calls().size(), 5u);
  OptJukeboxSynchro page;
  Run(page, [](DialogDriver& p) { p.Click(OptJukeboxSynchro::kViewLog); });
  EXPECT_EQ(opened.calls().size(), 6u);
  EXPECT_EQ(opened.calls().back().target, platform::ToPosixPath(reports + "_synclog.txt"));
}

// ---- ZaRo and VANTRO II ----

class ZaroPagesTest : public OptionPagesTest {
 protected:
  void SetUp() override {
    OptionPagesTest::SetUp();
    // One removable volume (a USB disk) mounted at "stick", a fixed one at "disk".
    const std::string disk = dir_ + "/sys/devices/usb1/block/sdb";
    fs::create_directories(disk + "/sdb1");
    std::ofstream(disk + "/removable") << "0\n";
    std::ofstream(disk + "/sdb1/partition") << "1\n";
    fs::create_directories(dir_ + "/sys/class/block");
    fs::create_symlink(disk + "/sdb1", dir_ + "/sys/class/block/sdb1");
    fs::create_directories(dir_ + "/stick");
    fs::create_directories(dir_ + "/disk");
    std::ofstream(dir_ + "/mounts") << "/dev/sdb1 " << dir_ << "/stick vfat rw 0 0\n/dev/sda1 " << dir_
                                    << "/disk ext4 rw 0 0\n";
    platform::SetVolumeSourcesForTesting(dir_ + "/mounts", dir_ + "/sys");
    ::setenv("TOVARIN_DRIVES", ("G=" + dir_ + "/stick;E=" + dir_ + "/disk").c_str(), 1);
  }
  void TearDown() override {
    platform::SetVolumeSourcesForTesting({}, {});
    ::unsetenv("TOVARIN_DRIVES");
    OptionPagesTest::TearDown();
  }
};

TEST_F(ZaroPagesTest, TheDriveListHoldsTheRemovableDrivesAndKeepsAStoredOne) {
  struct Case {
    const char* stored;
    int selected;
  };
  const Case cases[] = {{"G:", 0}, {"E:", -1}, {"", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    key_->SetString("MV_ManualDriveLetter", c.stored);
    key_->SetDword("MV_AutoDetect", 0);
    OptZaro page;
    Run(page, [&](DialogDriver& p) {
      EXPECT_EQ(p.Items(OptZaro::kDriveId), (std::vector<std::string>{"G:"}));
      EXPECT_EQ(p.Selection(OptZaro::kDriveId), c.selected);
      EXPECT_EQ(p.Text(OptZaro::kDriveId), c.stored);
      EXPECT_TRUE(p.Enabled(OptZaro::kDriveId));
    });
    EXPECT_EQ(String("MV_ManualDriveLetter"), c.stored);
  }
}

TEST_F(ZaroPagesTest, DetectionDisablesTheDriveWhoseTextIsStillSaved) {
  key_->SetString("MN_ManualDriveLetter", "Q:");
  OptZaroNX page;
  Run(page, [](DialogDriver& p) {
    EXPECT_FALSE(p.Enabled(OptZaroNX::kDriveId));
    p.Click(OptZaroNX::kDetectId);
    EXPECT_TRUE(p.Enabled(OptZaroNX::kDriveId));
    p.Select(OptZaroNX::kDriveId, "G:");
    p.Click(OptZaroNX::kDetectId);
    EXPECT_FALSE(p.Enabled(OptZaroNX::kDriveId));
  });
  EXPECT_EQ(String("MN_ManualDriveLetter"), "G:");
  EXPECT_EQ(Dword("MN_AutoDetect"), 1u);
}

TEST_F(ZaroPagesTest, SwitchingTheFxModeOnWarnsOnlyThatPage) {
  key_->SetDword("MN_EnableMaxMode", 0);
  OptZaroNX nx;
  Run(nx, [&](DialogDriver& p) {
    host_.ExpectNextMessageBox(IDOK,
                               "After enabling Corundel, please delete all existing files\non your ZaRo NX before "
                               "continuing to using Ombrix Suite.");
    p.Click(OptZaroNX::kModeId);
    p.Click(OptZaroNX::kModeId);  // off again: nothing said
  });
  OptZaro zaro;
  Run(zaro, [](DialogDriver& p) { p.Click(OptZaro::kModeId); });
  EXPECT_EQ(host_.shown().size(), 1u);
}

TEST_F(OptionPagesTest, CardReaderIsPicked) {
  fs::create_directories(dir_ + "/reader");
  OptVantroII page;
  Run(
      page, [](DialogDriver& p) { p.Click(OptVantroII::kBrowse); },
      [&] { host_.ExpectFolderPicker(dir_ + "/reader", "Select the folder where your card reader is mounted:"); });
  EXPECT_EQ(String("N2_CardReaderPath"), platform::FromPosixPath(dir_ + "/reader"));
}

// ---- Tonavel ----

TEST_F(OptionPagesTest, RulesAreChangedByTheirMenuAndResetTogether) {
  key_->SetDword("Xc2_On", 1);
  OptTonavel page;
  std::vector<int> formats;
  Run(page, [&](DialogDriver& p) {
    formats = page.RuleFormats();
    ASSERT_FALSE(formats.empty());
    platform::ListViewControl& rules = p.window().ListView(OptTonavel::kRules);
    // Every format with choices has a row with its current rule.
    for (int row = 0; row < rules.GetItemCount(); ++row) {
      std::vector<std::uint32_t> choices;
      int selected = 0;
      transfer::ListConversionChoices(formats[static_cast<std::size_t>(row)], choices, selected);
      std::string text;
      transfer::DescribeConversionRule(text, choices[static_cast<std::size_t>(selected)]);
      EXPECT_EQ(rules.GetItemText(row, 1), text);
    }
    host_.ExpectNextMessageBox(IDOK, "Please select one rule to change.");
    rules.UserRightClick(-1);
    // The last choice of the first format, from its menu.
    std::vector<std::uint32_t> choices;
    int selected = 0;
    transfer::ListConversionChoices(formats[0], choices, selected);
    const int last = static_cast<int>(choices.size()) - 1;
    host_.ExpectMenu(static_cast<platform::UINT>(OptTonavel::kFirstRuleCommand + last));
    rules.UserRightClick(0);
    EXPECT_EQ(transfer::GetConversionRule(formats[0]), choices.back());
    const std::string menu = host_.prompts().back().text;
    std::string current;
    transfer::DescribeConversionRule(current, choices[static_cast<std::size_t>(selected)]);
    EXPECT_NE(menu.find("[x] " + current), std::string::npos) << menu;
    p.Click(OptTonavel::kResetRules);
    std::uint32_t stored = 0;
    EXPECT_EQ(ReadSettingDword("Xc2_S" + std::string(formats[0] < 10 ? "0" : "") + std::to_string(formats[0]), stored),
              1);
    EXPECT_EQ(stored, 0u);
    p.Click(OptTonavel::kEnable);
    EXPECT_FALSE(p.Enabled(OptTonavel::kRules));
    EXPECT_FALSE(p.Enabled(OptTonavel::kResetRules));
  });
  EXPECT_EQ(Dword("Xc2_On"), 0u);
}

struct TranscodeCase {
  const char* setting;
  std::optional<int> stored;
  int slider;
  int position;
  int label;
  const char* text;
  int saved;
};

TEST_F(OptionPagesTest, EncoderSettingsMapToTheSlidersAndBack) {
  using P = OptTransfersTranscode;
  const TranscodeCase cases[] = {
      {"Xc_MP3_CBRBitrate", std::nullopt, P::kMp3Bitrate, 8, P::kMp3BitrateLabel, "128 Kbps ", 128},
      {"Xc_MP3_CBRBitrate", 150, P::kMp3Bitrate, 8, P::kMp3BitrateLabel, "128 Kbps ", 128},
      {"Xc_MP3_CBRBitrate", 320, P::kMp3Bitrate, 13, P::kMp3BitrateLabel, "320 Kbps ", 320},
      {"Xc_MP3_VBRQuality", 0, P::kMp3Quality, 9, P::kMp3QualityLabel, "100 % ", 0},
      {"Xc_MP3_VBRQuality", 9, P::kMp3Quality, 0, P::kMp3QualityLabel, "10 % ", 9},
      {"Xc_MP3_VBRQuality", 12, P::kMp3Quality, 0, P::kMp3QualityLabel, "10 % ", 9},  // held to 0..9
      {"Xc_MP3_VBRQuality", -1, P::kMp3Quality, 9, P::kMp3QualityLabel, "100 % ", 0},
      {"Xc_WMA_CBRBitrate", 40, P::kWmaBitrate, 5, P::kWmaBitrateLabel, "128 Kbps ", 128},
      {"Xc_WMA_CBRBitrate", 32, P::kWmaBitrate, 0, P::kWmaBitrateLabel, "32 Kbps ", 32},
      {"Xc_WMA_VBRQuality", std::nullopt, P::kWmaQuality, 2, P::kWmaQualityLabel, "50 % ", 50},
      {"Xc_WMA_VBRQuality", 98, P::kWmaQuality, 5, P::kWmaQualityLabel, "98 % ", 98},
  };
  for (const TranscodeCase& c : cases) {
    SCOPED_TRACE(std::string(c.setting) + " " + (c.stored ? std::to_string(*c.stored) : "absent"));
    if (c.stored) {
      key_->SetDword(c.setting, static_cast<std::uint32_t>(*c.stored));
    } else {
      key_->DeleteValue(c.setting);
    }
    OptTransfersTranscode page;
    Run(page, [&](DialogDriver& p) {
      EXPECT_EQ(p.Selection(c.slider), c.position);
      EXPECT_EQ(p.Text(c.label), c.text);
    });
    EXPECT_EQ(Dword(c.setting), static_cast<std::uint32_t>(c.saved));
  }
}

TEST_F(OptionPagesTest, SlidersShowByRateModeAndTheirLabelsFollowThem) {
  using P = OptTransfersTranscode;
  OptTransfersTranscode page;
  Run(page, [](DialogDriver& p) {
    EXPECT_TRUE(p.Visible(P::kMp3Bitrate));
    EXPECT_TRUE(p.Visible(P::kMp3BitrateLabel));
    EXPECT_FALSE(p.Visible(P::kMp3Quality));
    EXPECT_FALSE(p.Visible(P::kWmaQualityLabel));
    p.Click(P::kMp3Variable);
    EXPECT_FALSE(p.Visible(P::kMp3Bitrate));
    EXPECT_TRUE(p.Visible(P::kMp3Quality));
    p.DragSlider(P::kMp3Quality, 7);
    EXPECT_EQ(p.Text(P::kMp3QualityLabel), "80 % ");
    p.Click(P::kWmaVariable).DragSlider(P::kWmaQuality, 0);
    EXPECT_EQ(p.Text(P::kWmaQualityLabel), "10 % ");
  });
  EXPECT_EQ(Dword("Xc_MP3_RateMode_CBR"), 0u);
  EXPECT_EQ(Dword("Xc_MP3_RateMode_VBR"), 1u);
  EXPECT_EQ(Dword("Xc_MP3_VBRQuality"), 2u);
  EXPECT_EQ(Dword("Xc_WMA_RateMode_VBR"), 1u);
  EXPECT_EQ(Dword("Xc_WMA_VBRQuality"), 10u);
}

TEST_F(OptionPagesTest, TheReduceBitrateThresholdIsRefusedOutsideItsRange) {
  OptTransfersTranscode page;
  host_.ExpectDialog("Options", [&](DialogDriver& d) {
    EXPECT_EQ(d.Page().Text(OptTransfersTranscode::kThreshold), "128");
    for (const char* bad : {"31", "321", ""}) {
      d.Page().Type(OptTransfersTranscode::kThreshold, bad);
      host_.ExpectNextMessageBox(IDOK, "between 32 and 320");
      d.Ok();
      EXPECT_FALSE(d.Ended()) << bad;
    }
    d.Page().Type(OptTransfersTranscode::kThreshold, "320");
    d.Ok();
  });
  platform::PropertySheet sheet("Options");
  sheet.AddPage(&page);
  sheet.DoModal();
  EXPECT_EQ(Dword("Xc2_RThr"), 320u);
}

// ---- Lumarest ----

class PlaybackPageTest : public OptionPagesTest {
 protected:
  void SetUp() override {
    OptionPagesTest::SetUp();
    for (const char* d : {"install", "player/Plugins"}) fs::create_directories(dir_ + "/" + d);
    key_->SetString("", platform::FromPosixPath(dir_ + "/install"));
    std::ofstream(dir_ + "/install/" + PluginSourceName()) << "library";
  }
  void InstallMediaPlayer() {
    platform::SettingsKey::Create(platform::Hive::LocalMachine, kMediaPlayerUninstallKey)
        .SetString(kMediaPlayerUninstallValue, "\"" + platform::FromPosixPath(dir_ + "/player/mlhost") + "\"");
  }
  void Player(const std::string& id, const std::string& name, const std::string& program) {
    desktop_.AddApplication(id, name, program, {"audio/x-mpegurl"});
  }
  // Serves the page's messages until the desktop's answers fill its program list.
  static void Found(DialogDriver& p) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!p.Enabled(OptLumarest::kPrograms)) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the program list was never filled";
      platform::WaitForInput(100);
      p.Pump();
    }
  }
  std::string Copy(const char* model) const { return dir_ + "/player/Plugins/" + PluginCopyName(model); }
  static std::string Read(const std::string& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  platform::testing::DesktopAnswers desktop_;
};

TEST_F(PlaybackPageTest, CompensationIsHeldToItsRangeAndTheExternalPlayerIsAlwaysWritten) {
  struct Case {
    std::optional<std::uint32_t> stored;
    int shown;
  };
  const Case cases[] = {{std::nullopt, 0}, {25, 20}, {0xFFFFFFFDu, 0}, {7, 7}};
  for (const Case& c : cases) {
    if (c.stored) key_->SetDword("Lum_Compensation", *c.stored);
    OptLumarest page;
    Run(page, [&](DialogDriver& p) { EXPECT_EQ(p.Selection(OptLumarest::kCompensation), c.shown); });
    EXPECT_EQ(Dword("Lum_Compensation"), static_cast<std::uint32_t>(c.shown));
    EXPECT_EQ(Dword("Lum_ExternalPlayer"), 1068u);
  }
}

TEST_F(PlaybackPageTest, TheMediaLibraryBoxesFollowTheInstallationAndThePlayersPluginFolder) {
  struct Case {
    const char* what;
    std::uint32_t installed;
    bool player;
    bool shown;
    std::array<bool, 4> enabled;
  };
  const Case cases[] = {
      {"no media library", 0x78, true, false, {true, true, true, true}},
      {"two models", OptLumarest::kMediaLibraryBit | 0x8 | 0x20, true, true, {true, false, true, false}},
      {"no media player", OptLumarest::kMediaLibraryBit | 0x78, false, true, {false, false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    key_->SetDword("Kor_InstallResult", c.installed);
    platform::SettingsKey::Delete(platform::Hive::LocalMachine, kMediaPlayerUninstallKey);
    if (c.player) InstallMediaPlayer();
    OptLumarest page;
    Run(page, [&](DialogDriver& p) {
      EXPECT_EQ(p.Visible(OptLumarest::kMediaLibraryTitle), c.shown);
      EXPECT_EQ(p.Visible(OptLumarest::kMediaLibraryNote), c.shown);
      for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(p.Visible(OptLumarest::kModelIds[i]), c.shown) << i;
        EXPECT_EQ(p.Enabled(OptLumarest::kModelIds[i]), c.enabled[i]) << i;
      }
    });
  }
  EXPECT_TRUE(fs::is_empty(dir_ + "/player/Plugins"));
}

TEST_F(PlaybackPageTest, TickedModelsGetTheirCopyAndUntickedOnesLoseIt) {
  key_->SetDword("Kor_InstallResult", OptLumarest::kMediaLibraryBit | 0x78);
  InstallMediaPlayer();
  EXPECT_EQ(MediaPlayerPluginFolder(), platform::FromPosixPath(dir_ + "/player/Plugins") + "\\");
  std::ofstream(Copy("j2")) << "older copy";
  std::ofstream(Copy("jz")) << "older copy";
  OptLumarest page;
  EXPECT_EQ(page.models, (std::array<int, 4>{0, 1, 0, 1}));
  Run(page, [](DialogDriver& p) {
    p.Click(OptLumarest::kModelIds[0]);  // j1 on
    p.Click(OptLumarest::kModelIds[3]);  // jz off
  });
  EXPECT_EQ(Read(Copy("j1")), "library");
  EXPECT_EQ(Read(Copy("j2")), "older copy");  // a copy that exists is kept
  EXPECT_FALSE(fs::exists(Copy("j3")));
  EXPECT_FALSE(fs::exists(Copy("jz")));
}

TEST_F(PlaybackPageTest, ARunningMediaPlayerBlocksTheCopies) {
  key_->SetDword("Kor_InstallResult", OptLumarest::kMediaLibraryBit | 0x78);
  InstallMediaPlayer();
  platform::RegisterClass(std::string(kMediaPlayerWindowClass), {});
  const platform::HWND player = platform::CreateWindow(kMediaPlayerWindowClass);
  ASSERT_NE(player, 0u);
  OptLumarest page;
  Run(page, [&](DialogDriver& p) {
    host_.ExpectNextMessageBox(IDOK, "Please close mlhost before changing these options.");
    p.Click(OptLumarest::kModelIds[0]);
  });
  platform::DestroyWindow(player);
  EXPECT_FALSE(fs::exists(Copy("j1")));
}

TEST_F(PlaybackPageTest, ThePlaybackProgramIsTheDesktopsDefaultForStreamPlaylists) {
  Player("alpha.desktop", "Alpha", "/usr/bin/alpha");
  Player("beta.desktop", "Beta", "beta-player-not-installed");
  desktop_.systemDefaults["audio/x-mpegurl"] = "alpha.desktop";
  desktop_.versions["/usr/bin/alpha"] = {"Alpha player", "3.0.18-1"};
  const std::string defaultEntry = "* Default: Alpha 3.0.1";
  {
    OptLumarest page;
    Run(page, [&](DialogDriver& p) {
      Found(p);
      EXPECT_EQ(p.Items(OptLumarest::kPrograms), (std::vector<std::string>{defaultEntry, "Alpha", "Beta"}));
      EXPECT_EQ(p.Text(OptLumarest::kPrograms), defaultEntry);  // no choice of the person's
      p.Select(OptLumarest::kPrograms, "Beta");
    });
  }
  EXPECT_EQ(desktop_.choices["audio/x-mpegurl"], "beta.desktop");
  {
    OptLumarest page;
    Run(page, [&](DialogDriver& p) {
      Found(p);
      EXPECT_EQ(p.Text(OptLumarest::kPrograms), "Beta");  // the person's choice wins
      p.Select(OptLumarest::kPrograms, defaultEntry);
    });
  }
  EXPECT_EQ(desktop_.choices.count("audio/x-mpegurl"), 0u);
}

// Each question may start one of the desktop's tools: the page asks them away from its
// window, shows nothing it does not know yet, and saves nothing before they answered.
TEST_F(PlaybackPageTest, TheDesktopIsAskedAwayFromTheWindowAndTheListWaitsForItsAnswers) {
  Player("alpha.desktop", "Alpha", "/usr/bin/alpha");
  Player("beta.desktop", "Beta", "/usr/bin/beta");
  Player("nameless.desktop", "", "/usr/bin/nameless");
  desktop_.systemDefaults["audio/x-mpegurl"] = "alpha.desktop";
  desktop_.versions["/usr/bin/alpha"] = {"Alpha player", "3.0.18-1"};
  desktop_.versions["/usr/bin/nameless"] = {"Nameless player", "1.2"};
  struct Case {
    const char* what;
    bool answered;  // the desktop answers before OK
    std::string choice;
  };
  const Case cases[] = {{"answered, then OK", true, "alpha.desktop"}, {"OK before the answers", false, "beta.desktop"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    desktop_.choices["audio/x-mpegurl"] = "beta.desktop";
    desktop_.asked.clear();
    desktop_.askedOnTestThread.clear();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    const std::thread::id window = std::this_thread::get_id();
    desktop_.onAsk = [&](const std::string&) {
      if (std::this_thread::get_id() != window) released.wait();
    };
    {
      OptLumarest page;
      Run(page, [&](DialogDriver& p) {
        EXPECT_TRUE(p.Items(OptLumarest::kPrograms).empty());
        EXPECT_FALSE(p.Enabled(OptLumarest::kPrograms));
        EXPECT_FALSE(p.Enabled(OptLumarest::kRegister));
        EXPECT_EQ(page.Picture(OptLumarest::kProgramIcon).GetIcon(), "audio-x-generic");
        if (!c.answered) return;
        release.set_value();
        Found(p);
        EXPECT_EQ(p.Items(OptLumarest::kPrograms),
                  (std::vector<std::string>{"* Default: Alpha 3.0.1", "Alpha", "Beta", "Nameless player 1.2"}));
        EXPECT_EQ(p.Text(OptLumarest::kPrograms), "Beta");
        EXPECT_TRUE(p.Enabled(OptLumarest::kRegister));
        p.Select(OptLumarest::kPrograms, "Alpha");
      });
      if (!c.answered) release.set_value();  // the page waits for its question as it goes
    }
    desktop_.onAsk = nullptr;
    EXPECT_EQ(desktop_.choices["audio/x-mpegurl"], c.choice);
    EXPECT_TRUE(desktop_.askedOnTestThread.empty()) << desktop_.askedOnTestThread.begin()->first;
    EXPECT_EQ(desktop_.asked["list audio/x-mpegurl audio/mpegurl application/vnd.apple.mpegurl audio/x-scpls"], 1);
  }
}

// The launchers send files to the player: registered as handlers of stream playlists (by
// an older installation), they are no playback program, nor the default one.
TEST_F(PlaybackPageTest, TheLaunchersAreNoPlaybackPrograms) {
  Player("tovarinj1.desktop", "Send to Ombrix Jukebox", "/opt/tovarin/tovarinj1");
  Player("tovarinxx.desktop", "tovarinxx", "/opt/tovarin/tovarinxx");
  Player("alpha.desktop", "Alpha", "/usr/bin/alpha");
  desktop_.systemDefaults["audio/x-mpegurl"] = "tovarinj1.desktop";
  desktop_.versions["/opt/tovarin/tovarinj1"] = {"Ombrix", "1.0"};
  OptLumarest page;
  Run(page, [&](DialogDriver& p) {
    Found(p);
    EXPECT_EQ(p.Items(OptLumarest::kPrograms), (std::vector<std::string>{"Alpha"}));
    EXPECT_EQ(p.Selection(OptLumarest::kPrograms), -1);
  });
  EXPECT_EQ(desktop_.choices.count("audio/x-mpegurl"), 0u);
}

// Without a default entry the first program is no stand-in for it, and a choice the list
// does not show is kept.
TEST_F(PlaybackPageTest, NothingChosenIsNeverSavedAsAChoice) {
  Player("beta.desktop", "Beta", "beta-player-not-installed");
  {
    OptLumarest page;
    Run(page, [&](DialogDriver& p) {
      Found(p);
      EXPECT_EQ(p.Items(OptLumarest::kPrograms), (std::vector<std::string>{"Beta"}));
      EXPECT_EQ(p.Selection(OptLumarest::kPrograms), -1);
    });
  }
  EXPECT_EQ(desktop_.choices.count("audio/x-mpegurl"), 0u);
  desktop_.choices["audio/x-mpegurl"] = "elsewhere.desktop";
  OptLumarest page;
  Run(page, [&](DialogDriver& p) {
    Found(p);
    EXPECT_EQ(p.Selection(OptLumarest::kPrograms), -1);
  });
  EXPECT_EQ(desktop_.choices["audio/x-mpegurl"], "elsewhere.desktop");
}

TEST_F(PlaybackPageTest, ARegisteredProgramJoinsTheList) {
  const std::string program = dir_ + "/bin/myplayer";
  fs::create_directories(dir_ + "/bin");
  std::ofstream(program) << "#!/bin/sh\n";
  fs::permissions(program, fs::perms::owner_all);
  OptLumarest page;
  const char* title = "Select a playback application to register...";
  Run(
      page,
      [&](DialogDriver& p) {
        Found(p);
        p.Click(OptLumarest::kRegister);
        Found(p);
        EXPECT_EQ(p.Items(OptLumarest::kPrograms), (std::vector<std::string>{"myplayer"}));
        p.Click(OptLumarest::kRegister);
        Found(p);
        p.Select(OptLumarest::kPrograms, "myplayer");
      },
      [&] {
        host_.ExpectFilePicker(program, title)
            .ExpectMessageBox(IDOK, "The selected application has been registered and added to the list.")
            .ExpectFilePicker(program, title)
            .ExpectMessageBox(IDOK, "The selected application is already registered.");
      });
  EXPECT_EQ(desktop_.choices["audio/x-mpegurl"], "myplayer.desktop");
}

}  // namespace
}  // namespace options
