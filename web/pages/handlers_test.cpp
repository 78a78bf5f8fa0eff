// The default, data and stream handlers over loopback, answering from an in-memory
// player whose downloads are written in the background, a block at a time.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "common/identity.h"
#include "common/settings.h"
#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "device/track_cache.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "web/pages/handler_data.h"
#include "web/pages/handler_default.h"
#include "web/pages/handler_stream.h"
#include "web/http/http_server.h"
#include "testing/skins.h"

namespace web {

using namespace device;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Downloads are written by a thread of their own, `block` bytes every `pauseMs`, as a
// player's driver copies; IsDownloadRunning answers while one is being written. While
// `hold` is set, a writer waits after each block.
class GrowingDevice : public MemoryDeviceBase {
 public:
  ~GrowingDevice() override { JoinWriters(); }

  std::size_t block = 64 * 1024;
  int pauseMs = 0;
  std::int64_t stopAfter = -1;   // a failed copy: the writer gives up after this many bytes
  bool removeOnStop = false;     // ... and deletes what it wrote
  int busyAnswers = 0;           // answer 2 (busy) this many times first
  std::atomic<int> downloads{0};
  std::atomic<int> busySeen{0};
  std::atomic<long long> lastFinishedMs{0};  // when the last writer closed its file
  std::atomic<bool> hold{false};

  // Releases held writers and waits for them all.
  void JoinWriters() {
    hold = false;
    std::vector<std::thread> writers;
    {
      std::lock_guard<std::mutex> lock(mu_);
      writers.swap(writers_);
    }
    for (std::thread& t : writers) t.join();
  }

  // Steps of walks over the tracks with their records.
  std::atomic<int> trackReads{0};
  int GetFirstAudioTrackInfo(KernelId& t, TrackRecord& r) override {
    ++trackReads;
    return MemoryDeviceBase::GetFirstAudioTrackInfo(t, r);
  }
  int GetNextAudioTrackInfo(KernelId& t, TrackRecord& r) override {
    ++trackReads;
    return MemoryDeviceBase::GetNextAudioTrackInfo(t, r);
  }

  int IsDownloadRunning() override { return running_.load() > 0 ? 1 : 0; }
  int DownloadTrack(const KernelId& track, std::string_view path, int) override {
    if (RecordOf(track).playOnly) return 6;
    return Start(ContentOf(track), path);
  }
  int DownloadDataFile(const KernelId& item, std::string_view path) override { return Start(ContentOf(item), path); }

 private:
  int Start(const std::string& content, std::string_view windowsPath) {
    if (busySeen < busyAnswers) {
      ++busySeen;
      return 2;
    }
    ++downloads;
    ++running_;
    const std::string path = platform::ToPosixPath(windowsPath);
    std::lock_guard<std::mutex> lock(mu_);
    writers_.emplace_back([this, content, path, block = block, pause = pauseMs, stop = stopAfter,
                           remove = removeOnStop] {
      const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      std::size_t done = 0;
      while (fd >= 0 && done < content.size()) {
        if (stop >= 0 && static_cast<std::int64_t>(done) >= stop) break;
        const std::size_t n = std::min(block, content.size() - done);
        if (write(fd, content.data() + done, n) != static_cast<ssize_t>(n)) break;
        done += n;
        if (pause) std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        while (hold) std::this_thread::sleep_for(1ms);
      }
      if (fd >= 0) close(fd);
      if (done < content.size() && remove) unlink(path.c_str());
      lastFinishedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
      --running_;
    });
    return 0;
  }

  std::mutex mu_;
  std::vector<std::thread> writers_;
  std::atomic<int> running_{0};
};

struct Response {
  std::string head;
  std::string body;
  long long firstBodyMs = 0;  // when the first body byte arrived

  std::string Status() const { return head.substr(0, head.find("\r\n")); }
  // The value of a header line, or "(none)".
  std::string Header(const std::string& name) const {
    const std::size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "(none)";
    const std::size_t from = at + name.size() + 4;
    return head.substr(from, head.find("\r\n", from) - from);
  }
};

// `onBody` runs once the head and the first bytes of the body have arrived.
Response Exchange(int port, const std::string& request, const std::function<void()>& onBody = {}) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  timeval timeout{20, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string all;
  Response response;
  char buffer[16384];
  for (;;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    all.append(buffer, static_cast<std::size_t>(n));
    if (response.firstBodyMs == 0) {
      const std::size_t end = all.find("\r\n\r\n");
      if (end != std::string::npos && all.size() > end + 4) {
        response.firstBodyMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
        if (onBody) onBody();
      }
    }
  }
  close(fd);
  const std::size_t end = all.find("\r\n\r\n");
  response.head = all.substr(0, end == std::string::npos ? all.size() : end + 2);
  if (end != std::string::npos) response.body = all.substr(end + 4);
  return response;
}

std::string Content(std::size_t size, char seed) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(seed + (i * 7 + i / 251) % 50);
  return out;
}

