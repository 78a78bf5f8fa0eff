// CArtistInfoDlg: the albums of one artist as an album-lookup web service lists them, one
// reply page (ten albums) at a time, with the albums the player already holds marked.
// Double-clicking an album opens the service's page for it in the browser.
//
// The request goes to the address in the setting `URL_AlbumLookup` ("http://host[:port]",
// any host), by POST through libcurl (loaded at the first request), with a 5-second limit
// to connect and 30 seconds for the whole reply; the window keeps being served meanwhile.
// The reply is scanned line by line for a handful of element names (ScanAlbumReply), not
// parsed as XML.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/kernel_device.h"
#include "platform/ui/image_list.h"
#include "platform/ui/ui_window.h"
#include "tools/album_reply.h"

namespace tools {

// The service as the messages and the dialog's text name it.
inline constexpr const char* kAlbumServiceName = "Calvessa Music";

// ---- The request ----

struct AlbumFetch {
  bool reached = false;  // the service answered with a success status
  std::string body;
  std::string error;     // what went wrong, for diagnostics
  bool noLibrary = false;  // the HTTP library could not be loaded (`error` says why)
};
// The HTTP library, loaded at the first request (platform::SharedLibrary::Redirect points
// it elsewhere).
inline constexpr const char* kHttpLibraryName = "libcurl.so.4";

// Sends the request (POST, no body) and collects the reply, serving the thread's messages
// while it waits; it gives up (not reached) as soon as `cancelled` answers true.
using AlbumFetchCancelled = std::function<bool()>;
using AlbumFetcher = std::function<AlbumFetch(const std::string& address, const AlbumFetchCancelled& cancelled)>;
AlbumFetch FetchOverHttp(const std::string& address, const AlbumFetchCancelled& cancelled);

// The request's path and query for an artist and a page; the artist is %-escaped.
std::string AlbumRequestPath(std::string_view artist, int page);

// ---- The dialog ----

class CArtistInfoDlg : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 677;
  static constexpr int kListId = 1179;
  static constexpr int kPrevPageId = 1128;
  static constexpr int kNextPageId = 1178;
  static constexpr int kPageId = 1250;
  // While a page is asked for: how long it has waited of the limit, what it waits for,
  // and the button that stops waiting.
  static constexpr int kProgressId = 1251;
  static constexpr int kStatusId = 1254;
  static constexpr int kCancelRequestId = 1255;
  // The pictures of a row: held on the player, or not.
  static constexpr int kHeldImage = 34;
  static constexpr int kNotHeldImage = 15;

  // `images` is copied (null: the dialog's own pictures); `fetch` sends the requests
  // (empty: over HTTP).
  CArtistInfoDlg(std::string artist, device::KernelDevice& device, const platform::ImageList* images = nullptr,
                 AlbumFetcher fetch = {});

  bool OnInitDialog() override;
  void DoDataExchange(platform::DataExchange& dx) override;

  // Reads the current page into the list; the first page is asked for once the dialog is
  // shown.
  void FetchPage();
  void OnPrevPage();
  void OnNextPage();
  void OnItemDoubleClick(int row);
  void OnCancelRequest();
  bool IsFetching() const { return fetching_; }

  int CurrentPage() const { return page_; }
  int TotalPages() const { return totalPages_; }
  // The detail address of each row, in row order (empty where the reply gave none).
  const std::vector<std::string>& DetailAddresses() const { return addresses_; }
  // The address the current page is asked at.
  std::string RequestAddress() const;

 private:
  std::string AddressOf(int page) const;
  // Asks for a page; it becomes the current one when the reply (or the failure) comes,
  // not when the person cancels.
  void Fetch(int page);
  // Puts the reply's albums into the list.
  void FillPage(const AlbumFetch& reply);
  void ShowWaiting(bool waiting);
  void ShowProgress();
  void OnOK() override;
  void OnCancel() override;

  std::string artist_;
  device::KernelDevice& device_;
  platform::ImageList images_;
  AlbumFetcher fetch_;
  int page_ = 1;
  int totalPages_ = 1;
  bool fetching_ = false;
  bool cancelRequested_ = false;
  std::uint64_t fetchStart_ = 0;
  std::vector<std::string> addresses_;
};

const platform::DialogTemplate& ArtistInfoTemplate();

}  // namespace tools
