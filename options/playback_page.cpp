#include "options/playback_page.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include "common/identity.h"
#include "common/settings.h"
#include "device/device_client_error.h"
#include "options/page_settings.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/shell/applications.h"
#include "platform/shell/file_version.h"
#include "platform/text/text.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/desktop.h"
#include "platform/window/window.h"

using namespace device;

namespace options {

using namespace platform::layout;

namespace {

constexpr std::uint64_t kDefaultEntry = 1;

// The module word of the plug-in copies, from the module table's "ml_" rows.
std::string ModuleWord() {
  for (const ModuleRow& row : ModuleTable()) {
    const std::string name = row.name;
    if (!row.startupOnly || name.rfind("ml_", 0) != 0 || name.size() < 5) continue;
    return name.substr(3, name.size() - 5);  // without "ml_" and the two letters of the model
  }
  return "tovarin";
}

std::string CollapseBackslashes(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '\\' && !out.empty() && out.back() == '\\') continue;
    out.push_back(c);
  }
  return out;
}

// The launchers send files to the player; registered for stream playlists (by an older
// installation) they are still no program that plays them.
bool IsLauncher(const platform::DesktopApplication& app) {
  const std::string name = platform::ToLowerAscii(std::filesystem::path(app.program).filename().string());
  if (name == "tovarinxx") return true;
  for (const LauncherRow& row : LauncherTable()) {
    if (name == LauncherName(row)) return true;
  }
  return false;
}

std::string IconOf(const platform::DesktopApplication& app) {
  return app.icon.empty() || app.icon[0] == '/' ? std::string("audio-x-generic") : app.icon;
}

}  // namespace

const std::vector<std::string>& PlaybackPlaylistTypes() {
  static const std::vector<std::string> types = {std::string(kStreamPlaylistType), "audio/mpegurl",
                                                 "application/vnd.apple.mpegurl", "audio/x-scpls"};
  return types;
}

std::optional<std::string> MediaPlayerPluginFolder() {
  const auto key = platform::SettingsKey::Open(platform::Hive::LocalMachine, kMediaPlayerUninstallKey);
  if (!key) return std::nullopt;
  const auto value = key->Get(kMediaPlayerUninstallValue);
  if (!value || (value->type != platform::ValueType::String && value->type != platform::ValueType::ExpandString)) {
    return std::nullopt;
  }
  std::string text(platform::ReadField(value->data.data(), std::min<std::size_t>(value->data.size(), 255)));
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '"' || c == '/'; }), text.end());
  const std::size_t slash = text.rfind('\\');
  // Without a folder the entry says nothing of where the plug-ins are.
  if (slash == std::string::npos) return std::nullopt;
  return CollapseBackslashes(text.substr(0, slash + 1) + "\\Plugins\\");
}

std::string PluginCopyName(std::string_view modelCode) { return "ml_" + ModuleWord() + std::string(modelCode) + ".so"; }

std::string PluginSourceName() { return ModuleWord() + ".so"; }

