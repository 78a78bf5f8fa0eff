// The server over real loopback sockets. Peers at 127.0.0.1 are local; a client socket
// bound to 127.0.0.2 is a remote peer.
#include "web/http/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>

#include "common/identity.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "web/http/http_tables.h"
#include "testing/temp_folder.h"

namespace web {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kLocal = "127.0.0.1";
constexpr const char* kRemote = "127.0.0.2";

std::atomic<int> g_peerGone{0};
// URLs under "/order/" in the order the handler saw them.
std::mutex g_servedMu;
std::vector<std::string> g_served;

struct DeviceError {
  unsigned code;
};

// Answers with a plain-text report of what it was given; a few URLs fail on purpose.
class ReportHandler : public Handler {
 public:
  ReportHandler(HttpServer* server, std::string name)
      : Handler(server, name), name_(name.empty() ? "default" : name) {}
  ReportHandler(HttpServer* server) : Handler(server), name_("default") {}

  void Handle(const HttpRequest& request, Connection& connection) override {
    const std::string& url = request.url();
    if (url == "/throw/notfound") throw FileException(FileException::Cause::FileNotFound, "missing");
    if (url == "/throw/file") throw FileException(FileException::Cause::Generic, "read error");
    if (url == "/throw/gone") throw FileException(FileException::Cause::PeerGone, "gone");
    if (url == "/throw/runtime") throw std::runtime_error("boom");
    if (url == "/throw/device") throw DeviceError{0x51};
    if (url == "/throw/page") throw HttpException(200, {}, "Kestrel is not connected.");
    if (url == "/big") {
      WriteResponseHeaders(connection, 200, std::int64_t{64} << 20, kContentText);
      const std::string block(64 * 1024, 'x');
      try {
        for (int i = 0; i < 1024; ++i) connection.Write(block);
      } catch (const FileException& e) {
        if (e.cause() == FileException::Cause::PeerGone) ++g_peerGone;
        throw;
      }
      return;
    }
    if (url.starts_with("/order/")) {
      std::lock_guard<std::mutex> lock(g_servedMu);
      g_served.push_back(url);
    }
    if (url == "/linger") {
      // The whole answer is out before the worker is free again: the window in which a
      // quick client's next request finds every worker busy.
      const std::string body = "lingering";
      WriteResponseHeaders(connection, 200, static_cast<std::int64_t>(body.size()), kContentText);
      SocketWriteText(connection, body);
      connection.Flush();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      return;
    }
    if (request.method() == kHttpTrace) {
      const std::string echo = request.TraceEcho();
      WriteResponseHeaders(connection, 200, static_cast<std::int64_t>(echo.size()), kContentText);
      SocketWriteText(connection, echo);
      return;
    }
    std::string body = "handler=" + name_ + "\nmethod=" + HttpMethodName(request.method()) + "\nurl=" + url +
                       "\nlocal=" + request.localAddress() + ":" + std::to_string(request.localPort()) + "\n";
    for (const auto& [name, value] : request.headers()) body += "h:" + name + "=" + value + "\n";
    WriteResponseHeaders(connection, 200, static_cast<std::int64_t>(body.size()), kContentText);
    SocketWriteText(connection, body);
  }

 private:
  std::string name_;
};

int Connect(int port, const char* from = kLocal) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, from, &address.sin_addr);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  inet_pton(AF_INET, kLocal, &address.sin_addr);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << strerror(errno);
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return fd;
}

void SendAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Everything until the server closes (or 10 s pass).
std::string ReadAll(int fd) {
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

// One answer, read up to the end its Content-Length gives, not until the server closes.
std::string ReadAnswer(int fd) {
  std::string out;
  char buffer[4096];
  std::size_t end = std::string::npos;
  while (end == std::string::npos || out.size() < end) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
    const std::size_t head = out.find("\r\n\r\n");
    const std::size_t length = out.find("\r\nContent-Length: ");
    if (end == std::string::npos && head != std::string::npos && length != std::string::npos && length < head) {
      end = head + 4 + std::stoul(out.substr(length + 18));
    }
  }
  return out;
}

std::string Exchange(int port, std::string_view request, const char* from = kLocal) {
  const int fd = Connect(port, from);
  SendAll(fd, request);
  std::string response = ReadAll(fd);
  close(fd);
  return response;
}

std::string StatusLine(const std::string& response) { return response.substr(0, response.find("\r\n")); }
std::string Body(const std::string& response) {
  const std::size_t at = response.find("\r\n\r\n");
  return at == std::string::npos ? std::string() : response.substr(at + 4);
}
bool HasHeader(const std::string& response, const std::string& line) {
  return response.substr(0, response.find("\r\n\r\n") + 2).find("\r\n" + line + "\r\n") != std::string::npos;
}

std::string Base64(std::string_view in) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < in.size(); i += 3) {
    std::uint32_t v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += i + 1 < in.size() ? digits[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? digits[v & 63] : '=';
  }
  return out;
}

