// The album lookup against a local HTTP server that stands in for the service: the
// request it gets, the pages and their numbers, the "held" marks from the player, the
// detail pages opened by double-click, replies out of shape, and the message when the
// service cannot be reached. Also the reply scanner on its own.
#include "tools/artist_info_dlg.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "testing/processes.h"
#include "platform/kernel/shared_library.h"
#include "platform/settings/settings.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"

using namespace device;

namespace tools {
namespace {

using platform::DialogDriver;
using D = CArtistInfoDlg;

const bool kIsolated = platform::testing::IsolateNamespace();

// One request as the server got it.
struct Request {
  std::string method;
  std::string target;
};

// A local HTTP server on a free port of 127.0.0.1: each connection gets one answer from
// `answer` (status and body), then is closed.
class FixtureServer {
 public:
  using Answer = std::function<std::pair<int, std::string>(const Request&)>;

  explicit FixtureServer(Answer answer) : answer_(std::move(answer)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      ADD_FAILURE() << "the fixture server could not listen";
      return;
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FixtureServer() {
    stop_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    if (thread_.joinable()) thread_.join();
  }
  std::string Address() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<Request> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void Serve() {
    while (!stop_) {
      const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) return;
      std::string head;
      char buffer[4096];
      while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::read(c, buffer, sizeof buffer);
        if (n <= 0) break;
        head.append(buffer, static_cast<std::size_t>(n));
      }
      Request r;
      const std::size_t space = head.find(' ');
      const std::size_t second = head.find(' ', space + 1);
      if (space != std::string::npos && second != std::string::npos) {
        r.method = head.substr(0, space);
        r.target = head.substr(space + 1, second - space - 1);
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(r);
      }
      const auto [status, body] = answer_(r);
      const std::string reply = "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: text/xml\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
      for (std::size_t sent = 0; sent < reply.size();) {
        const ssize_t n = ::write(c, reply.data() + sent, reply.size() - sent);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      ::close(c);
    }
  }

  Answer answer_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
};

// A reply page of albums named "<prefix> n" for n in [first, last], each with its own
// detail page, and the number of pages.
std::string Page(int first, int last, int pages) {
  std::string xml = "<?xml version=\"1.0\"?>\n<ProductInfo>\n  <TotalPages>" + std::to_string(pages) + "</TotalPages>\n";
  for (int n = first; n <= last; ++n) {
    const std::string s = std::to_string(n);
    xml += "  <Details url=\"http://albums.example/a" + s + "\">\n    <ProductName>Album " + s +
           "</ProductName>\n    <ReleaseDate>" + std::to_string(1990 + n) + "</ReleaseDate>\n    <Manufacturer>Label " + s +
           "</Manufacturer>\n  </Details>\n";
  }
  return xml + "</ProductInfo>\n";
}

// A reply that arrived whole, and a request the person cancelled.
AlbumFetch Reached(std::string body) {
  AlbumFetch reply;
  reply.reached = true;
  reply.body = std::move(body);
  return reply;
}
AlbumFetch Cancelled() {
  AlbumFetch reply;
  reply.error = "cancelled";
  return reply;
}

// The page number of a request target.
int PageOf(const std::string& target) {
  const std::size_t at = target.find("&page=");
  return at == std::string::npos ? 0 : std::atoi(target.c_str() + at + 6);
}

class ArtistInfoTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    settings_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    player_.AddTrack({.artist = "Ada Lind & Sons", .album = "Album 2", .title = "One"});
    player_.AddTrack({.artist = "Ada Lind & Sons", .album = "Album 23", .title = "Two", .genre = "Jazz"});
    player_.AddTrack({.artist = "Someone Else", .album = "Album 3", .title = "Three"});
  }
  // Rows as "number|title|date|label|image".
  static std::vector<std::string> Rows(platform::UiWindow& w) {
    platform::ListViewControl& list = w.ListView(D::kListId);
    std::vector<std::string> rows;
    for (int r = 0; r < list.GetItemCount(); ++r) {
      rows.push_back(list.GetItemText(r, 2) + "|" + list.GetItemText(r, 0) + "|" + list.GetItemText(r, 1) + "|" +
                     list.GetItemText(r, 3) + "|" + std::to_string(list.GetItemImage(r)));
    }
    return rows;
  }

  std::optional<platform::SettingsKey> settings_;
  MemoryDevice player_;
};