class Handlers : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    key_->SetString("Gen_AppDataDir", platform::FromPosixPath(root_ + "/app"));
    skins_ = root_ + "/app/skins";
    WriteSkin("Default/index.html", "<?print(devname)?>|<?print(hostname)?>");
    server_ = std::make_unique<HttpServer>();
    auto pages = std::make_unique<HandlerDefault>(server_.get(), &device_);
    auto stream = std::make_unique<HandlerStream>(server_.get(), &device_);
    auto data = std::make_unique<HandlerData>(server_.get(), &device_);
    pages_ = pages.get();
    const CopyWaits waits{.retryMs = 3000, .openMs = 3000, .stallMs = 5000, .idleCheckMs = 100};
    stream->SetCopyWaits(waits);
    data->SetCopyWaits(waits);
    server_->AddHandler(std::move(pages));
    server_->AddHandler(std::move(stream));
    server_->AddHandler(std::move(data));
    ASSERT_TRUE(server_->Start(0));
  }
  void TearDown() override {
    server_.reset();
    device_.JoinWriters();
    TempHome::TearDown();
  }

  void WriteSkin(const std::string& name, const std::string& text) {
    fs::create_directories(fs::path(skins_ + "/" + name).parent_path());
    std::ofstream(skins_ + "/" + name, std::ios::binary) << text;
  }
  Response Request(const std::string& method, const std::string& url, const std::string& headers = "Host: localhost\r\n") {
    return Exchange(server_->port(), method + " " + url + " HTTP/1.1\r\n" + headers + "\r\n");
  }
  Response Get(const std::string& url, const std::string& headers = "Host: localhost\r\n") { return Request("GET", url, headers); }
  std::string Skarnel() { return root_ + "/tmp/$Ombrix Jukebox$/skarnel"; }
  std::vector<std::string> SkarnelFiles() {
    std::vector<std::string> names;
    if (fs::exists(Skarnel())) {
      for (const auto& e : fs::directory_iterator(Skarnel())) {
        if (e.path().filename() != "log.txt") names.push_back(e.path().filename().string());
      }
    }
    return names;
  }
  // Whether the copies are all gone within `limit` (a copy nobody reads goes a little
  // after the device is done with it).
  bool SkarnelEmptyWithin(Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    while (!SkarnelFiles().empty() && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
    return SkarnelFiles().empty();
  }
  std::string SettingText(const char* name) {
    std::string value = "(unset)";
    ReadSettingString(name, value);
    return value;
  }

  std::optional<platform::SettingsKey> key_;
  std::string skins_;
  GrowingDevice device_;
  std::unique_ptr<HttpServer> server_;
  HandlerDefault* pages_ = nullptr;
};

// ---- pages and skin files ----

TEST_F(Handlers, PagesAndPlainFiles) {
  WriteSkin("Default/style.css", "body{}");
  WriteSkin("Default/RAW.HTML", "<?print(devname)?>");
  WriteSkin("Default/sub/index.html", "sub <?print(volume)?>");
  WriteSkin("Default/list.m3u", "#EXTM3U\n<?print(x)?>");

  Response r = Get("/");
  EXPECT_EQ(r.Status(), "HTTP/1.1 200 OK");
  EXPECT_EQ(r.Header("Content-Type"), "text/html");
  EXPECT_EQ(r.Header("Content-Length"), "(none)");  // a page's length is not known in advance
  EXPECT_EQ(r.body, "Memory Player|localhost\r\n");

  EXPECT_EQ(Get("/sub/").body, "sub 50\r\n");
  EXPECT_EQ(Get("/sub").body, "sub 50\r\n");  // a folder serves its index.html
  EXPECT_EQ(Get("/list.m3u?x=1").body, "#EXTM3U\r\n1\r\n");

  for (const char* name : {"logo.svg", "LOGO.SVG"}) {
    WriteSkin(std::string("Default/") + name, "<svg/>");
    EXPECT_EQ(Get(std::string("/") + name).Header("Content-Type"), "image/svg+xml") << name;
  }
  r = Get("/style.css");
  EXPECT_EQ(r.Header("Content-Type"), "text/css");
  EXPECT_EQ(r.Header("Content-Length"), "6");
  EXPECT_EQ(r.body, "body{}");
  EXPECT_EQ(Get("/RAW.HTML").body, "<?print(devname)?>");  // extensions are case-sensitive

  r = Request("HEAD", "/");
  EXPECT_EQ(r.Status(), "HTTP/1.1 200 OK");
  EXPECT_EQ(r.body, "");
  r = Request("POST", "/style.css");
  EXPECT_EQ(r.Status(), "HTTP/1.1 500 Internal Server Error");
  EXPECT_NE(r.body.find("Invalid HTTP method."), std::string::npos);

  r = Get("/missing.html");
  EXPECT_EQ(r.Status(), "HTTP/1.1 404 File Not Found");
  EXPECT_EQ(r.Header("Content-Type"), "text/html");
  EXPECT_NE(r.body.find("<a href=\"/\">Back to the overview</a>"), std::string::npos) << r.body;
  EXPECT_NE(r.body.find("Pallidor could not load the main <code>index.html</code> page"), std::string::npos);
  fs::create_directories(skins_ + "/Default/empty");
  for (const char* url : {"/empty/", "/empty"}) {  // a folder without index.html, either way
    r = Get(url);
    EXPECT_EQ(r.Status(), "HTTP/1.1 404 File Not Found") << url;
    EXPECT_NE(r.body.find("could not load the main <code>index.html</code> page"), std::string::npos) << url;
  }
}

