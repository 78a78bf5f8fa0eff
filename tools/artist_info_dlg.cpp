#include "tools/artist_info_dlg.h"

#include <curl/curl.h>
#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "common/settings.h"
#include "common/shell_utilities.h"
#include "device/device_client_error.h"
#include "device/kernel_device_client.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/shared_library.h"
#include "platform/text/text.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/host.h"
#include "platform/ui/desktop.h"
#include "platform/window/wait.h"

using namespace device;

namespace tools {

using namespace platform::layout;

namespace {

// What a service can make us hold: the reply's bytes.
constexpr std::size_t kMaxReplyBytes = 4u << 20;
constexpr long kConnectMs = 5000;
constexpr long kReplyMs = 30000;
// Posted by the start: the first page is asked for once the dialog shows.
constexpr platform::UINT kStartFetchMessage = platform::WM_APP + 0x41;
constexpr platform::UINT_PTR kProgressTimer = 1;

// The dialog's own pictures when the caller gives none: the two it shows, at their places.
platform::ImageList OwnImages() {
  platform::ImageList images;
  for (int i = 0; i <= CArtistInfoDlg::kHeldImage; ++i) {
    images.Add(i == CArtistInfoDlg::kHeldImage      ? "emblem-default"
               : i == CArtistInfoDlg::kNotHeldImage ? "media-optical-audio"
                                                    : "");
  }
  return images;
}

std::string ServiceAddress() {
  std::string base;
  ReadSettingString("URL_AlbumLookup", base);
  base = platform::Trim(base);
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

size_t Collect(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const std::size_t n = size * count;
  if (body->size() + n > kMaxReplyBytes) return 0;  // ends the transfer with a write error
  body->append(data, n);
  return n;
}

// The HTTP library, loaded at the first request (it and the libraries under it would
// otherwise be loaded at every start of every program that links the dialog).
struct HttpLibrary {
  decltype(&curl_global_init) globalInit = nullptr;
  decltype(&curl_easy_init) easyInit = nullptr;
  decltype(&curl_easy_cleanup) easyCleanup = nullptr;
  decltype(&curl_easy_setopt) easySetopt = nullptr;
  decltype(&curl_easy_strerror) easyStrerror = nullptr;
  decltype(&curl_multi_init) multiInit = nullptr;
  decltype(&curl_multi_cleanup) multiCleanup = nullptr;
  decltype(&curl_multi_add_handle) multiAdd = nullptr;
  decltype(&curl_multi_remove_handle) multiRemove = nullptr;
  decltype(&curl_multi_perform) multiPerform = nullptr;
  decltype(&curl_multi_poll) multiPoll = nullptr;
  decltype(&curl_multi_info_read) multiInfoRead = nullptr;
};

bool ResolveHttpLibrary(const platform::SharedLibrary& library, HttpLibrary& api) {
  return library.Resolve("curl_global_init", api.globalInit) && library.Resolve("curl_easy_init", api.easyInit) &&
         library.Resolve("curl_easy_cleanup", api.easyCleanup) && library.Resolve("curl_easy_setopt", api.easySetopt) &&
         library.Resolve("curl_easy_strerror", api.easyStrerror) && library.Resolve("curl_multi_init", api.multiInit) &&
         library.Resolve("curl_multi_cleanup", api.multiCleanup) &&
         library.Resolve("curl_multi_add_handle", api.multiAdd) &&
         library.Resolve("curl_multi_remove_handle", api.multiRemove) &&
         library.Resolve("curl_multi_perform", api.multiPerform) && library.Resolve("curl_multi_poll", api.multiPoll) &&
         library.Resolve("curl_multi_info_read", api.multiInfoRead);
}

// The library's functions, started once; null, with the reason in `error`, when it
// cannot be loaded.
const HttpLibrary* LoadHttpLibrary(std::string& error) {
  static auto* functions =
      new platform::LibraryFunctions<HttpLibrary>(kHttpLibraryName, "HTTP library", &ResolveHttpLibrary);
  const HttpLibrary* api = functions->Get(&error);
  static std::once_flag once;
  if (api != nullptr) std::call_once(once, [api] { api->globalInit(CURL_GLOBAL_DEFAULT); });
  return api;
}

}  // namespace

// ---- The request ----

std::string AlbumRequestPath(std::string_view artist, int page) {
  // Every byte but letters, digits and "-._~" escaped: blanks, "&" and "=" would end the
  // value.
  const std::string text(artist);
  std::string escaped;
  if (char* e = g_uri_escape_string(text.c_str(), nullptr, FALSE)) {
    escaped = e;
    g_free(e);
  }
  return "/onca/xml3?t=vqmt-20&dev-t=K7QW3ZPLMX9TRA&ArtistSearch=" + escaped + "&mode=music&type=lite&page=" +
         std::to_string(page) + "&f=xml";
}

AlbumFetch FetchOverHttp(const std::string& address, const AlbumFetchCancelled& cancelled) {
  AlbumFetch result;
  const HttpLibrary* api = LoadHttpLibrary(result.error);
  if (api == nullptr) {
    result.noLibrary = true;
    return result;
  }
  CURL* easy = api->easyInit();
  CURLM* multi = api->multiInit();
  if (easy == nullptr || multi == nullptr) {
    if (easy != nullptr) api->easyCleanup(easy);
    if (multi != nullptr) api->multiCleanup(multi);
    result.error = "libcurl could not start";
    return result;
  }
  api->easySetopt(easy, CURLOPT_URL, address.c_str());
  api->easySetopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  api->easySetopt(easy, CURLOPT_POST, 1L);
  api->easySetopt(easy, CURLOPT_POSTFIELDS, "");
  api->easySetopt(easy, CURLOPT_POSTFIELDSIZE, 0L);
  api->easySetopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectMs);
  api->easySetopt(easy, CURLOPT_TIMEOUT_MS, kReplyMs);
  api->easySetopt(easy, CURLOPT_FAILONERROR, 1L);
  api->easySetopt(easy, CURLOPT_NOSIGNAL, 1L);
  api->easySetopt(easy, CURLOPT_WRITEFUNCTION, &Collect);
  api->easySetopt(easy, CURLOPT_WRITEDATA, &result.body);
  api->multiAdd(multi, easy);
  // The window stays served while the reply comes.
  int running = 1;
  bool gaveUp = false;
  while (running != 0) {
    if (api->multiPerform(multi, &running) != CURLM_OK) break;
    if (running == 0) break;
    api->multiPoll(multi, nullptr, 0, 50, nullptr);
    platform::PumpMessages(0);
    if (cancelled && cancelled()) {
      gaveUp = true;
      break;
    }
  }
  CURLcode code = CURLE_RECV_ERROR;
  int left = 0;
  while (CURLMsg* msg = api->multiInfoRead(multi, &left)) {
    if (msg->msg == CURLMSG_DONE) code = msg->data.result;
  }
  result.reached = !gaveUp && code == CURLE_OK;
  if (gaveUp) {
    result.error = "cancelled";
  } else if (!result.reached) {
    result.error = api->easyStrerror(code);
  }
  api->multiRemove(multi, easy);
  api->easyCleanup(easy);
  api->multiCleanup(multi);
  return result;
}

// ---- The dialog ----

const platform::DialogTemplate& ArtistInfoTemplate() {
  using D = CArtistInfoDlg;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      D::kTemplateId, "Albums",
      Column({Text(std::string("Double-click on an album for details, commentary, track list, and song samples by ") +
                   kAlbumServiceName +
                   ".\n(Albums you already have on your player are denoted with a green checkmark.)")
                  .Width(80),
              ListView(D::kListId).Lines(12).Expand(),
              Row({Button(D::kPrevPageId, "Prev Page"), Text("1/1", D::kPageId).Width(10).Style(platform::kStyleAlignCentre),
                   Button(D::kNextPageId, "Next Page")}),
              Row({Progress(D::kProgressId).Width(20), Text("", D::kStatusId).Width(44).Expand(),
                   Button(D::kCancelRequestId, "Cancel")}),
              Buttons({DefaultButton(platform::IDOK, "Close")})}),
      platform::kFrameDialog | platform::kFrameThick);
  return t;
}