std::string OptLumarest::VersionDisplayName(const std::string& description, const std::string& version) {
  if (description.empty()) return "None Selected";
  std::string name = description;
  if (!version.empty()) name += " " + version.substr(0, 5);
  if (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

const platform::DialogTemplate& PlaybackPageTemplate() {
  using P = OptLumarest;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Lumarest",
      Column(
          {Group("Playback Software",
                 {Text("Select a player application to be used when playing tracks on your computer via the file "
                       "manager or Pallidor.  The selected app must support standard M3U playlist files and standard HTTP "
                       "streaming playback (most popular apps do).")
                      .Width(72),
                  Row({Combo(P::kPrograms).Label("Playback Software").DropDownList().Sorted().Width(36).Expand(),
                       Picture(P::kProgramIcon, "audio-x-generic")}),
                  Text("The list above includes applications that have registered themselves with the desktop for M3U "
                       "playlists.  If the "
                       "app you wish to use does not appear, you can register it yourself by clicking the "
                       "'Register' button below.")
                      .Width(72),
                  Row({Button(P::kRegister, "Register Application...")})}),
           Group(
               "Increase this setting if playback is skipping.",
               {Row({Text("Fastest Computers"),
                     Slider(P::kCompensation).Label("Compensation").Style(platform::kStyleAutoTicks).Width(30).Expand(),
                     Text("Slower Computers")})}),
           Column({Text("Media Library Integration", P::kMediaLibraryTitle).Style(platform::kStyleTitle),
                   Text("Only for the media library of mlhost.  This support is still Beta.", P::kMediaLibraryNote),
                   Row({Check(P::kModelIds[0], "VANTRO Jukebox 1"), Check(P::kModelIds[1], "VANTRO Jukebox 2")}),
                   Row({Check(P::kModelIds[2], "VANTRO Jukebox 3"), Check(P::kModelIds[3], "VANTRO Jukebox Zen")})})}),
      platform::kFrameChild);
  return t;
}

OptLumarest::OptLumarest() : PropertyPage(PlaybackPageTemplate()) {
  // Read as a signed number: a stored -3 is below the range, not four billion.
  compensation = std::clamp(ReadDwordSetting("Lum_Compensation", 0), 0, 20);
  externalPlayer = ReadDwordSetting("Lum_ExternalPlayer", 0);
  installResult = static_cast<std::uint32_t>(ReadDwordSetting("Kor_InstallResult", 0));
  pluginFolder_ = MediaPlayerPluginFolder();
  for (std::size_t i = 0; i < kModelCodes.size(); ++i) {
    models[i] = pluginFolder_ && platform::QueryFile(*pluginFolder_ + PluginCopyName(kModelCodes[i])).exists ? 1 : 0;
    HandleCommand(kModelIds[i], [this, i] { OnModelClicked(static_cast<int>(i)); });
  }
  HandleCommand(kRegister, [this] { OnRegister(); });
  HandleCommand(kPrograms, platform::CBN_SELCHANGE, [this] { ShowProgramIcon(); });
  HandleMessage(kProgramsAnswered, [this](platform::WPARAM, platform::LPARAM) -> platform::LRESULT {
    if (!programs_.valid()) return 0;
    try {
      FillProgramList(programs_.get());
    } catch (const std::exception&) {
      FillProgramList({});  // the desktop could not be asked: nothing to list, Register still works
    }
    return 0;
  });
}

void OptLumarest::DoDataExchange(platform::DataExchange& dx) {
  dx.SliderPos(kCompensation, compensation);
  for (std::size_t i = 0; i < kModelIds.size(); ++i) dx.Check(kModelIds[i], models[i]);
}

bool OptLumarest::OnInitDialog() {
  platform::SliderControl& slider = Slider(kCompensation);
  slider.SetRange(0, 20);
  slider.SetPageSize(1);
  const bool mediaLibrary = (installResult & kMediaLibraryBit) != 0;
  for (std::size_t i = 0; i < kModelIds.size(); ++i) {
    // Without the media player's plug-in folder there is nowhere to put a copy.
    EnableDlgItem(kModelIds[i], (installResult & kModelBits[i]) != 0 && pluginFolder_.has_value());
    ShowDlgItem(kModelIds[i], mediaLibrary);
  }
  ShowDlgItem(kMediaLibraryTitle, mediaLibrary);
  ShowDlgItem(kMediaLibraryNote, mediaLibrary);
  FindPrograms();
  return PropertyPage::OnInitDialog();
}

PlaybackPrograms AskPlaybackPrograms() {
  PlaybackPrograms found;
  const std::string type(kStreamPlaylistType);
  // The system's own default, when its program has version information.
  found.systemDefault = platform::FindApplication(platform::SystemDefaultApplicationId(type));
  if (found.systemDefault && IsLauncher(*found.systemDefault)) found.systemDefault.reset();
  if (found.systemDefault) found.systemDefaultVersion = platform::GetFileVersionInfo(found.systemDefault->program);
  for (platform::DesktopApplication& app : platform::ListApplicationsFor(PlaybackPlaylistTypes())) {
    if (IsLauncher(app)) continue;
    if (app.name.empty()) found.versions.emplace(app.program, platform::GetFileVersionInfo(app.program));
    found.programs.push_back(std::move(app));
  }
  found.chosen = platform::UserDefaultApplicationId(type);
  return found;
}

OptLumarest::~OptLumarest() {
  if (programs_.valid()) programs_.wait();
}

void OptLumarest::FindPrograms() {
  if (programs_.valid()) programs_.wait();  // one question at a time
  platform::ListControl& list = List(kPrograms);
  list.ResetContent();
  iconOfName_.clear();
  nameOfKey_.clear();
  keyOfName_.clear();
  ShowProgramIcon();
  EnableDlgItem(kPrograms, false);
  EnableDlgItem(kRegister, false);
  const platform::HWND page = GetSafeHwnd();
  try {
    programs_ = std::async(std::launch::async, [page] {
      // Told also when asking failed, so that the page does not wait on.
      struct Tell {
        platform::HWND page;
        ~Tell() { platform::PostMessage(page, kProgramsAnswered, 0, 0); }
      } tell{page};
      return AskPlaybackPrograms();
    });
  } catch (const std::system_error&) {
    FillProgramList(AskPlaybackPrograms());  // no thread to spare: asked here, as slow as it is
  }
}

void OptLumarest::FillProgramList(const PlaybackPrograms& found) {
  platform::ListControl& list = List(kPrograms);
  list.ResetContent();
  iconOfName_.clear();
  nameOfKey_.clear();
  keyOfName_.clear();

  if (found.systemDefault && found.systemDefaultVersion) {
    const platform::DesktopApplication& app = *found.systemDefault;
    const platform::FileVersionInfo& info = *found.systemDefaultVersion;
    // The program's description on this desktop is its entry's name.
    const std::string name = VersionDisplayName(app.name.empty() ? info.description : app.name, info.productVersion);
    const std::string entry = kDefaultPrefix + name;
    const int at = list.AddString(entry);
    list.SetItemData(at, kDefaultEntry);
    iconOfName_[entry] = IconOf(app);
  }
  // Every registered program.
  for (const platform::DesktopApplication& app : found.programs) {
    std::string name = app.name;
    if (name.empty()) {
      const auto version = found.versions.find(app.program);
      if (version != found.versions.end() && version->second) {
        if (version->second->description.empty()) continue;
        name = VersionDisplayName(version->second->description, version->second->productVersion);
      } else {
        name = std::filesystem::path(app.program).stem().string();
      }
    }
    name = platform::Trim(name);
    if (name.empty() || keyOfName_.count(name) != 0) continue;
    iconOfName_[name] = IconOf(app);
    nameOfKey_[app.id] = name;
    keyOfName_[name] = app.id;
    list.AddString(name);
  }
  // The person's choice; without one, the system's default. A choice the list does not
  // hold selects nothing, so that saving keeps it.
  int select = -1;
  if (!found.chosen.empty()) {
    const auto it = nameOfKey_.find(found.chosen);
    if (it != nameOfKey_.end()) {
      select = list.FindStringExact(-1, it->second);
      for (int i = 0; select < 0 && i < list.GetCount(); ++i) {
        if (platform::FindNoCase(list.GetItemText(i), it->second) == 0) select = i;
      }
    }
  } else {
    for (int i = 0; select < 0 && i < list.GetCount(); ++i) {
      if (list.GetItemData(i) == kDefaultEntry) select = i;
    }
  }
  list.SetCurSel(select);
  ShowProgramIcon();
  EnableDlgItem(kPrograms, true);
  EnableDlgItem(kRegister, true);
}

void OptLumarest::ShowProgramIcon() {
  platform::ListControl& list = List(kPrograms);
  const auto it = iconOfName_.find(list.GetItemText(list.GetCurSel()));
  Picture(kProgramIcon).SetIcon(it == iconOfName_.end() ? std::string("audio-x-generic") : it->second);
}

bool OptLumarest::MediaPlayerRunning() const { return platform::FindWindow(kMediaPlayerWindowClass) != 0; }

void OptLumarest::OnModelClicked(int) {
  modelsChanged = true;
  if (MediaPlayerRunning()) ShowInformation("Please close mlhost before changing these options.");
}

void OptLumarest::OnRegister() {
  const std::optional<std::string> file = platform::PickOpenFile(
      TopLevel().GetSafeHwnd(), "Select a playback application to register...", "Playback Applications|*||");
  if (!file || file->empty()) return;
  std::string id;
  switch (platform::RegisterApplication(platform::ToPosixPath(*file), PlaybackPlaylistTypes(), id)) {
    case platform::Registration::kAlreadyRegistered: ShowInformation("The selected application is already registered."); break;
    case platform::Registration::kRegistered:
      ShowInformation("The selected application has been registered and added to the list.");
      break;
    case platform::Registration::kFailed: ShowInformation("The selected application could not be registered."); break;
  }
  FindPrograms();
}

void OptLumarest::OnOK() {
  WriteDwordSetting("Lum_Compensation", compensation);
  WriteDwordSetting("Lum_ExternalPlayer", kExternalPlayer);

  if ((installResult & kMediaLibraryBit) != 0 && modelsChanged && pluginFolder_ && !MediaPlayerRunning()) {
    std::string install;
    ReadSettingString("", install);
    const std::string source = platform::ToPosixPath(install + "\\" + PluginSourceName());
    for (std::size_t i = 0; i < kModelCodes.size(); ++i) {
      const std::string copy = platform::ToPosixPath(*pluginFolder_ + PluginCopyName(kModelCodes[i]));
      std::error_code ec;  // failures are silent
      if (models[i] != 0) {
        std::filesystem::copy_file(source, copy, std::filesystem::copy_options::skip_existing, ec);
      } else {
        std::filesystem::remove(copy, ec);
      }
    }
  }

  platform::ListControl& list = List(kPrograms);
  const int selected = list.GetCurSel();
  if (selected < 0) return;
  const std::string type(kStreamPlaylistType);
  if (list.GetItemData(selected) == kDefaultEntry) {
    platform::ResetDefaultApplication(type);
  } else if (const auto it = keyOfName_.find(list.GetItemText(selected)); it != keyOfName_.end()) {
    platform::SetDefaultApplication(type, it->second);
  }
}

}  // namespace options