class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = platform::testing::MakeTempFolder("tovweb");
    ASSERT_FALSE(root_.empty());
    std::filesystem::create_directories(root_ + "/tmp");
    std::filesystem::create_directories(root_ + "/app");
    std::filesystem::create_directories(root_ + "/install");
    setenv("TOVARIN_HOME", (root_ + "/home").c_str(), 1);
    setenv("TMPDIR", (root_ + "/tmp").c_str(), 1);
    g_ProductIdentity.InitFromPath("/usr/bin/trayhub");
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    key_->SetString("Gen_AppDataDir", platform::FromPosixPath(root_ + "/app"));
    key_->SetString("", platform::FromPosixPath(root_ + "/install") + "\\");
    WritePasswords(
        "# One user entry per line in this format: username:password\n"
        "  alice:secret   # the first user\r\n"
        "bob:pa:ss\n"
        "carol\n"
        "#dave:x\n");
    server_ = std::make_unique<HttpServer>();
    server_->AddHandler(std::make_unique<ReportHandler>(server_.get()));
    server_->AddHandler(std::make_unique<ReportHandler>(server_.get(), "stream"));
    server_->AddHandler(std::make_unique<ReportHandler>(server_.get(), "data"));
  }

  void TearDown() override {
    server_.reset();
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    unsetenv("TOVARIN_HOME");
    unsetenv("TMPDIR");
    g_ProductIdentity = ProductIdentity();
  }

  void WritePasswords(const std::string& text) { std::ofstream(root_ + "/app/httpauth.txt") << text; }

  void StartServer(const HttpServerLimits& limits = {}) {
    server_->SetLimits(limits);
    ASSERT_TRUE(server_->Start(0));
    port_ = server_->port();
    ASSERT_GT(port_, 0);
  }

  std::string Get(std::string_view url, const char* from = kLocal, std::string_view extra = {}) {
    return Exchange(port_, "GET " + std::string(url) + " HTTP/1.1\r\nHost: localhost\r\n" + std::string(extra) + "\r\n", from);
  }

  std::string Log() {
    std::ifstream in(root_ + "/install/httplog.html", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string root_;
  std::optional<platform::SettingsKey> key_;
  std::unique_ptr<HttpServer> server_;
  int port_ = 0;
};

TEST_F(HttpServerTest, RequestHeadsAndTheirStatusLines) {
  StartServer();
  const struct {
    std::string request;
    const char* status;
    const char* bodyHas;  // nullptr: the empty error page
  } cases[] = {
      {"GET / HTTP/1.1\r\nHost: localhost\r\n\r\n", "HTTP/1.1 200 OK", "url=/\n"},
      {"get /a%20b HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK", "url=/a b\n"},
      {"GET /\r\n\r\n", "HTTP/1.1 400 Bad Request", nullptr},
      {"GET  / HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request", nullptr},
      {"BREW / HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", nullptr},
      {"GET / SPDY/3\r\n\r\n", "HTTP/1.1 400 Bad Request", nullptr},
      {"GET /a%00b HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request", nullptr},
      {"GET /a%0D%0ASet-Cookie:%20x HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request", nullptr},
      {"\r\n\r\n", "HTTP/1.1 400 Bad Request", nullptr},
      // Complete at the first blank line: the body is not waited for, the second request not read.
      {"POST /p HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.1 200 OK", "method=POST\n"},
      {"GET /first HTTP/1.1\r\n\r\nGET /second HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", "url=/first\n"},
      {"GET /stream HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", "handler=default\n"},
      {"GET /stream/7/a.mp3 HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", "handler=stream\n"},
      {"GET /data/7/a.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", "handler=data\n"},
      {"GET / HTTP/1.1\r\nHost:  localhost:8047  \r\n\r\n", "HTTP/1.1 200 OK", "h:host=localhost:8047\n"},
  };
  for (const auto& c : cases) {
    const std::string response = Exchange(port_, c.request);
    EXPECT_EQ(StatusLine(response), c.status) << c.request;
    if (c.bodyHas) {
      EXPECT_NE(Body(response).find(c.bodyHas), std::string::npos) << c.request << "\n" << response;
    } else {
      EXPECT_EQ(Body(response), "<html><title>Pallidor</title><body></body></html>\r\n") << c.request;
    }
  }
}

TEST_F(HttpServerTest, AnswerHeadersAndRequestFields) {
  StartServer();
  const std::string response = Get("/x.txt");
  const std::regex head(
      "HTTP/1\\.1 200 OK\r\n"
      "Server: Kestrova Manager [0-9]+\\.[0-9]+\\.[0-9]+[a-z]?\r\n"
      "Date: [A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9:]{8} GMT\r\n"
      "Last-Modified: [^\r\n]+ GMT\r\n"
      "Expires: Mon, 26 Jul 1997 05:00:00 GMT\r\n"
      "Content-Type: text/plain; charset=iso-8859-1\r\n"
      "Content-Length: ([0-9]+)\r\n"
      "Pragma: no-cache\r\n"
      "Connection: close\r\n\r\n"
      "([^]*)");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(response, match, head)) << response;
  EXPECT_EQ(std::stoul(match[1].str()), match[2].str().size());
  EXPECT_NE(match[2].str().find("local=127.0.0.1:" + std::to_string(port_) + "\n"), std::string::npos);
}

