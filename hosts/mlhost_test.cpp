// mlhost in script mode with the library's "ml_" copy against a real trayhub: the tree
// entry, the page of the demo player, the play and enqueue requests whose addresses
// stream each track's own bytes from the manager's server, the skin routines; a copy
// whose name no variant knows, and a page without a manager.
#include <fstream>
#include <iterator>

#include "testing/mlhost.h"

namespace {

using namespace mlhosttest;
using shellhosttest::Split;

const bool kIsolated = platform::testing::IsolateNamespace();

struct Answer {
  int status = 0;
  std::string body;
};

// A GET of a local address, as a media player without a Host header sends it.
Answer Get(const std::string& url) {
  Answer answer;
  const std::string prefix = "http://127.0.0.1:";
  if (url.rfind(prefix, 0) != 0) return answer;
  const std::size_t slash = url.find('/', prefix.size());
  const int port = std::atoi(url.substr(prefix.size(), slash - prefix.size()).c_str());
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return answer;
  }
  const std::string request = "GET " + url.substr(slash) + " HTTP/1.0\r\n\r\n";
  if (::send(fd, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) {
    ::close(fd);
    return answer;
  }
  std::string all;
  char buffer[65536];
  for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) all.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  const std::size_t head = all.find("\r\n\r\n");
  if (all.rfind("HTTP/1.", 0) != 0 || head == std::string::npos) return answer;
  answer.status = std::atoi(all.substr(9, 3).c_str());
  answer.body = all.substr(head + 4);
  return answer;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One track of a send-to-player request as mlhost prints it.
struct Sent {
  std::string address, artist, title, album, genre;
  int year, track, length;
};
struct Request {
  std::string verb;
  std::vector<Sent> tracks;
};

// The requests among a command's lines.
std::vector<Request> Requests(const std::vector<std::string>& lines) {
  std::vector<Request> requests;
  for (const std::string& line : lines) {
    if (line.rfind("play ", 0) == 0 || line.rfind("enqueue ", 0) == 0) {
      requests.push_back({line.substr(0, line.find(' ')), {}});
    } else if (!line.empty() && line[0] == '\t' && !requests.empty()) {
      const std::vector<std::string> f = Split(line.substr(1), '\t');
      if (f.size() != 8) {
        ADD_FAILURE() << line;
        continue;
      }
      requests.back().tracks.push_back(
          {f[0], f[1], f[2], f[3], f[4], std::atoi(f[5].c_str()), std::atoi(f[6].c_str()), std::atoi(f[7].c_str())});
    }
  }
  return requests;
}

// The bytes of a track in the demo player's store (under `home`), by the item id of its
// address.
std::string StoredBytes(const std::string& home, const std::string& address) {
  const std::string marker = "/stream/";
  const std::size_t at = address.find(marker);
  if (at == std::string::npos) return {};
  const std::size_t from = at + marker.size();
  const std::string id = address.substr(from, address.find('/', from) - from);
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(home + "/appdata/player/files", ec)) {
    if (e.path().stem().string() == id) return FileBytes(e.path().string());
  }
  return {};
}