TEST_F(ArtistInfoTest, PagesThroughTheServiceAndMarksTheAlbumsThePlayerHolds) {
  // 23 albums: pages of ten, ten and three.
  FixtureServer server([](const Request& r) {
    const int page = PageOf(r.target);
    return std::make_pair(200, Page(page * 10 - 9, std::min(page * 10, 23), 3));
  });
  settings_->SetString("URL_AlbumLookup", server.Address() + "/");
  platform::ScriptedHost host;
  D dlg("Ada Lind & Sons", player_);
  host.ExpectDialog(D::kTemplateId, [&](DialogDriver& d) {
    d.Pump();  // the first page is asked for once the dialog shows
    EXPECT_EQ(d.Caption(), "Albums by 'Ada Lind & Sons'");
    platform::ListViewControl& list = d.window().ListView(D::kListId);
    EXPECT_EQ(list.GetColumnOrderArray(), (std::vector<int>{2, 0, 1, 3}));
    EXPECT_EQ(list.GetColumn(0).title, "Album Title");
    EXPECT_EQ(list.GetColumn(3).title, "Record Label");
    std::vector<std::string> rows = Rows(d.window());
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0], "1|Album 1|1991|Label 1|15");
    EXPECT_EQ(rows[1], "2|Album 2|1992|Label 2|34");  // on the player, whatever the genre
    EXPECT_EQ(rows[2], "3|Album 3|1993|Label 3|15");  // another artist's album of that name
    EXPECT_EQ(d.Text(D::kPageId), "1/3");
    d.Click(D::kPrevPageId);  // nothing before page 1
    EXPECT_EQ(server.Requests().size(), 1u);
    d.Click(D::kNextPageId).Click(D::kNextPageId);
    rows = Rows(d.window());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "21|Album 21|2011|Label 21|15");
    EXPECT_EQ(rows[2], "23|Album 23|2013|Label 23|34");
    EXPECT_EQ(d.Text(D::kPageId), "3/3");
    d.Click(D::kNextPageId);  // nothing after the last page
    EXPECT_EQ(server.Requests().size(), 3u);
    d.Click(D::kPrevPageId);
    EXPECT_EQ(Rows(d.window()).front(), "11|Album 11|2001|Label 11|15");
    d.Ok();
  });
  dlg.DoModal();
  const std::vector<Request> requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  for (const Request& r : requests) EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(requests[0].target,
            "/onca/xml3?t=vqmt-20&dev-t=K7QW3ZPLMX9TRA&ArtistSearch=Ada%20Lind%20%26%20Sons&mode=music&type=lite&page=1&f=xml");
  EXPECT_EQ(PageOf(requests[3].target), 2);
  EXPECT_TRUE(host.ShownTexts().empty());
}

TEST_F(ArtistInfoTest, EachRowOpensItsOwnDetailPageAndOnlyAWebAddress) {
  // The second album has no address, the fourth one that is not a web page.
  const std::string reply =
      "<ReleaseDate>1970</ReleaseDate>\n<Manufacturer>Nobody</Manufacturer>\n<ProductName>\n"
      "<Details url=\"http://albums.example/one?a=1&amp;b=2\">\n<ProductName>One</ProductName>\n</Details>\n"
      "<Details>\n<ProductName>Two</ProductName>\n<ReleaseDate>x</ReleaseDate>\n</Details>\n"
      "<Details url=\"https://albums.example/three\">\n<ProductName>Three &amp; Four</ProductName>\n</Details>\n"
      "<Details url=\"file:///etc/passwd\">\n<ProductName>Five</ProductName>\n</Details>\n<TotalPages>x</TotalPages>\n";
  FixtureServer server([&](const Request&) { return std::make_pair(200, reply); });
  settings_->SetString("URL_AlbumLookup", server.Address());
  platform::ScriptedHost host;
  platform::ShellOpenRecording opened;
  D dlg("Ada Lind", player_);
  host.ExpectDialog(D::kTemplateId, [&](DialogDriver& d) {
    d.Pump();
    // The lines before the first album belong to none; the broken one makes an empty title.
    EXPECT_EQ(Rows(d.window()), (std::vector<std::string>{"1||||15", "2|One|||15", "3|Two|x||15",
                                                          "4|Three & Four|||15", "5|Five|||15"}));
    EXPECT_EQ(d.Text(D::kPageId), "1/1");
    for (int row = 0; row < 5; ++row) d.ActivateRow(D::kListId, row);
    d.Ok();
  });
  dlg.DoModal();
  ASSERT_EQ(opened.calls().size(), 2u);
  EXPECT_EQ(opened.calls()[0].target, "http://albums.example/one?a=1&b=2");
  EXPECT_EQ(opened.calls()[1].target, "https://albums.example/three");
}