TEST_F(Handlers, PageVariables) {
  WriteSkin("Default/v.html",
            "<?print(a)?>|<?print(a_passable)?>|<?print(c)?>|<?print(c_passable)?>|<?print(hostname)?>|"
            "<?print(b)?>|<?print(paused)?> <?print(pausedcode)?>|<?print(stortotal)?> <?print(storused)?>|"
            "<?print(slast_quick)?>|"
            "<?print(devowner)?>");
  device_.Info().ownerName = "Tom & \"Jerry\"";
  device_.AddDataFile(device_.DataRoot(), "big.bin", std::string(3 * 1048576 + 10, 'x'));  // 3 MB used
  const Response r = Get("/v.html?a=1+2|plus|3&b&c=AC|amp|DC%20%3Cb%3E&larg1=quick&larg2=it's", "Host:  LocalHost:8047 \r\n");
  EXPECT_EQ(r.body,
            "1 2+3|1 2|plus|3|AC&amp;DC &lt;b&gt;|AC&DC <b>|LocalHost:8047||Not Paused q_notpaused|20480 3|"
            "it&#39;s|Tom &amp; &quot;Jerry&quot;\r\n");
  // Fields split where the sender meant: an escaped "&", "=" or "+" stays in its value.
  const std::string split = "R&amp;B=1+1|R&B|eq|1|plus|1|x|";
  EXPECT_EQ(Get("/v.html?a=R%26B%3D1%2B1&c=x").body.substr(0, split.size()), split);
  // The query may replace any variable; what it sets is escaped.
  EXPECT_NE(Get("/v.html?hostname=%3Cscript%3E").body.find("|&lt;script&gt;|"), std::string::npos);
  // Without a Host header: the connection's own address.
  EXPECT_NE(Get("/", "").body.find("|127.0.0.1:" + std::to_string(server_->port())), std::string::npos);
}

// Pages keep the tracks they read while the player's catalogue stays the same; when the
// handler's device forwards to the player without telling its state, every page reads
// them afresh unless the handler knows the player.
TEST_F(Handlers, PagesReadTheTracksOncePerCatalogueVersion) {
  WriteSkin("Default/t.html", "<?loop(AUDIOALL,title)?><?print(title)?>;<?endloop?>");
  const KernelId a = device_.AddTrack({.title = "B side"});
  device_.AddTrack({.title = "A side"});
  EXPECT_EQ(Get("/t.html").body, "A side;B side;\r\n");
  EXPECT_EQ(Get("/t.html").body, "A side;B side;\r\n");
  EXPECT_EQ(device_.trackReads.load(), 3);  // the walk: a record with each step
  static_cast<KernelDevice&>(device_).SetTrackTitle(a, "C side");
  EXPECT_EQ(Get("/t.html").body, "A side;C side;\r\n");

  // A road to the player that tells nothing of it, like trayhub's own client.
  class Road : public ForwardingDevice {
   public:
    using ForwardingDevice::ForwardingDevice;
    std::optional<std::uint64_t> CatalogueVersion() const override { return std::nullopt; }
    std::optional<bool> PlaybackStoppedNow() const override { return std::nullopt; }
  } road(device_);
  HttpServer other;
  auto handler = std::make_unique<HandlerDefault>(&other, &road);
  HandlerDefault& pages = *handler;
  other.AddHandler(std::move(handler));
  ASSERT_TRUE(other.Start(0));
  device_.trackReads = 0;
  WriteSkin("Default/s.html", "<?print(playstate)?>");
  auto page = [&](const std::string& url) {
    return Exchange(other.port(), "GET " + url + " HTTP/1.1\r\nHost: localhost\r\n\r\n").body;
  };
  EXPECT_EQ(page("/t.html"), "A side;C side;\r\n");
  EXPECT_EQ(page("/t.html"), "A side;C side;\r\n");
  EXPECT_EQ(device_.trackReads.load(), 2 * 3);
  EXPECT_EQ(page("/s.html"), "Playing\r\n");  // cannot tell

  pages.SetPlayerDevice(&device_);
  device_.trackReads = 0;
  page("/t.html");
  page("/t.html");
  EXPECT_EQ(device_.trackReads.load(), 3);
  EXPECT_EQ(page("/s.html"), "Stopped\r\n");
}

TEST_F(Handlers, NotConnected) {
  device_.SetConnected(false);
  for (const char* url : {"/", "/style.css", "/whatever/x.html"}) {
    const Response r = Get(url);
    EXPECT_EQ(r.Status(), "HTTP/1.1 200 OK") << url;
    EXPECT_NE(r.body.find("Your " + g_ProductIdentity.deviceWord + " is not connected. Connect using " +
                          g_ProductIdentity.managerName + " in the systray."),
              std::string::npos)
        << r.body;
  }
}