CArtistInfoDlg::CArtistInfoDlg(std::string artist, KernelDevice& device, const platform::ImageList* images,
                               AlbumFetcher fetch)
    : Dialog(ArtistInfoTemplate()),
      artist_(std::move(artist)),
      device_(device),
      images_(images != nullptr ? *images : OwnImages()),
      fetch_(fetch ? std::move(fetch) : AlbumFetcher(&FetchOverHttp)) {
  HandleCommand(kCancelRequestId, [this] { OnCancelRequest(); });
  HandleMessage(kStartFetchMessage, [this](platform::WPARAM, platform::LPARAM) {
    FetchPage();
    return platform::LRESULT{0};
  });
  HandleTimer(kProgressTimer, [this] { ShowProgress(); });
  HandleCommand(kPrevPageId, [this] { OnPrevPage(); });
  HandleCommand(kNextPageId, [this] { OnNextPage(); });
  HandleNotify(kListId, platform::NotifyCode::ItemActivate, [this](platform::Notification& n) {
    OnItemDoubleClick(n.item);
    n.result = 0;
  });
}

bool CArtistInfoDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  SetWindowText("Albums by '" + artist_ + "'");
  platform::ListViewControl& list = ListView(kListId);
  list.SetImageList(&images_, true);
  list.InsertColumn(0, {"Album Title", 275});
  list.InsertColumn(1, {"Release Date", 125});
  list.InsertColumn(2, {"", 30});
  list.InsertColumn(3, {"Record Label", 125});
  list.SetColumnOrderArray({2, 0, 1, 3});
  list.SetExtendedStyle(platform::LVS_EX_FULLROWSELECT, platform::LVS_EX_FULLROWSELECT);
  Progress(kProgressId).SetRange32(0, kReplyMs / 1000);
  EnableDlgItem(kCancelRequestId, false);
  // The request can take its whole time limit: the dialog shows first and asks then.
  platform::PostMessage(GetSafeHwnd(), kStartFetchMessage, 0, 0);
  return true;
}

