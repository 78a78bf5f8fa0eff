#include "hosts/ui_gallery_tag_tools.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "common/settings.h"
#include "device/memory_device.h"
#include "platform/paths/paths.h"
#include "tools/artist_info_dlg.h"
#include "tools/field_swap_dlg.h"
#include "tools/tag_edit_dlg.h"
#include "transfer/transfer_manager_sheet.h"

using namespace device;

namespace gallery {
namespace {

using tools::TagEditDlg;

// A modal sample: the window is looked at once on screen, then cancelled.
template <class Make>
TagToolSample Modal(std::string name, std::string page, Make make) {
  return {std::move(name), std::move(page), [make](platform::WxHost&, const std::function<void(platform::UiWindow&)>&) {
            auto window = make();
            window->DoModal();
          }};
}

std::unique_ptr<TagEditDlg> TagEditor(int layout) {
  static const int kFlags[TagEditDlg::kFieldCount] = {1, 1, 0, 0, 1, 1, 1, 1, 0, 1, 1};
  auto d = std::make_unique<TagEditDlg>(layout, kFlags);
  d->artist = "Ada Lind";
  d->album = "North Light";
  d->year = 2004;
  d->genre = "Folk";
  d->comment = "Recorded live";
  d->composer = "A. Lind";
  d->rating = 80;
  d->volumeAdjustment = 40;
  d->playCount = 12;
  return d;
}

// Files for the preparation sheet, named so that their tags come from their names.
std::vector<std::string> PreparationFiles() {
  const std::string folder = std::string(std::getenv("TOVARIN_HOME")) + "/prepare";
  std::filesystem::create_directories(folder);
  std::vector<std::string> files;
  for (const char* name : {"Ada Lind - North Light - Harbour Lights.mp3", "Ada Lind - North Light - Long Road.mp3",
                           "Brass Fold - Metal Hours - Opening.mp3", "Cyra - Glass Rooms - Mirror.mp3", "untitled.mp3",
                           "liner notes.txt", "cover.jpg"}) {
    std::ofstream(folder + "/" + name) << std::string(2000, 'x');
    files.push_back(platform::FromPosixPath(folder + "/" + name));
  }
  return files;
}

// An album service's reply page for the lookup's picture.
tools::AlbumFetch SampleReply(const std::string&, const tools::AlbumFetchCancelled&) {
  tools::AlbumFetch reply;
  reply.reached = true;
  reply.body = "<TotalPages>3</TotalPages>\n";
  const char* albums[][3] = {{"North Light", "12 May, 2004", "Harbour Records"},
                             {"Long Road Home", "3 March, 2001", "Harbour Records"},
                             {"Live at the Mill", "1999", "Millstone"},
                             {"First Songs", "1997", "Millstone"}};
  for (const auto& a : albums) {
    reply.body += std::string("<Details url=\"http://albums.example/") + a[0] + "\">\n<ProductName>" + a[0] +
                  "</ProductName>\n<ReleaseDate>" + a[1] + "</ReleaseDate>\n<Manufacturer>" + a[2] +
                  "</Manufacturer>\n</Details>\n";
  }
  return reply;
}

}  // namespace

std::vector<TagToolSample> TagToolSamples() {
  std::vector<TagToolSample> samples;
  samples.push_back(Modal("tag_edit_basic", "", [] { return TagEditor(TagEditDlg::kBasicTemplateId); }));
  samples.push_back(Modal("tag_edit_extended", "", [] { return TagEditor(TagEditDlg::kExtendedTemplateId); }));
  samples.push_back(Modal("tag_edit_full", "", [] { return TagEditor(TagEditDlg::kFullTemplateId); }));
  samples.push_back(Modal("field_swap", "", [] {
    auto d = std::make_unique<tools::CFieldSwapDlg>("Swap Tag Fields", "Swap this field...", "with this field:");
    d->firstField = 0;
    d->secondField = 3;
    return d;
  }));
  samples.push_back({"album_lookup", "", [](platform::WxHost&, const std::function<void(platform::UiWindow&)>&) {
                       WriteSettingString("URL_AlbumLookup", "http://albums.example");
                       MemoryDevice player;
                       player.AddTrack({.artist = "Ada Lind", .album = "North Light", .title = "Harbour Lights"});
                       tools::CArtistInfoDlg dlg("Ada Lind", player, nullptr, &SampleReply);
                       dlg.DoModal();
                     }});
  for (const char* page : {"Audio Tracks", "Data Files", "Playlists", "Options"}) {
    std::string name = std::string("prepare_") + (page[0] == 'A' ? "audio" : page[0] == 'D' ? "data" : page[0] == 'P' ? "playlists" : "options");
    samples.push_back({name, page, [](platform::WxHost&, const std::function<void(platform::UiWindow&)>&) {
                         const std::vector<std::string> files = PreparationFiles();
                         transfer::SourceGroups groups;
                         groups.Add("Ada Lind\\North Light\\", files[0]);
                         groups.Add("Ada Lind\\North Light\\", files[1]);
                         groups.Add("Brass Fold\\", files[2]);
                         groups.Add("road trip", files[3]);
                         transfer::CTransferManagerSheet sheet(&files, &groups);
                         sheet.DoModal();
                       }});
  }
  return samples;
}

}  // namespace gallery