TEST_F(Handlers, NewSkinAcceptsOnlyInstalledSkins) {
  WriteSkin("Other/index.html", "other");
  WriteSkin("R & B/index.html", "rnb");
  ASSERT_TRUE(WriteZip(skins_ + "/Zipped.osk", {{"index.html", "zipped"}}));
  WriteSkin("notes.txt", "x");
  fs::create_directories(root_ + "/app/outside");
  std::ofstream(root_ + "/app/outside/index.html") << "outside";

  for (const char* name : {"..", "../outside", "..%2Foutside", "Default/sub", "Missing", "notes.txt", "", "default",
                           "%2Fetc"}) {
    const Response r = Get(std::string("/?newskin=") + name);
    EXPECT_EQ(r.body, "Memory Player|localhost\r\n") << name;
    EXPECT_EQ(SettingText("VX_Skin"), "(unset)") << name;
  }
  EXPECT_EQ(Get("/?newskin=Other").body, "other\r\n");
  EXPECT_EQ(SettingText("VX_Skin"), "Other");
  EXPECT_EQ(Get("/").body, "other\r\n");
  EXPECT_EQ(Get("/?newskin=R+|amp|+B").body, "rnb\r\n");  // stored as the plain name
  EXPECT_EQ(SettingText("VX_Skin"), "R & B");
  EXPECT_EQ(Get("/?newskin=Zipped.osk").body, "zipped\r\n");
  EXPECT_EQ(Get("/?newskin=../outside").body, "zipped\r\n");
  EXPECT_EQ(SettingText("VX_Skin"), "Zipped.osk");

  const Response r = Get("/nothing.html");
  EXPECT_EQ(r.Status(), "HTTP/1.1 404 File Not Found");
  EXPECT_NE(r.body.find("Could not find file in zipped skin."), std::string::npos);
}

TEST_F(Handlers, CrossSiteRequestsCannotChangeThePlayer) {
  // A page of another site that the user visits can make the browser ask for any address;
  // the browser says so, and then nothing on the player changes.
  WriteSkin("Other/index.html", "other");
  WriteSkin("Default/q.html", "<?qcontrol(from_url,from_url,from_url,from_url)?>[<?print(qresult)?>]");
  const struct {
    const char* site;  // Sec-Fetch-Site, nullptr: none sent (an older browser, a media player)
    bool changes;
  } cases[] = {{"cross-site", false}, {"Cross-Site", false}, {"same-origin", true}, {"same-site", true},
               {"none", true}, {nullptr, true}};
  KernelDevice& player = device_;
  for (const auto& c : cases) {
    const std::string headers = "Host: localhost\r\n" + (c.site ? "Sec-Fetch-Site: " + std::string(c.site) + "\r\n" : "");
    const std::string what = c.site ? c.site : "(none)";
    key_->DeleteValue("VX_Skin");
    player.SetVolume(50);
    Response r = Get("/q.html?qcmd=volume&qarg1=7", headers);
    EXPECT_EQ(player.GetVolume(), c.changes ? 7 : 50) << what;
    if (!c.changes) {
      EXPECT_EQ(r.Status(), "HTTP/1.1 403 Forbidden") << what;
      EXPECT_NE(r.body.find("from another site"), std::string::npos) << what << r.body;
    }
    r = Get("/?newskin=Other", headers);
    EXPECT_EQ(SettingText("VX_Skin"), c.changes ? "Other" : "(unset)") << what;
    EXPECT_EQ(r.Status(), c.changes ? "HTTP/1.1 200 OK" : "HTTP/1.1 403 Forbidden") << what;
    // Reading pages is never refused.
    key_->DeleteValue("VX_Skin");
    EXPECT_EQ(Get("/q.html", headers).body, "[]\r\n") << what;
  }
}

TEST_F(Handlers, TraversalIsRefused) {
  std::ofstream(root_ + "/app/secret.txt") << "SECRET";
  std::ofstream(skins_ + "/secret.txt") << "SECRET";
  for (const char* url : {"/../secret.txt", "/../../secret.txt", "/%2e%2e/secret.txt", "/..%5csecret.txt",
                          "/sub/../../secret.txt", "/..\\..\\secret.txt", "/.%2e/.%2e/app/secret.txt"}) {
    const Response r = Get(url);
    EXPECT_EQ(r.body.find("SECRET"), std::string::npos) << url;
  }
}

TEST_F(Handlers, PagesWaitForTheLockAtMostTheirTime) {
  WriteSkin("Default/style.css", "css");
  pages_->SetPageLockWait(200ms);
  std::promise<void> locked, release;
  std::thread holder([&] {
    std::lock_guard<std::recursive_timed_mutex> lock(device_.GetLock());
    locked.set_value();
    release.get_future().wait();
  });
  locked.get_future().wait();
  const Response page = Get("/");
  EXPECT_EQ(page.Status(), "HTTP/1.1 200 OK");
  EXPECT_NE(page.body.find("Thread timed out."), std::string::npos);
  EXPECT_EQ(Get("/style.css").body, "css");  // plain files do not take the lock
  release.set_value();
  holder.join();
  EXPECT_EQ(Get("/").body, "Memory Player|localhost\r\n");
}

// ---- downloads ----