TEST_F(HttpServerTest, HandlerChoice) {
  // Longest prefix wins; the earlier handler wins a tie; no match is 404.
  HttpServer server;
  auto first = std::make_unique<ReportHandler>(&server, "stream");
  auto second = std::make_unique<ReportHandler>(&server, "stream");
  auto longer = std::make_unique<ReportHandler>(&server, "stream/x");
  Handler* firstStream = first.get();
  Handler* longest = longer.get();
  server.AddHandler(std::move(first));
  server.AddHandler(std::move(second));
  server.AddHandler(std::move(longer));
  const auto request = [](const char* url) {
    HttpRequest r;
    r.Parse(std::string("GET ") + url + " HTTP/1.1\r\n\r\n");
    return r;
  };
  EXPECT_EQ(server.FindHandler(request("/stream/1/a.mp3")), firstStream);
  EXPECT_EQ(server.FindHandler(request("/stream/x/1")), longest);
  for (const char* url : {"/", "/stream", "/Stream/1"}) {
    try {
      server.FindHandler(request(url));
      ADD_FAILURE() << url << " found a handler";
    } catch (const HttpException& e) {
      EXPECT_EQ(e.status(), 404);
    }
  }
  // Over a socket, with the server's other handlers missing.
  HttpServer lone;
  lone.AddHandler(std::make_unique<ReportHandler>(&lone, "stream"));
  ASSERT_TRUE(lone.Start(0));
  EXPECT_EQ(StatusLine(Exchange(lone.port(), "GET /index.html HTTP/1.1\r\n\r\n")), "HTTP/1.1 404 File Not Found");
}

TEST_F(HttpServerTest, AccessDecision) {
  key_->SetDword("VX_LogLocal", 1);
  key_->SetDword("VX_LogRemote", 1);
  StartServer();
  const std::string realm = "WWW-Authenticate: Basic realm=\"Pallidor HTTP Server\"";
  const std::string alice = "Authorization: Basic " + Base64("alice:secret") + "\r\n";
  const struct {
    const char* peer;
    std::uint32_t block, authenticate;
    std::string authorization;
    const char* status;
    const char* message;  // of a refusal
    const char* user;     // in the log line of an accepted request
  } cases[] = {
      {kLocal, 1, 1, "", "200 OK", nullptr, "local"},
      {kRemote, 0, 0, "", "200 OK", nullptr, "local"},
      {kRemote, 1, 0, "", "401 Unauthorized", "Remote access is blocked.", nullptr},
      {kRemote, 1, 1, alice, "401 Unauthorized", "Remote access is blocked.", nullptr},
      {kRemote, 0, 1, "", "401 Unauthorized", "Authorization failed.", nullptr},
      {kRemote, 0, 1, alice, "200 OK", nullptr, "alice"},
      {kRemote, 0, 0, alice, "200 OK", nullptr, "local"},
      {kRemote, 0, 1, "Authorization: basic " + Base64("alice:secret") + "\r\n", "401 Unauthorized", "Authorization failed.", nullptr},
      {kRemote, 0, 1, "Authorization:  Basic " + Base64("alice:secret") + "\r\n", "200 OK", nullptr, "alice"},
      {kRemote, 0, 1, "Authorization: Basic " + Base64("alice:wrong") + "\r\n", "401 Unauthorized", "Authorization failed.", nullptr},
      {kRemote, 0, 1, "Authorization: Basic " + Base64("ALICE:secret") + "\r\n", "401 Unauthorized", "Authorization failed.", nullptr},
      {kRemote, 0, 1, "Authorization: Basic " + Base64(std::string("alice:secret\0", 13)) + "\r\n", "401 Unauthorized", "Authorization failed.", nullptr},
      {kRemote, 0, 1, "Authorization: Basic " + Base64("bob:pa:ss") + "\r\n", "200 OK", nullptr, "bob"},
      {kRemote, 0, 1, "Authorization: Basic " + Base64("carol") + "\r\n", "401 Unauthorized", "Authorization failed.", nullptr},
      {kRemote, 0, 1, "Authorization: Basic " + Base64("dave:x") + "\r\n", "401 Unauthorized", "Authorization failed.", nullptr},
      {kRemote, 0, 1, "Authorization: Basic !!!\r\n", "401 Unauthorized", "Authorization failed.", nullptr},
      {kRemote, 0, 1, "Authorization: Basic !" + Base64("alice:secret") + "!*$\r\n", "401 Unauthorized", "Authorization failed.", nullptr},
      {kRemote, 0, 1, "Authorization: Basic YWxp Y2U6 c2Vj cmV0\r\n", "401 Unauthorized", "Authorization failed.", nullptr},
  };
  for (const auto& c : cases) {
    key_->SetDword("VX_BlockRemote", c.block);
    key_->SetDword("VX_RequireAuthentication", c.authenticate);
    std::filesystem::remove(root_ + "/install/httplog.html");
    const std::string response = Get("/", c.peer, c.authorization);
    const std::string what = std::string(c.peer) + " block " + std::to_string(c.block) + " auth " +
                             std::to_string(c.authenticate) + " " + c.authorization;
    EXPECT_EQ(StatusLine(response), std::string("HTTP/1.1 ") + c.status) << what;
    if (c.message) {
      EXPECT_EQ(Body(response), std::string("<html><title>Pallidor</title><body>") + c.message + "</body></html>\r\n")
          << what;
      EXPECT_EQ(HasHeader(response, realm), std::string(c.message) == "Authorization failed.") << what;
      // A refusal leaves its trace: the line of an answered request, followed by its status.
      const std::regex line("127\\.0\\.0\\.2\t\\[ [0-9]{2}-[0-9]{2}-[0-9]{2} [0-9:]{8} \\]\t\\(user: local\\)\t/\t401<br>\r\n");
      EXPECT_TRUE(std::regex_match(Log(), line)) << what << ": " << Log();
    } else {
      EXPECT_NE(Log().find(std::string("\t(user: ") + c.user + ")\t/<br>\r\n"), std::string::npos) << what << Log();
    }
  }
  // Every refusal is logged, also of addresses that are not logged when answered; none
  // when the log of remote peers is off.
  key_->SetDword("VX_BlockRemote", 1);
  std::filesystem::remove(root_ + "/install/httplog.html");
  Get("/style.css?x=1", kRemote);
  EXPECT_NE(Log().find("\t/style.css\t401<br>\r\n"), std::string::npos) << Log();
  key_->SetDword("VX_LogRemote", 0);
  std::filesystem::remove(root_ + "/install/httplog.html");
  Get("/", kRemote);
  EXPECT_EQ(Log(), "");
}

