// The streaming playback page: which program of the computer plays tracks streamed from
// the player (the desktop's default application for audio playlists), a buffering
// compensation, registering further programs, and the copies of the library that plug
// into the media player's library (one per jukebox model).
//
// The programs are the desktop's applications for audio playlist types, asked away from
// the window's thread (each question may start one of the desktop's tools): until they
// have answered, the list is empty and it and the Register button are disabled, and OK
// keeps the default as it is. The first entry,
// "* Default: " + a name, stands for the system's own default: choosing it removes the
// person's choice; choosing another makes it the person's default for "audio/x-mpegurl",
// which is what the library's "computer's player" lookup reads.
//
// The media player (`mlhost` stands in for it and carries its names): its uninstall entry
// names its program, its plug-ins lie in the folder "Plugins" beside it, and its main
// window has the class "Winamp v1.x".
#pragma once

#include <array>
#include <cstdint>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shell/applications.h"
#include "platform/shell/file_version.h"
#include "platform/ui/property_sheet.h"

namespace options {

// The media player's uninstall entry (HKEY_LOCAL_MACHINE), its value naming the program,
// and the class of its main window.
inline constexpr std::string_view kMediaPlayerUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Winamp";
inline constexpr std::string_view kMediaPlayerUninstallValue = "UninstallString";
inline constexpr std::string_view kMediaPlayerWindowClass = "Winamp v1.x";

// The type whose default application plays stream playlists, and the playlist types a
// playback program is listed for.
inline constexpr std::string_view kStreamPlaylistType = "audio/x-mpegurl";
const std::vector<std::string>& PlaybackPlaylistTypes();

// The media player's plug-in folder (Windows form, ending in "\"): the folder of the
// program its uninstall entry names + "Plugins\"; nullopt when the entry is missing or
// names no folder.
std::optional<std::string> MediaPlayerPluginFolder();
// The file names of a model's plug-in copy ("ml_" + module word + model code + ".so") and
// of its source in the installation folder (module word + ".so").
std::string PluginCopyName(std::string_view modelCode);
std::string PluginSourceName();

// What the desktop says of the programs the page lists.
struct PlaybackPrograms {
  // The system's default, when it is no launcher, and its version information.
  std::optional<platform::DesktopApplication> systemDefault;
  std::optional<platform::FileVersionInfo> systemDefaultVersion;
  // The registered programs but the launchers; the version information of those whose
  // entry gives no name (by program).
  std::vector<platform::DesktopApplication> programs;
  std::map<std::string, std::optional<platform::FileVersionInfo>> versions;
  std::string chosen;  // the person's choice, "" for none
};
// Asks the desktop (through its seam) what the page lists; any thread.
PlaybackPrograms AskPlaybackPrograms();

class OptLumarest : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 563;
  static constexpr int kCompensation = 1069;
  static constexpr int kPrograms = 1230;
  static constexpr int kProgramIcon = 1232;
  static constexpr int kRegister = 1128;
  static constexpr int kMediaLibraryTitle = 1155;
  static constexpr int kMediaLibraryNote = 1156;
  static constexpr std::array<int, 4> kModelIds = {1150, 1109, 1110, 1111};
  static constexpr std::array<const char*, 4> kModelCodes = {"j1", "j2", "j3", "jz"};
  static constexpr std::array<std::uint32_t, 4> kModelBits = {0x8, 0x10, 0x20, 0x40};
  static constexpr std::uint32_t kMediaLibraryBit = 1u << 24;
  static constexpr int kExternalPlayer = 1068;
  static constexpr const char* kDefaultPrefix = "* Default: ";
  // Posted to the page when the desktop has answered.
  static constexpr platform::UINT kProgramsAnswered = platform::WM_APP + 0x563;

  OptLumarest();
  // Waits for a question still out: its answer may not outlive the page.
  ~OptLumarest() override;
  void DoDataExchange(platform::DataExchange& dx) override;
  // Shows the model boxes the installation offers and fills the program list.
  bool OnInitDialog() override;
  // Writes the compensation, installs or removes the plug-in copies and makes the chosen
  // program the default.
  void OnOK() override;

  int compensation = 0;
  int externalPlayer = 0;
  std::uint32_t installResult = 0;
  std::array<int, 4> models{};
  bool modelsChanged = false;

  // The display name of a program from its version information: the description, a
  // blank and the first five characters of the version, one trailing "." dropped.
  static std::string VersionDisplayName(const std::string& description, const std::string& version);

 private:
  // Asks for the programs away from this thread; the list fills when they answer.
  void FindPrograms();
  void FillProgramList(const PlaybackPrograms& found);
  void ShowProgramIcon();
  void OnModelClicked(int index);
  void OnRegister();
  bool MediaPlayerRunning() const;

  std::optional<std::string> pluginFolder_;
  std::future<PlaybackPrograms> programs_;
  std::map<std::string, std::string> iconOfName_;  // display name -> icon of its program
  std::map<std::string, std::string> nameOfKey_;   // desktop id -> display name
  std::map<std::string, std::string> keyOfName_;   // display name -> desktop id
};

const platform::DialogTemplate& PlaybackPageTemplate();

}  // namespace options