// The addresses a page prints for names that hold CR, LF or other control characters
// answer like any other.
TEST_F(Handlers, AddressesOfNamesWithLineBreaksWork) {
  const KernelId track = device_.AddTrack({.artist = "Line\r\nBreak", .title = "Tab\there", .content = "sound"});
  device_.AddDataFile(device_.DataRoot(), "two\r\nlines.txt", "text");
  WriteSkin("Default/links.html",
            "<?loop(AUDIOSINGLE,from_url)?><?print(stream_url)?><?endloop?>\n"
            "<?loop(DATAFILES)?><?print(dl_url)?><?endloop?>");
  const Response page = Get("/links.html?larg1=" + std::to_string(track.GetItemId()));
  std::istringstream lines(page.body);
  std::string stream, data;
  std::getline(lines, stream);
  std::getline(lines, data);
  stream.pop_back();  // the "\r" of the page's line end
  data.pop_back();
  ASSERT_EQ(stream.rfind("/stream/", 0), 0u) << stream;
  ASSERT_EQ(data.rfind("/data/", 0), 0u) << data;
  for (const std::string& url : {stream, data}) {
    EXPECT_EQ(url.find_first_of("\r\n\t "), std::string::npos) << url;
  }

  Response r = Get(stream);
  EXPECT_EQ(r.Status(), "HTTP/1.1 200 OK") << stream;
  EXPECT_EQ(r.body, "sound");
  r = Get(data);
  EXPECT_EQ(r.Status(), "HTTP/1.1 200 OK") << data;
  EXPECT_EQ(r.body, "text");
  EXPECT_EQ(r.Header("Content-Disposition"), "attachment; filename=\"two  lines.txt\"");
}

TEST_F(Handlers, DataDownloads) {
  const std::string content = Content(300000, 'a');
  const KernelId file = device_.AddDataFile(device_.DataRoot(), "Report.TXT", content);
  const KernelId empty = device_.AddDataFile(device_.DataRoot(), "empty.bin");
  const std::string url = "/data/" + std::to_string(file.GetItemId()) + "/Report.TXT";

  Response r = Get(url);
  EXPECT_EQ(r.Status(), "HTTP/1.1 200 OK");
  EXPECT_EQ(r.Header("Content-Type"), "text/plain; charset=iso-8859-1");
  EXPECT_EQ(r.Header("Content-Length"), "300000");
  EXPECT_EQ(r.Header("Content-Disposition"), "attachment; filename=\"Report.TXT\"");
  EXPECT_EQ(r.Header("Accept-Ranges"), "(none)");  // downloads do not honour ranges
  EXPECT_TRUE(r.body == content);
  device_.JoinWriters();
  EXPECT_TRUE(SkarnelFiles().empty());

  r = Request("HEAD", url);
  EXPECT_EQ(r.Header("Content-Length"), "300000");
  EXPECT_EQ(r.body, "");
  EXPECT_EQ(device_.downloads, 1);  // HEAD copies nothing

  // The type follows the extension whatever its case.
  for (const char* name : {"Manual.PDF", "manual.pdf"}) {
    const KernelId pdf = device_.AddDataFile(device_.DataRoot(), name, "%PDF-1.4");
    r = Get("/data/" + std::to_string(pdf.GetItemId()) + "/" + name);
    EXPECT_EQ(r.Header("Content-Type"), "application/pdf") << name;
    EXPECT_EQ(r.Header("Content-Disposition"), std::string("attachment; filename=\"") + name + "\"");
  }

  r = Get("/data/" + std::to_string(empty.GetItemId()) + "/empty.bin");
  EXPECT_EQ(r.Status(), "HTTP/1.1 200 OK");
  EXPECT_EQ(r.Header("Content-Length"), "(none)");
  EXPECT_EQ(r.body, "");
  EXPECT_EQ(Request("POST", url).Status(), "HTTP/1.1 500 Internal Server Error");
}

TEST_F(Handlers, ConcurrentDataDownloadsOfOneItem) {
  const std::string content = Content(200000, 'k');
  const KernelId file = device_.AddDataFile(device_.DataRoot(), "shared.bin", content);
  device_.block = 8192;
  device_.pauseMs = 2;
  const std::string url = "/data/" + std::to_string(file.GetItemId()) + "/shared.bin";
  std::vector<std::future<Response>> answers;
  for (int i = 0; i < 4; ++i) answers.push_back(std::async(std::launch::async, [&] { return Get(url); }));
  for (auto& answer : answers) {
    const Response r = answer.get();
    EXPECT_EQ(r.Status(), "HTTP/1.1 200 OK");
    EXPECT_TRUE(r.body == content) << r.body.size();
  }
  EXPECT_EQ(device_.downloads, 4);  // each has its own copy
  device_.JoinWriters();
  EXPECT_TRUE(SkarnelFiles().empty());
}

// ---- streams ----

