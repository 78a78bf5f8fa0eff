// ui_gallery: every window template of the project, filled with sample values, rendered
// on the display with the real-window host, each saved as a PNG, and each checked against
// its model: every control of the window (and of a sheet's shown page) must be rendered
// with the text, state, items and selection the core holds.
//
//   ui_gallery [--out <folder>] [--part <k>/<n>]   (default: build/gui, every window); exit code
//   1 on a mismatch. --part shows the k-th of n shares of the list (every n-th window from
//   the k-th), so that the shares run side by side on displays of their own.
//
// A new dialog joins the list below in the change that adds it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/identity.h"
#include "common/settings.h"
#include "device/memory_device.h"
#include "hosts/ui_gallery_options.h"
#include "hosts/ui_gallery_tag_tools.h"
#include "manager/option_pages.h"
#include "driver/systray_progress.h"
#include "options/tree_prop_sheet.h"
#include "options/volume_dialog.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/ui/host.h"
#include "platform/ui/list_view.h"
#include "platform/ui/property_sheet.h"
#include "platform/ui/ui_window.h"
#include "platform/ui/wx/wx_host.h"
#include "tools/name_dlg.h"
#include "shellext/icons.h"
#include "tools/auto_fill_track_num_dialog.h"
#include "tools/ferrowin_dialog.h"
#include "tools/item_editors.h"
#include "tools/quodrel_edit_dialog.h"
#include "tools/search_dialogs.h"
#include "tools/sql_gen_dlg.h"
#include "transfer/tag_fill_dlg.h"
#include "transfer/transfer_dialog.h"

using namespace manager;

using namespace driver;

using namespace device;

namespace {

using platform::RenderedControl;
using platform::UiWindow;

struct Sample {
  std::string name;
  std::string page;  // sheets: the page to show (its title)
  // Shows the window; `shown` is called with it on screen (modal samples: inside the
  // modal loop, which it must end).
  std::function<void(platform::WxHost&, const std::function<void(UiWindow&)>& shown)> run;
  std::function<bool(UiWindow&)> ready = nullptr;  // sheets: ready for the picture (none: at once)
};

// A modal sample: the window is looked at once on screen, then cancelled.
template <class Make>
Sample Modal(std::string name, Make make) {
  return {name, "", [make](platform::WxHost&, const std::function<void(UiWindow&)>&) {
            auto dialog = make();
            dialog->DoModal();
          }};
}

// A sheet without Apply that holds one page made on a device.
template <class Page>
struct OnePageSheet : platform::PropertySheet {
  OnePageSheet(std::string caption, KernelDevice* device) : PropertySheet(std::move(caption)), page(device) {
    SetFlags(platform::PSH_NOAPPLYNOW);
    AddPage(&page);
  }
  Page page;
};

// The fill dialog on a player of two memory segments, with tracks dropped on it.
std::unique_ptr<platform::Dialog> SampleFerrowinDialog() {
  struct Filled : tools::FerrowinDialog {
    explicit Filled(MemoryDevice& d)
        : FerrowinDialog(d, &shellext::SharedImageList(true),
                         {[](const std::vector<std::string>& names, bool, bool) { return names; }, {}}) {}
    bool OnInitDialog() override {
      FerrowinDialog::OnInitDialog();
      const std::string folder = std::string(std::getenv("TOVARIN_HOME")) + "/music";
      std::filesystem::create_directories(folder);
      std::vector<std::string> paths;
      const std::pair<const char*, int> tracks[] = {
          {"Harbor Lights - Low Tide.mp3", 4200}, {"Harbor Lights - Fog Bell.mp3", 3900},
          {"Northwind Brass - Midnight Stroll.ogg", 5100}, {"Mira Solenne - Orchard Song.flac", 9800},
          {"The Glass Ferns - Neon Rain.mp3", 3600}, {"The Glass Ferns - Pulse.mp3", 2000}};
      for (const auto& [name, kb] : tracks) {
        paths.push_back(folder + "/" + name);
        std::ofstream(paths.back()) << "";
        std::filesystem::resize_file(paths.back(), static_cast<std::uintmax_t>(kb) * 1024);
      }
      UserDropFiles(paths);
      return true;
    }
  };
  static MemoryDevice device;
  if (device.SupportsStorageList() == 0) {
    device.SetCapability(DeviceOp::SupportsStorageList, 1);
    device.AddStorage("Internal Memory", 16384, 0);
    device.AddStorage("SmartMedia Card", 16384, 0);
  }
  WriteSettingString("FWN_RandomPath", "C:\\Music\\Albums");
  WriteSettingString("FWN_PlaylistPath", "C:\\Music\\Playlists");
  return std::make_unique<Filled>(device);
}

// A player for the transfer window's pictures: it takes data files at once and lets the
// gallery look at the window while the fifth one is on its way.
class GalleryPlayer : public MemoryDeviceBase {
 public:
  GalleryPlayer() { Info().modelName = "Dozi Jukebox"; }
  std::function<void()> during;