TEST_F(MlhostTest, ThePageOfTheDemoPlayerSendsStreamsOfTheTracks) {
  StartManagerWithPlayer("trayhub");
  const auto out = Run({"tree", "open", "rows", "status", "select 0 2", "status", "click 6005", "click 6007",
                        "select none", "click 6008", "click 6005", "select 1", "menu Enqueue in Media Player", "skin",
                        "close", "skin"});
  EXPECT_EQ(Lines(out, "tree"), std::vector<std::string>{"1000\tOmbrix Jukebox JB1"}) << all_;

  // Every track of the player, by name.
  const std::vector<std::string> rows = Lines(out, "rows");
  ASSERT_EQ(rows.size(), 13u) << all_;
  EXPECT_EQ(rows[0], "# Name\tType\tSize\tLength\tBitrate\tGenre\tYear\tComment");
  std::vector<std::vector<std::string>> cells;
  for (std::size_t i = 1; i < rows.size(); ++i) cells.push_back(Split(rows[i], '\t'));
  EXPECT_EQ(cells[0][0], "Harbor Lights - Tidewater Sketches - 01 - Low Tide");
  EXPECT_EQ(cells[11][0], "The Glass Ferns - Signals - 02 - Circuit Garden");
  for (std::size_t i = 1; i < cells.size(); ++i) EXPECT_LT(cells[i - 1][0], cells[i][0]);
  const std::vector<std::string> status = Lines(out, "status");
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].rfind("12 files (", 0), 0u) << status[0];
  ASSERT_EQ(Lines(out, "status", 1).size(), 1u);
  EXPECT_EQ(Lines(out, "status", 1)[0].rfind("2 files selected (", 0), 0u) << Lines(out, "status", 1)[0];

  // Play and Enqueue send the selection, Enqueue All every track, Play without a
  // selection nothing; the menu enqueues the selected row.
  const auto play = Requests(Lines(out, "click 6005"));
  ASSERT_EQ(play.size(), 1u) << all_;
  EXPECT_EQ(play[0].verb, "play");
  ASSERT_EQ(play[0].tracks.size(), 2u);
  EXPECT_EQ(play[0].tracks[0].artist + " - " + play[0].tracks[0].album + " - 01 - " + play[0].tracks[0].title, cells[0][0]);
  EXPECT_EQ(play[0].tracks[1].title, Split(cells[2][0], '-').back().substr(1));
  const auto enqueue = Requests(Lines(out, "click 6007"));
  ASSERT_EQ(enqueue.size(), 1u);
  EXPECT_EQ(enqueue[0].verb, "enqueue");
  EXPECT_EQ(enqueue[0].tracks.size(), 2u);
  EXPECT_TRUE(Requests(Lines(out, "click 6005", 1)).empty());
  const auto menu = Lines(out, "menu Enqueue in Media Player");
  EXPECT_EQ(std::vector<std::string>(menu.begin(), menu.begin() + std::min<std::size_t>(2, menu.size())),
            (std::vector<std::string>{"menu: Play in Media Player", "menu: Enqueue in Media Player"}));
  const auto chosen = Requests(menu);
  ASSERT_EQ(chosen.size(), 1u) << all_;
  EXPECT_EQ(chosen[0].verb, "enqueue");
  ASSERT_EQ(chosen[0].tracks.size(), 1u);
  EXPECT_EQ(chosen[0].tracks[0].title, Split(cells[1][0], '-').back().substr(1));

  // Each address names the manager's port and streams the track's own bytes.
  const auto all = Requests(Lines(out, "click 6008"));
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].verb, "enqueue");
  ASSERT_EQ(all[0].tracks.size(), 12u);
  for (const Sent& t : all[0].tracks) {
    SCOPED_TRACE(t.address);
    EXPECT_EQ(t.address.rfind("http://127.0.0.1:" + std::to_string(port_) + "/stream/", 0), 0u);
    EXPECT_GT(t.length, 0);
    EXPECT_GT(t.year, 0);
    const std::string stored = StoredBytes(home_, t.address);
    ASSERT_FALSE(stored.empty());
    const Answer got = Get(t.address);
    EXPECT_EQ(got.status, 200);
    EXPECT_TRUE(got.body == stored) << got.body.size() << " bytes, stored " << stored.size();
  }

  // The skin routines: the control table, the list skinned, sized and painted; unskinned
  // when the page goes.
  EXPECT_EQ(Lines(out, "skin"),
            (std::vector<std::string>{
                "register 1101:0x11 6004:0x101 6005:0x101 6006:0x101 6007:0x101 6008:0x101 6002:0x101 6009:0x1010",
                "skin list 1101",
                "resize 1101:0x11 6004:0x101 6005:0x101 6006:0x101 6007:0x101 6008:0x101 6002:0x101 6009:0x1010",
                "borders 0x1044D"}));
  EXPECT_EQ(Lines(out, "skin", 1), std::vector<std::string>{"unskin 1"});
}

// Without a manager the page shows the message rows in one column and sends nothing
// playable; a copy under a name no variant knows refuses to start, so the player shows
// no entry for it.
TEST_F(MlhostTest, AStoppedManagerAndAMisnamedCopy) {
  auto out = Run({"open", "rows", "click 6006"});
  const std::vector<std::string> rows = Lines(out, "rows");
  ASSERT_EQ(rows.size(), 5u) << all_;
  EXPECT_EQ(rows[1].substr(0, rows[1].find('\t')),
            "Ombrix Suite cannot currently establish communication with your device.");
  const auto sent = Requests(Lines(out, "click 6006"));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].tracks.empty());

  all_.clear();
  out = Run({"tree", "open"}, "ml_ombrixq7.so");
  EXPECT_TRUE(Lines(out, "tree").empty());
  EXPECT_NE(all_.find("You have a misnamed DLL file.  Please reinstall."), std::string::npos) << all_;
  EXPECT_NE(all_.find("refused to start"), std::string::npos) << all_;
  EXPECT_EQ(Lines(out, "open"), std::vector<std::string>{"error: no entry \"\""});
}

}  // namespace