TEST_F(Handlers, StreamRanges) {
  const std::string content = Content(100000, 'A');
  const KernelId track = device_.AddTrack({.artist = "Art", .album = "Alb", .title = "Tit", .content = content, .number = 4});
  const std::string url = "/stream/" + std::to_string(track.GetItemId()) + "/Art%20-%20Alb.mp3";
  struct Case {
    std::string headers;
    const char* status;
    std::size_t start;
    std::size_t end;  // one past the last byte sent
    const char* range;
  };
  const Case cases[] = {
      {"", "HTTP/1.1 200 OK", 0, 100000, "(none)"},
      {"Range: bytes=0-\r\n", "HTTP/1.1 206 Partial Content", 0, 100000, "bytes 0-99999/100000"},
      {"Range: bytes=1000-\r\n", "HTTP/1.1 206 Partial Content", 1000, 100000, "bytes 1000-99999/100000"},
      {"Range: bytes=1000-1999\r\n", "HTTP/1.1 206 Partial Content", 1000, 2000, "bytes 1000-1999/100000"},
      {"Range: bytes=1000-5000000\r\n", "HTTP/1.1 206 Partial Content", 1000, 100000, "bytes 1000-99999/100000"},
      {"Range: bytes=-100\r\n", "HTTP/1.1 206 Partial Content", 99900, 100000, "bytes 99900-99999/100000"},
      {"Range: bytes=-200000\r\n", "HTTP/1.1 206 Partial Content", 0, 100000, "bytes 0-99999/100000"},
      {"Range: bytes=99999-\r\n", "HTTP/1.1 206 Partial Content", 99999, 100000, "bytes 99999-99999/100000"},
      {"Range: bytes=2000-1000\r\n", "HTTP/1.1 200 OK", 0, 100000, "(none)"},
      {"Range: bytes=1000-\r\nUser-Agent: RealMedia Player\r\n", "HTTP/1.1 200 OK", 0, 100000, "(none)"},
      {"Range: items=5-\r\n", "HTTP/1.1 200 OK", 0, 100000, "(none)"},
  };
  for (const Case& c : cases) {
    const Response r = Get(url, c.headers);
    EXPECT_EQ(r.Status(), c.status) << c.headers;
    EXPECT_EQ(r.Header("Content-Range"), c.range) << c.headers;
    EXPECT_EQ(r.Header("Content-Length"), std::to_string(c.end - c.start)) << c.headers;
    EXPECT_TRUE(r.body == content.substr(c.start, c.end - c.start)) << c.headers << r.body.size();
    EXPECT_EQ(r.Header("Content-Type"), "audio/mpeg");
    EXPECT_EQ(r.Header("Content-Disposition"), "attachment; filename=\"Art - Alb - 04 - Tit.mp3\"");
    EXPECT_EQ(r.Header("Accept-Ranges"), "bytes") << c.headers;  // a player may seek
  }
  for (const char* range : {"bytes=100000-", "bytes=99999999999999999999-", "bytes=-0"}) {
    const Response r = Get(url, std::string("Range: ") + range + "\r\n");
    EXPECT_EQ(r.Status(), "HTTP/1.1 416 Requested Range Not Satisfiable") << range;
    EXPECT_EQ(r.Header("Content-Range"), "bytes */100000") << range;
    EXPECT_EQ(r.Header("Accept-Ranges"), "bytes") << range;
  }
  const int before = device_.downloads;
  EXPECT_EQ(Request("HEAD", url).Header("Accept-Ranges"), "bytes");
  EXPECT_EQ(Request("HEAD", url).body, "");
  EXPECT_EQ(device_.downloads, before);  // HEAD copies nothing
  EXPECT_EQ(Request("POST", url).Status(), "HTTP/1.1 500 Internal Server Error");
}

TEST_F(Handlers, StreamSendsWhileTheDeviceWrites) {
  const std::string content = Content(512 * 1024, 'x');
  const KernelId track = device_.AddTrack({.title = "Long", .content = content});
  device_.block = 8192;
  device_.pauseMs = 15;  // about one second of copying
  const Response r = Get("/stream/" + std::to_string(track.GetItemId()) + "/long.mp3");
  EXPECT_EQ(r.Status(), "HTTP/1.1 200 OK");
  EXPECT_TRUE(r.body == content) << r.body.size();
  device_.JoinWriters();
  EXPECT_LT(r.firstBodyMs, device_.lastFinishedMs - 300);  // playback began long before the copy ended
  EXPECT_TRUE(SkarnelFiles().empty());  // a completed GET removes its copy
  std::ifstream log(Skarnel() + "/log.txt");
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_NE(text.str().find("dne\r\n"), std::string::npos);
  EXPECT_NE(text.str().find("\r\neof\r\n"), std::string::npos);
  EXPECT_NE(text.str().find("\r\ncomplete\r\n"), std::string::npos);
}