void CArtistInfoDlg::DoDataExchange(platform::DataExchange&) {}

std::string CArtistInfoDlg::RequestAddress() const { return AddressOf(page_); }

std::string CArtistInfoDlg::AddressOf(int page) const {
  const std::string base = ServiceAddress();
  return base.empty() ? base : base + AlbumRequestPath(artist_, page);
}

void CArtistInfoDlg::FetchPage() { Fetch(page_); }

void CArtistInfoDlg::Fetch(int page) {
  if (fetching_ || !IsOpen() || IsEnded()) return;
  fetching_ = true;
  cancelRequested_ = false;
  AlbumFetch reply;
  const std::string address = AddressOf(page);
  if (!address.empty()) {
    ShowWaiting(true);
    platform::WaitCursor wait;
    reply = fetch_(address, [this] { return cancelRequested_ || IsEnded() || !IsOpen(); });
  }
  fetching_ = false;
  const bool cancelled = cancelRequested_ || IsEnded() || !IsOpen();
  if (!address.empty() && IsOpen()) ShowWaiting(false);
  if (cancelled) {
    // The list and its page stay as they were.
    if (IsOpen() && !IsEnded()) SetDlgItemText(kStatusId, "The request was cancelled.");
    return;
  }
  page_ = page;
  FillPage(reply);
  if (reply.noLibrary) {
    ShowMessageBox(reply.error, platform::MB_ICONERROR);
  } else if (!reply.reached) {
    ShowMessageBox(std::string("Could not reach ") + kAlbumServiceName + " to get album list for this artist.",
                   platform::MB_ICONINFORMATION);
  }
}

void CArtistInfoDlg::ShowWaiting(bool waiting) {
  EnableDlgItem(kCancelRequestId, waiting);
  EnableDlgItem(kPrevPageId, !waiting);
  EnableDlgItem(kNextPageId, !waiting);
  if (waiting) {
    fetchStart_ = platform::GetTickCount64();
    SetTimer(kProgressTimer, 250);
    ShowProgress();
  } else {
    KillTimer(kProgressTimer);
    Progress(kProgressId).SetPos(0);
    SetDlgItemText(kStatusId, "");
  }
}

void CArtistInfoDlg::ShowProgress() {
  if (!fetching_) return;
  const std::uint64_t seconds = (platform::GetTickCount64() - fetchStart_) / 1000;
  Progress(kProgressId).SetPos(static_cast<int>(std::min<std::uint64_t>(seconds, kReplyMs / 1000)));
  SetDlgItemText(kStatusId, std::string("Asking ") + kAlbumServiceName + " for the albums... (" +
                                std::to_string(seconds) + " s)");
}

void CArtistInfoDlg::OnCancelRequest() {
  if (fetching_) cancelRequested_ = true;
}

// Closing while a page is asked for stops the request as well.
void CArtistInfoDlg::OnOK() {
  cancelRequested_ = fetching_;
  Dialog::OnOK();
}

void CArtistInfoDlg::OnCancel() {
  cancelRequested_ = fetching_;
  Dialog::OnCancel();
}

void CArtistInfoDlg::FillPage(const AlbumFetch& reply) {
  platform::ListViewControl& list = ListView(kListId);
  list.DeleteAllItems();
  addresses_.clear();
  // What arrived before a failure is shown all the same.
  const AlbumReply scanned = ScanAlbumReply(reply.body);
  bool deviceFailed = false;
  for (const AlbumEntry& album : scanned.albums) {
    bool held = false;
    // An empty album name asks the player for any album of the artist: it marks nothing.
    if (!deviceFailed && !platform::Trim(album.title).empty()) {
      try {
        KernelId track;
        held = device_.GetFirstTrackByTags(track, artist_, album.title, "") != 0;
      } catch (const std::exception& e) {
        // One report for the page; the rows still show, unmarked.
        deviceFailed = true;
        KernelDeviceClient::ReportError("Could not check which albums are on the player.", e);
      }
    }
    const int row = list.InsertItem(list.GetItemCount(), album.title, held ? kHeldImage : kNotHeldImage);
    list.SetItemText(row, 2, std::to_string((page_ - 1) * 10 + row + 1));
    list.SetItemText(row, 1, album.releaseDate);
    list.SetItemText(row, 3, album.label);
    addresses_.push_back(album.detailAddress);
  }
  if (scanned.totalPages) {
    totalPages_ = *scanned.totalPages;
    SetDlgItemText(kPageId, platform::Printf("%d/%d", page_, totalPages_));
  }
}

void CArtistInfoDlg::OnPrevPage() {
  if (fetching_ || page_ <= 1) return;
  Fetch(page_ - 1);
}

void CArtistInfoDlg::OnNextPage() {
  if (fetching_ || page_ >= totalPages_) return;
  Fetch(page_ + 1);
}

void CArtistInfoDlg::OnItemDoubleClick(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= addresses_.size()) return;
  const std::string& address = addresses_[static_cast<std::size_t>(row)];
  if (IsWebAddress(address)) ShellOpenFile(address);
}

}  // namespace tools