TEST_F(HttpServerTest, LocalPeersMustNameThisComputer) {
  // A page of another site whose name the attacker points at 127.0.0.1 reaches this server
  // from the loopback address, but under the attacker's name: refused. Remote peers reach
  // the server by any name.
  key_->SetDword("VX_LogLocal", 1);
  StartServer();
  char name[256] = {};
  ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
  const std::string host = name;
  const std::string port = ":" + std::to_string(port_);
  const struct {
    const char* peer;
    std::string host;  // "(none)": no Host header
    const char* status;
  } cases[] = {
      {kLocal, "(none)", "200 OK"},
      {kLocal, "", "200 OK"},
      {kLocal, "localhost" + port, "200 OK"},
      {kLocal, "LOCALHOST", "200 OK"},
      {kLocal, "app.localhost" + port, "200 OK"},
      {kLocal, "127.0.0.1" + port, "200 OK"},
      {kLocal, "127.1.2.3", "200 OK"},
      {kLocal, "[::1]" + port, "200 OK"},
      {kLocal, host + port, "200 OK"},
      {kLocal, host.substr(0, host.find('.')) + ".local" + port, "200 OK"},
      {kLocal, "evil.example" + port, "421 Misdirected Request"},
      {kLocal, "evil.example", "421 Misdirected Request"},
      {kLocal, "localhost.evil.example", "421 Misdirected Request"},
      {kLocal, "127.0.0.1.evil.example" + port, "421 Misdirected Request"},
      {kLocal, host + ".evil.example", "421 Misdirected Request"},
      {kLocal, "192.0.2.1" + port, "421 Misdirected Request"},
      {kLocal, "[2001:db8::1]" + port, "421 Misdirected Request"},
      {kRemote, "evil.example" + port, "200 OK"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(root_ + "/install/httplog.html");
    const std::string head = "GET / HTTP/1.1\r\n" + (c.host == "(none)" ? "" : "Host: " + c.host + "\r\n") + "\r\n";
    const std::string response = Exchange(port_, head, c.peer);
    EXPECT_EQ(StatusLine(response), std::string("HTTP/1.1 ") + c.status) << c.peer << " " << c.host;
    if (std::string(c.status) != "200 OK") {
      EXPECT_NE(Log().find("\t/\t421<br>"), std::string::npos) << c.host << Log();
    }
  }
}

TEST_F(HttpServerTest, PasswordListIsReadByStart) {
  key_->SetDword("VX_RequireAuthentication", 1);
  StartServer();
  const std::string erin = "Authorization: Basic " + Base64("erin:pw") + "\r\n";
  EXPECT_EQ(StatusLine(Get("/", kRemote, erin)), "HTTP/1.1 401 Unauthorized");
  WritePasswords("erin:pw\n");
  server_->Stop();
  ASSERT_TRUE(server_->Start(port_));
  EXPECT_EQ(StatusLine(Get("/", kRemote, erin)), "HTTP/1.1 200 OK");
  EXPECT_EQ(StatusLine(Get("/", kRemote, "Authorization: Basic " + Base64("alice:secret") + "\r\n")),
            "HTTP/1.1 401 Unauthorized");
  // No file: every remote request is refused.
  std::filesystem::remove(root_ + "/app/httpauth.txt");
  ASSERT_TRUE(server_->Start(port_));
  EXPECT_EQ(StatusLine(Get("/", kRemote, erin)), "HTTP/1.1 401 Unauthorized");
}

TEST_F(HttpServerTest, RequestLog) {
  StartServer();
  const struct {
    const char* peer;
    std::uint32_t logLocal, logRemote, logPages;
    const char* url;
    const char* logged;  // nullptr: no line
  } cases[] = {
      {kLocal, 1, 0, 0, "/", "/"},
      {kLocal, 0, 1, 1, "/", nullptr},
      {kRemote, 1, 0, 1, "/", nullptr},
      {kRemote, 0, 1, 0, "/", "/"},
      {kLocal, 1, 0, 0, "/index.html?x=1", nullptr},
      {kLocal, 1, 0, 1, "/index.html?x=1", "/index.html"},
      {kLocal, 1, 0, 1, "/httplog.html", nullptr},
      {kLocal, 1, 0, 1, "/style.css", nullptr},
      {kLocal, 1, 0, 0, "/stream/12/a%3Cb%3E%26.mp3", "a&lt;b&gt;&amp;.mp3"},
      {kLocal, 1, 0, 0, "/stream/12/x.mp3?t=%0D%0Ay", "x.mp3?t=y"},
      {kLocal, 1, 0, 1, "/a%3Cscript%3E.htm", "/a&lt;script&gt;.htm"},
  };
  for (const auto& c : cases) {
    key_->SetDword("VX_LogLocal", c.logLocal);
    key_->SetDword("VX_LogRemote", c.logRemote);
    key_->SetDword("VX_LogPages", c.logPages);
    std::filesystem::remove(root_ + "/install/httplog.html");
    EXPECT_EQ(StatusLine(Get(c.url, c.peer)), "HTTP/1.1 200 OK") << c.url;
    if (!c.logged) {
      EXPECT_EQ(Log(), "") << c.url;
      continue;
    }
    const std::regex line(std::string(c.peer == kLocal ? "127\\.0\\.0\\.1" : "127\\.0\\.0\\.2") +
                          "\t\\[ [0-9]{2}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} \\]\t\\(user: local\\)\t" +
                          std::regex_replace(c.logged, std::regex("[.?&;/]"), "\\$&") + "<br>\r\n");
    EXPECT_TRUE(std::regex_match(Log(), line)) << c.url << ": " << Log();
  }
  // Lines are appended; a missing log folder is no failure.
  key_->SetDword("VX_LogLocal", 1);
  std::filesystem::remove(root_ + "/install/httplog.html");
  Get("/");
  Get("/");
  const std::string log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
  // It names who signed in: the person's alone.
  EXPECT_EQ(std::filesystem::status(root_ + "/install/httplog.html").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  key_->SetString("", platform::FromPosixPath(root_ + "/nowhere"));
  EXPECT_EQ(StatusLine(Get("/")), "HTTP/1.1 200 OK");
}

TEST_F(HttpServerTest, RequestLogIsBounded) {
  key_->SetDword("VX_LogLocal", 1);
  key_->SetDword("VX_LogRemote", 1);
  key_->SetDword("VX_LogPages", 1);
  const std::string longUser(5000, 'u');
  WritePasswords(longUser + ":pw\n");
  key_->SetDword("VX_RequireAuthentication", 1);
  StartServer();
  // Each field is bounded, whatever the request holds: a 9 KB name, a long user name,
  // characters that grow when escaped.
  const struct {
    std::string url;
    const char* peer;
    std::string headers;
    const char* status;
  } cases[] = {
      {"/stream/1/" + std::string(9000, 'n') + ".mp3", kLocal, "", "200 OK"},
      {"/" + std::string(9000, '<') + ".htm", kLocal, "", "200 OK"},
      {"/", kRemote, "Authorization: Basic " + Base64(longUser + ":pw") + "\r\n", "200 OK"},
      {"/" + std::string(9000, '"'), kRemote, "Authorization: Basic " + Base64("x:y") + "\r\n", "401 Unauthorized"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(root_ + "/install/httplog.html");
    ASSERT_EQ(StatusLine(Get(c.url, c.peer, c.headers)), std::string("HTTP/1.1 ") + c.status) << c.url.substr(0, 20);
    const std::string log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_LT(log.size(), 2048u) << log.substr(0, 200);
    EXPECT_TRUE(log.ends_with("<br>\r\n")) << log.substr(0, 200);
  }
  const std::string line = Log();
  EXPECT_NE(line.find("...\t401<br>"), std::string::npos) << line;  // a shortened field says so

  // Past its size limit the log starts again; the lines before are kept in httplog.1.html.
  key_->SetDword("VX_RequireAuthentication", 0);
  const std::string old(1024 * 1024, 'o');
  std::ofstream(root_ + "/install/httplog.html", std::ios::binary) << old;
  Get("/");
  const std::string fresh = Log();
  EXPECT_LT(fresh.size(), 2048u);
  EXPECT_TRUE(fresh.ends_with("\t/<br>\r\n")) << fresh.substr(0, 100);
  std::ifstream rotated(root_ + "/install/httplog.1.html", std::ios::binary);
  std::stringstream kept;
  kept << rotated.rdbuf();
  EXPECT_TRUE(kept.str() == old) << kept.str().size();
}

TEST_F(HttpServerTest, HandlerFailuresBecomeErrorPages) {
  server_->SetErrorMapper([](std::exception_ptr error) -> std::optional<HttpException> {
    try {
      std::rethrow_exception(error);
    } catch (const DeviceError& e) {
      return DeviceErrorException(e.code, "Device Timeout", "slow");
    } catch (...) {
      return std::nullopt;
    }
  });
  StartServer();
  const struct {
    const char* url;
    const char* status;
    const char* message;
  } cases[] = {
      {"/throw/notfound", "404 File Not Found", "Request handler could not find file."},
      {"/throw/file", "500 Internal Server Error", "Request handler could not find file."},
      {"/throw/runtime", "500 Internal Server Error", ""},
      {"/throw/device", "500 Internal Server Error", "500: Server Error<br><br>Code: 0x51<br>Source: Device Timeout<br>Detail: slow"},
      {"/throw/page", "200 OK", "Kestrel is not connected."},
  };
  for (const auto& c : cases) {
    const std::string response = Get(c.url);
    EXPECT_EQ(StatusLine(response), std::string("HTTP/1.1 ") + c.status) << c.url;
    const std::string back = std::string(c.status).starts_with("404") ? "<p><a href=\"/\">Back to the overview</a></p>" : "";
    EXPECT_EQ(Body(response), std::string("<html><title>Pallidor</title><body>") + c.message + back + "</body></html>\r\n");
    EXPECT_TRUE(HasHeader(response, "Content-Type: text/html")) << c.url;
  }
  EXPECT_EQ(Get("/throw/gone"), "");
}

TEST_F(HttpServerTest, TraceNeverEchoesCredentials) {
  StartServer();
  const std::string response =
      Exchange(port_, "TRACE /t HTTP/1.1\r\nAuthorization: Basic " + Base64("alice:secret") + "\r\nHost: localhost\r\n\r\n");
  EXPECT_EQ(Body(response), "TRACE /t HTTP/1.1\r\nHost: localhost\r\n\r\n");
}

// --- limits and hostile peers -------------------------------------------------------

TEST_F(HttpServerTest, OversizedHeadIsRefused) {
  StartServer();
  const std::string prefix = "GET / HTTP/1.1\r\nX: ";
  // A head of exactly 16 KiB is accepted; one byte more without a blank line is 400.
  const std::string exact = prefix + std::string(16 * 1024 - prefix.size() - 4, 'a') + "\r\n\r\n";
  ASSERT_EQ(exact.size(), 16u * 1024);
  EXPECT_EQ(StatusLine(Exchange(port_, exact)), "HTTP/1.1 200 OK");
  const std::string huge = prefix + std::string(100 * 1024, 'a') + "\r\n\r\n";
  EXPECT_EQ(StatusLine(Exchange(port_, huge)), "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(StatusLine(Get("/")), "HTTP/1.1 200 OK");
}

TEST_F(HttpServerTest, IdleAndSlowClientsAreCut) {
  HttpServerLimits limits;
  limits.idleTimeoutMs = 200;
  limits.headTimeoutMs = 800;
  StartServer(limits);

  // Silent after part of a head.
  auto started = Clock::now();
  int fd = Connect(port_);
  SendAll(fd, "GET / HT");
  EXPECT_EQ(ReadAll(fd), "");
  EXPECT_LT(Clock::now() - started, 3s);
  close(fd);

  // A byte every 100 ms is never idle, but the head has a deadline.
  started = Clock::now();
  fd = Connect(port_);
  bool cut = false;
  for (int i = 0; i < 50 && !cut; ++i) {
    cut = send(fd, "X", 1, MSG_NOSIGNAL) != 1;
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_TRUE(cut);
  EXPECT_LT(Clock::now() - started, 3s);
  close(fd);

  EXPECT_EQ(StatusLine(Get("/")), "HTTP/1.1 200 OK");
}

TEST_F(HttpServerTest, PeerThatResetsMidAnswerEndsTheRequestQuietly) {
  StartServer();
  const int before = g_peerGone;
  const int fd = Connect(port_);
  SendAll(fd, "GET /big HTTP/1.1\r\n\r\n");
  char buffer[1024];
  ASSERT_GT(recv(fd, buffer, sizeof buffer, 0), 0);
  linger hard{1, 0};  // close with a reset
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(fd);
  const auto deadline = Clock::now() + 5s;
  while (g_peerGone == before && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(g_peerGone, before + 1);  // and no SIGPIPE ended this process
  EXPECT_EQ(StatusLine(Get("/")), "HTTP/1.1 200 OK");
}

TEST_F(HttpServerTest, WorkersAreCapped) {
  HttpServerLimits limits;
  limits.maxWorkers = 2;
  limits.idleTimeoutMs = 500;
  limits.workerWaitMs = 50;
  StartServer(limits);

  // Peers that stop reading hold their workers only until the idle time-out; a head that
  // is still arriving holds none. A request that waits for a worker longer than it may is
  // refused.
  std::vector<int> stalled;
  for (int i = 0; i < 2; ++i) {
    const int fd = Connect(port_);
    int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    SendAll(fd, "GET /big HTTP/1.1\r\n\r\n");
    stalled.push_back(fd);
  }
  const int waiting = Connect(port_);
  SendAll(waiting, "GET /wait");
  std::this_thread::sleep_for(100ms);

  const std::string busy = Get("/");
  EXPECT_EQ(StatusLine(busy), "HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(Body(busy), "<html><title>Pallidor</title><body>Too many connections. Try again later.</body></html>\r\n");

  // Both held workers are released by their time-outs; then requests are answered again.
  const auto deadline = Clock::now() + 10s;
  std::string status;
  while (Clock::now() < deadline && (status = StatusLine(Get("/"))) != "HTTP/1.1 200 OK") {
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(status, "HTTP/1.1 200 OK");
  for (int fd : stalled) close(fd);
  close(waiting);
}

TEST_F(HttpServerTest, RequestsWaitForABusyWorkerInTheirOrder) {
  // One worker, still busy for a while after its answer has reached the client: requests
  // sent meanwhile wait for it, and are answered in the order they came.
  HttpServerLimits limits;
  limits.maxWorkers = 1;
  StartServer(limits);
  for (int round = 0; round < 3; ++round) {
    {
      std::lock_guard<std::mutex> lock(g_servedMu);
      g_served.clear();
    }
    const int first = Connect(port_);
    SendAll(first, "GET /linger HTTP/1.1\r\nHost: localhost\r\n\r\n");
    const std::string lingering = ReadAnswer(first);
    ASSERT_EQ(Body(lingering), "lingering") << round;
    std::vector<int> waiting;
    for (int i = 0; i < 3; ++i) {
      waiting.push_back(Connect(port_));
      SendAll(waiting.back(), "GET /order/" + std::to_string(i) + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
      std::this_thread::sleep_for(10ms);  // so that the server reads them in this order
    }
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(StatusLine(ReadAll(waiting[static_cast<std::size_t>(i)])), "HTTP/1.1 200 OK") << round << " " << i;
      close(waiting[static_cast<std::size_t>(i)]);
    }
    close(first);
    std::lock_guard<std::mutex> lock(g_servedMu);
    EXPECT_EQ(g_served, (std::vector<std::string>{"/order/0", "/order/1", "/order/2"})) << round;
  }
}

// A socket to the server from `from` (any 127.x.y.z), with a partial head sent.
int SlowClient(int port, const std::string& from) {
  const int fd = Connect(port, from.c_str());
  SendAll(fd, "GET /slow HTTP/1.1\r\nHost: localhost\r\nX-Slow: ");
  return fd;
}

std::string LoopbackAddress(int n) {  // 127.0.0.2 and up
  return "127.0." + std::to_string((n + 2) / 256) + "." + std::to_string((n + 2) % 256);
}

TEST_F(HttpServerTest, SlowClientsHoldNoWorker) {
  // A thousand peers that send their heads a byte at a time, spread over addresses so that
  // the cap per address does not turn them away: requests from elsewhere are still answered.
  HttpServerLimits limits;
  limits.maxWorkers = 4;
  StartServer(limits);
  std::vector<int> slow;
  for (int i = 0; i < 1000; ++i) slow.push_back(SlowClient(port_, LoopbackAddress(i / 10)));
  for (int round = 0; round < 2; ++round) {
    for (int fd : slow) SendAll(fd, "x");
    std::this_thread::sleep_for(200ms);
  }
  for (int i = 0; i < 8; ++i) EXPECT_EQ(StatusLine(Get("/normal")), "HTTP/1.1 200 OK") << i;
  // The slow ones were kept, not cut: each is answered once its head is complete.
  for (int i = 0; i < 1000; i += 97) {
    SendAll(slow[i], "\r\n\r\n");
    const std::string response = ReadAll(slow[i]);
    EXPECT_EQ(StatusLine(response), "HTTP/1.1 200 OK") << i;
    EXPECT_NE(Body(response).find("url=/slow\n"), std::string::npos) << i;
  }
  for (int fd : slow) close(fd);
}

TEST_F(HttpServerTest, ConnectionsPerPeerAreCapped) {
  HttpServerLimits limits;
  limits.maxPerPeer = 3;
  StartServer(limits);
  std::vector<int> held;
  for (int i = 0; i < 3; ++i) held.push_back(SlowClient(port_, kRemote));
  std::this_thread::sleep_for(100ms);
  const std::string refused = Get("/", kRemote);
  EXPECT_EQ(StatusLine(refused), "HTTP/1.1 503 Service Unavailable");
  EXPECT_NE(Body(refused).find("Too many connections from your address."), std::string::npos) << refused;
  EXPECT_EQ(StatusLine(Get("/", kLocal)), "HTTP/1.1 200 OK");  // other peers are not affected
  // A connection that ends frees its place.
  close(held.back());
  held.pop_back();
  std::string status;
  const auto deadline = Clock::now() + 5s;
  while (Clock::now() < deadline && (status = StatusLine(Get("/", kRemote))) != "HTTP/1.1 200 OK") {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(status, "HTTP/1.1 200 OK");
  for (int fd : held) close(fd);
}

// Answered connections that are still being closed (the peer keeps its end open, or sent
// more than its head) no longer count against the peer's share; and connections left
// hanging with half a head make room for the peer's next one, so one local program cannot
// shut the person's browser out.
TEST_F(HttpServerTest, AnsweredAndHangingConnectionsLeaveThePeersShareFree) {
  HttpServerLimits limits;
  limits.maxPerPeer = 4;
  limits.slowHeadMs = 50;
  StartServer(limits);
  std::vector<int> lingering;
  for (int i = 0; i < 4; ++i) {
    const int fd = Connect(port_, kLocal);
    SendAll(fd, "GET / HTTP/1.1\r\nHost: localhost\r\n\r\nand more");
    EXPECT_EQ(StatusLine(ReadAll(fd)), "HTTP/1.1 200 OK");
    lingering.push_back(fd);  // answered, kept open
  }
  for (int i = 0; i < 8; ++i) EXPECT_EQ(StatusLine(Get("/", kLocal)), "HTTP/1.1 200 OK") << i;

  std::vector<int> hanging;
  for (int i = 0; i < 4; ++i) hanging.push_back(SlowClient(port_, kLocal));
  // At once, the share is in use; once the hanging heads are old, the browser is served.
  std::string status;
  const auto deadline = Clock::now() + 5s;
  while (Clock::now() < deadline && (status = StatusLine(Get("/", kLocal))) != "HTTP/1.1 200 OK") {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(status, "HTTP/1.1 200 OK");
  for (int fd : lingering) close(fd);
  for (int fd : hanging) close(fd);
}

TEST_F(HttpServerTest, SilentPeerHoldsNoThread) {
  HttpServerLimits limits;
  limits.maxWorkers = 1;
  StartServer(limits);
  const int silent = Connect(port_);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(StatusLine(Get("/")), "HTTP/1.1 200 OK");
  close(silent);
}

TEST_F(HttpServerTest, ManyConcurrentClients) {
  StartServer();
  std::atomic<int> ok{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 8; ++t) {
    clients.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        const std::string response = Get("/c" + std::to_string(t), t % 2 ? kRemote : kLocal);
        if (StatusLine(response) == "HTTP/1.1 200 OK" && Body(response).find("url=/c" + std::to_string(t) + "\n") != std::string::npos) ++ok;
      }
    });
  }
  for (auto& c : clients) c.join();
  EXPECT_EQ(ok, 200);
}

TEST_F(HttpServerTest, StartStopAndRestart) {
  server_->Stop();  // not listening: harmless
  StartServer();
  EXPECT_EQ(StatusLine(Get("/")), "HTTP/1.1 200 OK");

  HttpServer other;
  EXPECT_FALSE(other.Start(port_));  // the port is taken

  // Restart on the same port while the old connections wait out their close.
  server_->Stop();
  EXPECT_EQ(server_->port(), 0);
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port_));
  inet_pton(AF_INET, kLocal, &address.sin_addr);
  EXPECT_NE(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
  ASSERT_TRUE(server_->Start(port_));
  EXPECT_EQ(StatusLine(Get("/")), "HTTP/1.1 200 OK");
}

TEST_F(HttpServerTest, DestroyingTheServerCutsOpenConnections) {
  StartServer();  // default time-outs of 30 s and more
  const int fd = Connect(port_);
  SendAll(fd, "GET / HT");
  std::this_thread::sleep_for(50ms);
  const auto started = Clock::now();
  server_.reset();
  EXPECT_LT(Clock::now() - started, 2s);
  close(fd);
}

}  // namespace

}  // namespace web