TEST_F(Handlers, ConcurrentStreamsOfOneTrackEachGetTheirWholeAnswer) {
  // What a browser's audio element does (a plain request, a short probe of the first
  // bytes, a ranged one), and many clients doing it together, arriving while the device
  // copies: whoever finishes first must not take the copy away from the others.
  const std::string content = Content(256 * 1024, 'c');
  const KernelId track = device_.AddTrack({.title = "Shared", .content = content});
  const std::string url = "/stream/" + std::to_string(track.GetItemId()) + "/shared.mp3";
  device_.block = 16384;
  device_.pauseMs = 4;  // about 64 ms of copying
  struct Ask {
    std::size_t start, end;  // end: one past the last byte; 0 for a plain request
  };
  for (int clients : {2, 3, 16}) {
    for (int round = 0; round < 6; ++round) {
      std::vector<Ask> asks;
      std::vector<std::future<Response>> answers;
      for (int i = 0; i < clients; ++i) {
        const std::size_t start = (i * 7919u + round * 104729u) % content.size();
        const Ask ask = i % 3 == 0 ? Ask{0, 0} : i % 3 == 1 ? Ask{0, 2} : Ask{start, content.size()};
        asks.push_back(ask);
        std::string range;
        if (ask.end == content.size()) range = "Range: bytes=" + std::to_string(ask.start) + "-\r\n";
        if (ask.end == 2) range = "Range: bytes=0-1\r\n";
        // Arrivals spread over the copy and a little beyond it.
        const auto delay = std::chrono::milliseconds((i * 13 + round * 7) % 90);
        answers.push_back(std::async(std::launch::async, [&, range, delay] {
          std::this_thread::sleep_for(delay);
          return Get(url, range);
        }));
      }
      const auto began = Clock::now();
      for (int i = 0; i < clients; ++i) {
        const Response r = answers[i].get();
        const Ask& ask = asks[i];
        const std::string what = std::to_string(clients) + " clients, round " + std::to_string(round) + ", #" +
                                 std::to_string(i);
        EXPECT_EQ(r.Status(), ask.end == 0 ? "HTTP/1.1 200 OK" : "HTTP/1.1 206 Partial Content") << what;
        const std::string expected = ask.end == 0 ? content : content.substr(ask.start, ask.end - ask.start);
        EXPECT_TRUE(r.body == expected) << what << ": " << r.body.size() << " of " << expected.size() << " bytes";
      }
      // A reader left waiting for a copy that never came would wait 15 s; a loaded machine
      // (the sanitizer build beside other tests) takes a few seconds at most.
      EXPECT_LT(Clock::now() - began, 10s) << clients << " clients waited for a copy that never came";
      device_.JoinWriters();
      EXPECT_TRUE(SkarnelEmptyWithin(5s)) << clients << " clients, round " << round;
    }
  }
}

TEST_F(Handlers, StreamCopyThatOnlyAProbeReadIsRemovedOnceTheDeviceIsDone) {
  // A browser's probe of the first bytes may come alone: it starts a copy, reads two bytes
  // and leaves while the device still writes. The copy waits for the request that usually
  // follows, but must not stay on disk for good when none comes.
  const std::string content = Content(256 * 1024, 'p');
  const KernelId track = device_.AddTrack({.title = "Probe", .content = content});
  const std::string url = "/stream/" + std::to_string(track.GetItemId()) + "/probe.mp3";
  device_.block = 16384;

  // The request that follows the probe reads the probe's copy.
  device_.hold = true;
  EXPECT_EQ(Get(url, "Range: bytes=0-1\r\n").body, content.substr(0, 2));
  const Response whole = Exchange(server_->port(), "GET " + url + " HTTP/1.1\r\nHost: localhost\r\n\r\n",
                                  [&] { device_.hold = false; });
  EXPECT_TRUE(whole.body == content) << whole.body.size() << " of " << content.size() << " bytes";
  EXPECT_EQ(device_.downloads, 1);
  device_.JoinWriters();
  EXPECT_TRUE(SkarnelFiles().empty());

  // No request follows: the copy goes once the device has finished it, or has written
  // nothing more for the stall limit (5 s here).
  const struct {
    const char* what;
    std::int64_t stopAfter;
    std::chrono::seconds within;
  } cases[] = {{"finished", -1, 5s}, {"given up", 100000, 10s}};
  for (const auto& c : cases) {
    device_.stopAfter = c.stopAfter;
    device_.hold = true;
    EXPECT_EQ(Get(url, "Range: bytes=0-1\r\n").body, content.substr(0, 2)) << c.what;
    EXPECT_FALSE(SkarnelFiles().empty()) << c.what << ": the device still writes it";
    device_.JoinWriters();
    EXPECT_TRUE(SkarnelEmptyWithin(c.within)) << c.what;
  }
  device_.stopAfter = -1;

  // A server that stops takes the copies nobody reads with it (its last worker may
  // destroy the handlers a little after the server is gone).
  device_.hold = true;
  EXPECT_EQ(Get(url, "Range: bytes=0-1\r\n").body, content.substr(0, 2));
  server_.reset();
  EXPECT_TRUE(SkarnelEmptyWithin(5s));
}

TEST_F(Handlers, StreamReusesAFinishedCopyAndReplacesAPartialOne) {
  const std::string content = Content(50000, 'r');
  const KernelId track = device_.AddTrack({.title = "T", .content = content});
  const std::string url = "/stream/" + std::to_string(track.GetItemId()) + "/t.MP3";
  const std::string copy = Skarnel() + "/" + std::to_string(track.GetItemId()) + ".mp3";
  fs::create_directories(Skarnel());

  // A complete copy left by an earlier request is sent without asking the device.
  const std::string earlier = Content(50000, 'e');
  std::ofstream(copy, std::ios::binary) << earlier;
  EXPECT_TRUE(Get(url, "Range: bytes=10-\r\n").body == earlier.substr(10));
  EXPECT_EQ(device_.downloads, 0);
  EXPECT_FALSE(fs::exists(copy));

  // A short file is what a failed copy left: it is copied again.
  std::ofstream(copy, std::ios::binary) << "partial";
  EXPECT_TRUE(Get(url).body == content);
  EXPECT_EQ(device_.downloads, 1);

  // A device that is busy at first is asked again.
  device_.busyAnswers = 3;
  EXPECT_TRUE(Get(url).body == content);
  EXPECT_EQ(device_.busySeen, 3);
  EXPECT_EQ(device_.downloads, 2);
}

