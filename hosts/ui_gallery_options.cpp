#include "hosts/ui_gallery_options.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "common/identity.h"
#include "options/family_pages.h"
#include "options/general_pages.h"
#include "options/log_page.h"
#include "options/playback_page.h"
#include "options/player_pages.h"
#include "options/transcoding_pages.h"
#include "options/tree_prop_sheet.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "tools/sql_gen_dlg.h"
#include "transfer/opt_transfers.h"

using namespace device;

namespace {

using PageList = std::vector<std::unique_ptr<platform::PropertyPage>>;

// The options sheet as the view composes it, with the pages given.
void ShowTreeSheet(PageList pages) {
  options::TreePropSheet::CTreePropSheet sheet(g_ProductIdentity.productName + " Options");
  sheet.SetTreeViewMode(true, true, false);
  sheet.SetFlags(sheet.GetFlags() | platform::PSH_NOAPPLYNOW);
  for (auto& page : pages) sheet.AddPage(page.get());
  sheet.DoModal();
}

void ShowJukeboxSheet(KernelDevice* device) {
  PageList pages;
  const std::string& word = g_ProductIdentity.deviceWord;
  pages.push_back(std::make_unique<options::OptGeneral>(device, "Test Player"));
  pages.push_back(std::make_unique<options::OptJukebox>(word));
  pages.push_back(std::make_unique<options::OptJukeboxTagHandling>(word + "::Tag Handling"));
  pages.push_back(std::make_unique<options::OptJukeboxSynchro>(word + "::Brevlink"));
  pages.push_back(std::make_unique<transfer::OptTransfers>());
  pages.push_back(std::make_unique<options::OptTonavel>());
  pages.push_back(std::make_unique<options::OptTransfersTranscode>());
  pages.push_back(std::make_unique<options::OptLumarest>());
  pages.push_back(std::make_unique<options::OptAbout>(device));
  ShowTreeSheet(std::move(pages));
}

template <class FamilyPage>
void ShowFamilySheet(KernelDevice* device) {
  PageList pages;
  pages.push_back(std::make_unique<options::OptGeneral>(device, "Test Player"));
  pages.push_back(std::make_unique<FamilyPage>());
  pages.push_back(std::make_unique<options::OptAbout>(device));
  ShowTreeSheet(std::move(pages));
}

// The playback page's sample: every jukebox model installed with the media player's
// plug-in folder, and two registered players of which the person chose one.
void PrepareSampleSettings() {
  const char* home = std::getenv("TOVARIN_HOME");
  if (home == nullptr) return;
  const std::string root = home;
  platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey)
      .SetDword("Kor_InstallResult", options::OptLumarest::kMediaLibraryBit | 0x78);
  std::filesystem::create_directories(root + "/player/Plugins");
  platform::SettingsKey::Create(platform::Hive::LocalMachine, options::kMediaPlayerUninstallKey)
      .SetString(options::kMediaPlayerUninstallValue, platform::FromPosixPath(root + "/player/mlhost"));
  std::ofstream(root + "/player/Plugins/" + options::PluginCopyName("j1")) << "";
  std::filesystem::create_directories(root + "/data/applications");
  std::filesystem::create_directories(root + "/config");
  for (const char* name : {"Harbour Player", "Lighthouse Radio"}) {
    std::string id = name;
    id = id.substr(0, id.find(' ')) + ".desktop";
    std::ofstream(root + "/data/applications/" + id) << "[Desktop Entry]\nType=Application\nName=" << name
                                                     << "\nExec=true %U\nIcon=multimedia-player\n"
                                                        "MimeType=audio/x-mpegurl;\n";
  }
  std::ofstream(root + "/config/mimeapps.list") << "[Default Applications]\naudio/x-mpegurl=Harbour.desktop\n";
  ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
}

// The playback page has its program list once the desktop has answered.
bool ProgramsListed(platform::UiWindow& window) {
  auto* sheet = dynamic_cast<platform::PropertySheet*>(&window);
  platform::PropertyPage* page = sheet != nullptr ? sheet->GetActivePage() : nullptr;
  platform::Control* list = page != nullptr ? page->GetDlgItem(options::OptLumarest::kPrograms) : nullptr;
  return list == nullptr || list->IsEnabled();
}

}  // namespace

std::vector<OptionsGallerySample> LibraryOptionsSamples(KernelDevice* device) {
  PrepareSampleSettings();
  std::vector<OptionsGallerySample> samples;
  const struct {
    const char* name;
    const char* page;
  } jukebox[] = {{"general", "General"},   {"jukebox", "Jukebox"}, {"tag_handling", "Tag Handling"},
                 {"brevlink", "Brevlink"}, {"transfers", "Transfers"}, {"tonavel", "Tonavel"}, {"encoding", "Encoding Options"},
                 {"lumarest", "Lumarest"}, {"about", "About"}};
  for (const auto& p : jukebox) {
    samples.push_back(
        {std::string("library_options_") + p.name, p.page, [device] { ShowJukeboxSheet(device); }, ProgramsListed});
  }
  samples.push_back({"library_options_zaro", "VANTRO ZaRo", [device] { ShowFamilySheet<options::OptZaro>(device); }});
  samples.push_back(
      {"library_options_zaro_fx", "VANTRO ZaRo FX", [device] { ShowFamilySheet<options::OptZaroNX>(device); }});
  samples.push_back(
      {"library_options_vantro_ii", "VANTRO II", [device] { ShowFamilySheet<options::OptVantroII>(device); }});
  // The jukebox's sheet: the report page first; the picture shows the log page.
  samples.push_back({"logs_and_reports", "Transfer Logs", [device] {
                       platform::PropertySheet sheet("Logs and Reports");
                       sheet.SetFlags(platform::PSH_NOAPPLYNOW);
                       tools::CSQLGenDlg reports(device);
                       options::CLogDlg logs;
                       sheet.AddPage(&reports);
                       sheet.AddPage(&logs);
                       sheet.DoModal();
                     }});
  samples.push_back({"playback_options", "", [] {
                       platform::PropertySheet sheet(g_ProductIdentity.productName + " Options");
                       sheet.SetFlags(platform::PSH_NOAPPLYNOW);
                       options::OptLumarest page;
                       sheet.AddPage(&page);
                       sheet.DoModal();
                     },
                     ProgramsListed});
  return samples;
}