 protected:
  int UploadDataFile(std::string_view path, const KernelId& folder, KernelId& item) override {
    const int status = MemoryDeviceBase::UploadDataFile(path, folder, item);
    if (++sent_ == 5 && during) during();
    return status;
  }

 private:
  int sent_ = 0;
};

// Twelve small files for the transfer window to send, in the gallery's home.
std::vector<std::string> SampleFiles() {
  const std::string folder = std::string(std::getenv("TOVARIN_HOME")) + "/send";
  std::filesystem::create_directories(folder);
  std::vector<std::string> files;
  for (const char* name : {"01 Harbour Lights.mp3", "02 Long Road.mp3", "03 Opening.mp3", "04 Mirror.mp3",
                           "05 North Light.mp3", "06 Glass Rooms.mp3", "07 Evening.mp3", "08 Brass Fold.mp3",
                           "09 Metal Hours.mp3", "10 Quiet Water.mp3", "11 Cyra.mp3", "12 Last Train.mp3"}) {
    std::ofstream(folder + "/" + name) << std::string(300000, 'x');
    files.push_back(platform::FromPosixPath(folder + "/" + name));
  }
  return files;
}

// The transfer window sending twelve files: looked at while the fifth is on its way
// (`during`), or once the run has ended.
enum class TransferMoment { kDuring, kComplete, kCancelled };

void ShowTransfer(platform::WxHost& host, const std::function<void(UiWindow&)>& shown, TransferMoment moment) {
  GalleryPlayer player;
  transfer::CTransferDialog dialog(player);
  if (!dialog.Create(0)) return;
  dialog.CenterWindow();
  dialog.ShowWindow(platform::SW_SHOW);
  if (moment == TransferMoment::kDuring) {
    player.during = [&] {
      dialog.OnUploadProgress(60);
      host.Settle(5000);
      shown(dialog);
    };
  } else if (moment == TransferMoment::kCancelled) {
    // The person cancels during the fifth file.
    player.during = [&] { dialog.SendToWindow(platform::WM_COMMAND, transfer::CTransferDialog::kCancelId, 0); };
  }
  dialog.TransferDataFiles(nullptr, KernelId(0), SampleFiles(), 1);
  if (moment != TransferMoment::kDuring) {
    // The rate's label at its widest, which must not wrap.
    if (moment == TransferMoment::kCancelled) dialog.SetDlgItemText(transfer::CTransferDialog::kRateId, "12345.67 Mbit/s");
    host.Settle(5000);
    shown(dialog);
  }
  dialog.DestroyWindow();
}

std::vector<Sample> Samples(platform::WxHost& host, std::shared_ptr<MemoryDeviceBase> device) {
  std::vector<Sample> samples;
  samples.push_back(Modal("auto_fill_track_numbers", [] {
    auto d = std::make_unique<tools::CAutoFillTrackNumDialog>();
    d->startingNumber = 1;
    d->increment = 2;
    return d;
  }));
  samples.push_back(Modal("ferrowin", [] { return SampleFerrowinDialog(); }));
  samples.push_back(Modal("name_dialog", [] {
    auto d = std::make_unique<shellext::CNameDlg>();
    d->name = "Road Trip Mix";
    return d;
  }));
  samples.push_back(Modal("volume", [device] { return std::make_unique<options::VolumeDialog>(device.get()); }));
  samples.push_back({"delete_progress", "", [&host](platform::WxHost&, const std::function<void(UiWindow&)>& shown) {
                       shellext::CDeleteDialog d;
                       d.Start("Deleting 12 tracks...", 12);
                       for (int i = 0; i < 5; ++i) d.Step();
                       d.SetItemText("Harbour Lights.mp3");
                       host.Settle(5000);
                       shown(d);
                       d.Close();
                     }});
  samples.push_back({"transfer_progress", "", [&host](platform::WxHost&, const std::function<void(UiWindow&)>& shown) {
                       ShowTransfer(host, shown, TransferMoment::kDuring);
                     }});
  samples.push_back({"transfer_complete", "", [&host](platform::WxHost&, const std::function<void(UiWindow&)>& shown) {
                       ShowTransfer(host, shown, TransferMoment::kComplete);
                     }});
  samples.push_back({"transfer_cancelled", "", [&host](platform::WxHost&, const std::function<void(UiWindow&)>& shown) {
                       ShowTransfer(host, shown, TransferMoment::kCancelled);
                     }});
  samples.push_back(Modal("tag_fill", [] {
    static TrackRecord record;
    record.title.Set("Harbour Lights");
    record.trackNumber = 3;
    record.year = 2004;
    return std::make_unique<transfer::CTagFillDlg>("03 Harbour Lights.mp3", &record);
  }));
  samples.push_back({"systray_progress", "", [&host](platform::WxHost&, const std::function<void(UiWindow&)>& shown) {
                       DlgSystrayProgress popup;
                       popup.ShowAtTray("Connecting...", 4);
                       popup.StepIt();
                       popup.StepIt();
                       host.Settle(5000);
                       shown(popup);
                       popup.Hide();
                     }});
  // The manager's options sheet, one picture per page.
  for (const char* page : {"General", "Pallidor HTTP Options", "About"}) {
    samples.push_back({std::string("options_") + (page[0] == 'G' ? "general" : page[0] == 'P' ? "web_server" : "about"),
                       page, [device](platform::WxHost&, const std::function<void(UiWindow&)>&) {
                         options::TreePropSheet::CTreePropSheet sheet("Kestrova Manager Options");
                         sheet.SetTreeViewMode(true, true, false);
                         sheet.SetFlags(sheet.GetFlags() | platform::PSH_NOAPPLYNOW);
                         manager::COptionGeneral general;
                         manager::VexhalOptionsDlg web(nullptr, "D");
                         manager::CManagerOptionAbout about(device.get());
                         sheet.AddPage(&general);
                         sheet.AddPage(&web);
                         sheet.AddPage(&about);
                         sheet.DoModal();
                       }});
  }
  for (OptionsGallerySample& s : LibraryOptionsSamples(device.get())) samples.push_back({s.name, s.page, [s](platform::WxHost&, const std::function<void(UiWindow&)>&) { s.show(); }, s.ready});
  for (gallery::TagToolSample& s : gallery::TagToolSamples()) samples.push_back({s.name, s.page, std::move(s.run)});
  samples.push_back(Modal("about_sheet", [device] {
    return std::make_unique<OnePageSheet<manager::CManagerOptionAbout>>("Kestrova Manager Options", device.get());
  }));
  samples.push_back(Modal("search_simple", [] { return std::make_unique<tools::CSearchSimpleDlg>(); }));
  samples.push_back(Modal("search_advanced", [] {
    auto d = std::make_unique<tools::CSearchDlg>();
    d->condition = "genre='Jazz' AND year > 1990";
    return d;
  }));
  samples.push_back(Modal("edit_note", [] {
    auto d = std::make_unique<tools::EditNoteDialog>();
    d->text = "Strings, picks, capo.\nRehearsal on Thursday at 8.";
    return d;
  }));
  samples.push_back(Modal("edit_contact", [] {
    static ContactRecord record;
    record.Clear();
    record.field[kContactFirstName].Set("Mara");
    record.field[kContactLastName].Set("Quill");
    record.field[kContactOrganization].Set("Harbour Lights Trio");
    record.field[kContactHomeCity].Set("Port Ellis");
    record.field[kContactEmail].Set("mara@example.org");
    return std::make_unique<tools::EditContactDialog>(&record);
  }));
  samples.push_back(Modal("quodrel_edit", [device] {
    return std::make_unique<tools::QuodrelEditDialog>(device.get(), device->AddPlaylist("QL: Evening Jazz"));
  }));
  samples.push_back(Modal("sql_reports", [device] {
    return std::make_unique<OnePageSheet<tools::CSQLGenDlg>>("Logs and Reports", device.get());
  }));
  return samples;
}

}  // namespace