TEST_F(Handlers, StreamOfAFailedCopy) {
  const std::string content = Content(300000, 'f');
  const KernelId track = device_.AddTrack({.title = "F", .content = content});
  const std::string url = "/stream/" + std::to_string(track.GetItemId()) + "/f.mp3";
  const std::string copy = Skarnel() + "/" + std::to_string(track.GetItemId()) + ".mp3";
  device_.block = 16384;
  device_.pauseMs = 5;

  for (bool removes : {false, true}) {
    device_.stopAfter = 100000;
    device_.removeOnStop = removes;
    const Response r = Get(url);
    EXPECT_EQ(r.Header("Content-Length"), "300000");
    EXPECT_LT(r.body.size(), content.size());  // cut short: never taken for the whole track
    EXPECT_TRUE(r.body == content.substr(0, r.body.size()));
    device_.JoinWriters();
    EXPECT_FALSE(fs::exists(copy)) << removes;  // never served again
  }
  device_.stopAfter = -1;
  EXPECT_TRUE(Get(url).body == content);

  // A copy the device refuses (a play-only track) is an error page, at once.
  const KernelId locked = device_.AddTrack({.title = "L", .content = "x", .locked = true});
  const auto start = Clock::now();
  const Response r = Get("/stream/" + std::to_string(locked.GetItemId()) + "/l.mp3");
  EXPECT_EQ(r.Status(), "HTTP/1.1 500 Internal Server Error");
  EXPECT_NE(r.body.find("Request handler could not find file."), std::string::npos);
  EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(Handlers, ItemsThePlayerDoesNotHoldAre404) {
  const KernelId track = device_.AddTrack({.title = "T", .content = "track bytes"});
  const KernelId file = device_.AddDataFile(device_.DataRoot(), "a.txt", "file bytes");
  const KernelId empty = device_.AddDataFile(device_.DataRoot(), "empty.txt");
  const KernelId folder = device_.AddDataFolder(device_.DataRoot(), "Folder");
  const std::string missing = "987654";
  const std::string notConnected = "Your " + g_ProductIdentity.deviceWord + " is not connected.";
  const struct {
    std::string url;
    bool connected;
    const char* status;
    std::string bodyHas;
  } cases[] = {
      {"/stream/" + missing + "/x.mp3", true, "404 File Not Found", ""},
      {"/stream/" + missing + "/x.xyz", true, "404 File Not Found", ""},
      {"/data/" + missing + "/x.txt", true, "404 File Not Found", ""},
      {"/data/" + std::to_string(folder.GetItemId()) + "/Folder", true, "404 File Not Found", ""},
      {"/stream/" + std::to_string(file.GetItemId()) + "/a.mp3", true, "404 File Not Found", ""},  // not a track
      {"/stream/" + std::to_string(track.GetItemId()) + "/t.mp3", false, "404 File Not Found", notConnected},
      {"/data/" + std::to_string(file.GetItemId()) + "/a.txt", false, "404 File Not Found", notConnected},
      {"/stream/" + std::to_string(track.GetItemId()) + "/t.mp3", true, "200 OK", "track bytes"},
      {"/data/" + std::to_string(file.GetItemId()) + "/a.txt", true, "200 OK", "file bytes"},
      {"/data/" + std::to_string(empty.GetItemId()) + "/empty.txt", true, "200 OK", ""},
  };
  for (const auto& c : cases) {
    device_.SetConnected(c.connected);
    for (const char* method : {"GET", "HEAD"}) {
      const Response r = Request(method, c.url);
      const std::string what = std::string(method) + " " + c.url + (c.connected ? "" : " (not connected)");
      EXPECT_EQ(r.Status(), std::string("HTTP/1.1 ") + c.status) << what;
      if (std::string(c.status) == "200 OK") {
        EXPECT_EQ(r.body, std::string(method) == "GET" ? c.bodyHas : "") << what;
        continue;
      }
      EXPECT_EQ(r.Header("Content-Disposition"), "(none)") << what;  // no invented name
      if (std::string(method) == "GET") {
        EXPECT_NE(r.body.find(c.bodyHas), std::string::npos) << what << r.body;
      }
    }
  }
  device_.SetConnected(true);
  device_.JoinWriters();
  EXPECT_TRUE(SkarnelFiles().empty());
}

TEST_F(Handlers, StreamOfADataFile) {
  const KernelId file = device_.AddDataFile(device_.DataRoot(), "notes.xyz", "data bytes");
  const Response r = Get("/stream/" + std::to_string(file.GetItemId()) + "/whatever.xyz");
  EXPECT_EQ(r.body, "data bytes");
  EXPECT_EQ(r.Header("Content-Disposition"), "attachment; filename=\"notes.xyz\"");
  EXPECT_EQ(r.Header("Content-Type"), "text/plain; charset=iso-8859-1");
}

}  // namespace

}  // namespace web