TEST_F(ArtistInfoTest, AServiceThatCannotBeReachedIsSaid) {
  // A port nobody listens on, a server that fails, and no address at all.
  int closedPort = 0;
  {
    FixtureServer gone([](const Request&) { return std::make_pair(200, std::string()); });
    closedPort = std::atoi(gone.Address().c_str() + gone.Address().rfind(':') + 1);
  }
  FixtureServer failing([](const Request&) { return std::make_pair(503, Page(1, 2, 1)); });
  for (const std::string& address : {"http://127.0.0.1:" + std::to_string(closedPort), failing.Address(), std::string()}) {
    SCOPED_TRACE(address);
    settings_->SetString("URL_AlbumLookup", address);
    platform::ScriptedHost host;
    D dlg("Ada Lind", player_);
    host.ExpectDialog(D::kTemplateId, [&](DialogDriver& d) {
      host.ExpectNextMessageBox(platform::IDOK, "Could not reach Calvessa Music to get album list for this artist.");
      d.Pump();
      EXPECT_TRUE(Rows(d.window()).empty());
      EXPECT_EQ(d.Text(D::kPageId), "1/1");
      d.Ok();
    });
    dlg.DoModal();
  }
  EXPECT_EQ(failing.Requests().size(), 1u);
}

// The HTTP library is loaded at the first request: on a computer without it the dialog
// says so and why, sends nothing, and works again once the library is there.
TEST_F(ArtistInfoTest, WithoutTheHttpLibraryTheDialogSaysWhy) {
  FixtureServer server([](const Request&) { return std::make_pair(200, Page(1, 2, 1)); });
  settings_->SetString("URL_AlbumLookup", server.Address());
  platform::SharedLibrary::Redirect(tools::kHttpLibraryName, "/nonexistent/libcurl.so");
  {
    platform::ScriptedHost host;
    D dlg("Ada Lind", player_);
    host.ExpectDialog(D::kTemplateId, [&](DialogDriver& d) {
      host.ExpectNextMessageBox(platform::IDOK, "The HTTP library could not be loaded: /nonexistent/libcurl.so");
      d.Pump();
      EXPECT_TRUE(Rows(d.window()).empty());
      d.Ok();
    });
    dlg.DoModal();
  }
  EXPECT_TRUE(server.Requests().empty());
  platform::SharedLibrary::Redirect(tools::kHttpLibraryName, "");
  platform::ScriptedHost host;
  D dlg("Ada Lind", player_);
  host.ExpectDialog(D::kTemplateId, [&](DialogDriver& d) {
    d.Pump();
    EXPECT_EQ(Rows(d.window()).size(), 2u);
    d.Ok();
  });
  dlg.DoModal();
  EXPECT_TRUE(host.ShownTexts().empty());
}

// An album of no name asks the player for any album of the artist; it is not marked held.
TEST_F(ArtistInfoTest, AnAlbumWithoutANameIsNotMarkedHeld) {
  const std::string reply = "<Details url=\"http://albums.example/a\">\n<ProductName></ProductName>\n</Details>\n"
                            "<Details url=\"http://albums.example/b\">\n<ProductName> </ProductName>\n</Details>\n"
                            "<Details url=\"http://albums.example/c\">\n<ProductName>Album 2</ProductName>\n</Details>\n";
  settings_->SetString("URL_AlbumLookup", "http://albums.example");
  platform::ScriptedHost host;
  D dlg("Ada Lind & Sons", player_, nullptr, [&](const std::string&, const AlbumFetchCancelled&) {
    return Reached(reply);
  });
  host.ExpectDialog(D::kTemplateId, [&](DialogDriver& d) {
    d.Pump();
    EXPECT_EQ(Rows(d.window()), (std::vector<std::string>{"1||||15", "2| |||15", "3|Album 2|||34"}));
    d.Ok();
  });
  dlg.DoModal();
}