// A settings store and application data folder of the gallery's own, with two skins
// for the web server's page to list.
std::string PrepareSampleHome() {
  std::string home = (std::filesystem::temp_directory_path() / "tovarin-gallery-XXXXXX").string();
  if (::mkdtemp(home.data()) == nullptr) return {};
  ::setenv("TOVARIN_HOME", home.c_str(), 1);
  ::setenv("TOVARIN_NS", ("gallery-" + std::to_string(::getpid())).c_str(), 1);
  std::filesystem::create_directories(home + "/appdata/skins/Default");
  std::ofstream(home + "/appdata/skins/Classic.osk") << "";
  g_ProductIdentity.InitFromPath("trayhub");
  platform::SettingsKey key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  key.SetString("Gen_AppDataDir", platform::FromPosixPath(home + "/appdata"));
  return home;
}

int main(int argc, char** argv) {
  std::string out = "build/gui";
  unsigned part = 1, parts = 1;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--out") out = argv[i + 1];
    if (std::string(argv[i]) == "--part" &&
        (std::sscanf(argv[i + 1], "%u/%u", &part, &parts) != 2 || parts == 0 || part == 0 || part > parts)) {
      std::fprintf(stderr, "ui_gallery: --part wants <k>/<n> with 1 <= k <= n, not \"%s\"\n", argv[i + 1]);
      return 2;
    }
  }
  const std::string home = PrepareSampleHome();
  std::unique_ptr<platform::WxHost> host = platform::WxHost::Open("ui_gallery");
  if (!host) return 2;
  std::filesystem::create_directories(out);
  auto device = std::make_shared<MemoryDevice>();
  device->SetVolume(60);

  int faults = 0;
  std::vector<Sample> samples = Samples(*host, device);
  for (std::size_t index = part - 1; index < samples.size(); index += parts) {
    Sample& sample = samples[index];
    bool seen = false;
    const std::string png = out + "/" + sample.name + ".png";
    auto look = [&](UiWindow& window, const std::vector<RenderedControl>& rendered, const std::function<bool(const std::string&)>& save) {
      seen = true;
      for (const std::string& f : platform::CompareWithModel(window, rendered)) {
        std::printf("%s: %s\n", sample.name.c_str(), f.c_str());
        ++faults;
      }
      if (!save(png)) {
        std::printf("%s: the picture could not be written to %s\n", sample.name.c_str(), png.c_str());
        ++faults;
      }
    };
    host->SetPromptObserver([&](platform::WxPrompt& prompt) {
      if (prompt.kind() != platform::WxPrompt::Kind::Dialog) {
        prompt.Cancel();
        return;
      }
      // A sheet is sized for its largest page when it opens: showing another page leaves
      // its buttons where they were.
      const std::optional<platform::Rect> before = host->ScreenRect(*prompt.window(), platform::IDOK);
      if (!sample.page.empty() && !prompt.SelectPage(sample.page)) {
        std::printf("%s: the page \"%s\" cannot be shown\n", sample.name.c_str(), sample.page.c_str());
        ++faults;
      }
      if (sample.ready && !host->PumpUntil([&] { return sample.ready(*prompt.window()); }, 30000)) {
        std::printf("%s: the sheet never got ready for its picture\n", sample.name.c_str());
        ++faults;
      }
      if (!sample.page.empty() && before.has_value()) {
        host->Settle(3000);
        const std::optional<platform::Rect> after = host->ScreenRect(*prompt.window(), platform::IDOK);
        if (!after.has_value() || after->left != before->left || after->top != before->top) {
          std::printf("%s: the sheet changed its size when the page \"%s\" was first shown (OK at %d,%d, then %d,%d)\n",
                      sample.name.c_str(), sample.page.c_str(), before->left, before->top,
                      after.has_value() ? after->left : -1, after.has_value() ? after->top : -1);
          ++faults;
        }
      }
      look(*prompt.window(), prompt.Controls(), [&](const std::string& p) { return prompt.SaveImage(p); });
      prompt.Cancel();
    });
    sample.run(*host, [&](UiWindow& window) {
      look(window, host->RenderedControls(window), [&](const std::string& p) { return host->SaveWindowImage(window, p); });
    });
    if (!seen) {
      std::printf("%s: never shown\n", sample.name.c_str());
      ++faults;
    }
    std::printf("%s %s\n", seen ? "rendered" : "missing", png.c_str());
  }
  host->SetPromptObserver({});
  host.reset();
  std::error_code ec;
  if (!home.empty()) std::filesystem::remove_all(home, ec);
  std::printf("ui_gallery: %d fault(s)\n", faults);
  return faults == 0 ? 0 : 1;
}