// The request can take its whole 30 s: the dialog is on the screen before it is sent,
// shows how long it has waited with a Cancel that stops it, and a cancelled page leaves
// the list and its page number as they were.
TEST_F(ArtistInfoTest, TheDialogShowsBeforeTheRequestAndCancelStopsIt) {
  settings_->SetString("URL_AlbumLookup", "http://albums.example");
  platform::ScriptedHost host;
  std::vector<int> asked;
  bool cancelFirstPage = true;
  D* shown = nullptr;
  D dlg("Ada Lind & Sons", player_, nullptr, [&](const std::string& address, const AlbumFetchCancelled& cancelled) {
    asked.push_back(PageOf(address));
    DialogDriver d(*shown);
    EXPECT_TRUE(shown->IsWindowVisible());
    EXPECT_TRUE(d.Enabled(D::kCancelRequestId));
    EXPECT_FALSE(d.Enabled(D::kNextPageId));
    EXPECT_NE(d.Text(D::kStatusId).find("Asking Calvessa Music"), std::string::npos);
    if (asked.size() == 1 && !cancelFirstPage) return Reached(Page(1, 10, 3));
    cancelFirstPage = false;
    EXPECT_FALSE(cancelled());
    d.Click(D::kCancelRequestId);
    EXPECT_TRUE(cancelled());
    return Cancelled();
  });
  shown = &dlg;
  host.ExpectDialog(D::kTemplateId, [&](DialogDriver& d) {
    EXPECT_FALSE(d.Enabled(D::kCancelRequestId));
    d.Pump();  // the first page is cancelled: nothing is said, the list stays empty
    EXPECT_TRUE(Rows(d.window()).empty());
    EXPECT_EQ(d.Text(D::kStatusId), "The request was cancelled.");
    EXPECT_FALSE(d.Enabled(D::kCancelRequestId));
    EXPECT_TRUE(d.Enabled(D::kNextPageId));
    asked.clear();
    dlg.FetchPage();  // asked again: the reply comes
    EXPECT_EQ(Rows(d.window()).size(), 10u);
    EXPECT_EQ(d.Text(D::kPageId), "1/3");
    d.Click(D::kNextPageId);  // page 2 is cancelled: page 1 stays
    EXPECT_EQ(asked, (std::vector<int>{1, 2}));
    EXPECT_EQ(Rows(d.window()).front(), "1|Album 1|1991|Label 1|15");
    EXPECT_EQ(dlg.CurrentPage(), 1);
    EXPECT_EQ(d.Text(D::kPageId), "1/3");
    d.Ok();
  });
  dlg.DoModal();
  EXPECT_TRUE(host.ShownTexts().empty());
}

// A service that never answers: the request ends as soon as the person cancels, not after
// its time limit.
TEST_F(ArtistInfoTest, ARequestToASilentServiceEndsWhenCancelled) {
  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  FixtureServer silent([&](const Request&) {
    std::unique_lock<std::mutex> lock(mutex);
    released.wait(lock, [&] { return release; });
    return std::make_pair(200, Page(1, 1, 1));
  });
  // Cancelled once the request has reached the service.
  const AlbumFetch reply = FetchOverHttp(silent.Address() + "/x", [&] { return !silent.Requests().empty(); });
  EXPECT_FALSE(reply.reached);
  EXPECT_EQ(reply.error, "cancelled");
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  released.notify_all();
}

TEST(AlbumReplyTest, ScansLinesForTheirElements) {
  const struct {
    std::string line;
    std::string tag;
    std::string text;
  } kCases[] = {
      {"  <ProductName>North Light</ProductName>  ", "ProductName", "North Light"},
      {"<ProductName>A &lt;B&gt; &quot;C&quot;</ProductName>", "ProductName", "A <B> \"C\""},
      {"<ProductName></ProductName>", "ProductName", ""},
      {"<ProductName>", "ProductName", ""},
      {"ProductName", "ProductName", ""},
      {"<TotalPages>3</TotalPages><ProductName>x", "TotalPages", "3"},
  };
  for (const auto& c : kCases) EXPECT_EQ(ExtractElementText(c.line, c.tag), c.text) << c.line;
  for (const char* address : {"http://a.example/x", "HTTPS://a.example"}) EXPECT_TRUE(IsWebAddress(address)) << address;
  for (const char* address : {"", "http://", "ftp://a.example", "javascript:alert(1)", "file:///etc/passwd", "/etc"}) {
    EXPECT_FALSE(IsWebAddress(address)) << address;
  }
}

}  // namespace
}  // namespace tools
