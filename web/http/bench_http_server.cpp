// bench_http_server --page FILE [--port N]: serves the bytes of FILE as text/html for
// every URL through the server's whole pipeline, prints "port N" once listening, and
// runs until SIGINT, SIGTERM or the end of its standard input. Used by bench/http.sh.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "common/identity.h"
#include "platform/settings/settings.h"
#include "web/http/http_server.h"
#include "web/http/http_tables.h"

using namespace web;

namespace {

class PageHandler : public Handler {
 public:
  PageHandler(HttpServer* server, std::string page) : Handler(server), page_(std::move(page)) {}
  void Handle(const HttpRequest& request, Connection& connection) override {
    WriteResponseHeaders(connection, 200, static_cast<std::int64_t>(page_.size()), kContentHtml);
    if (request.method() != kHttpHead) SocketWriteText(connection, page_);
  }

 private:
  std::string page_;
};

}  // namespace

int main(int argc, char** argv) {
  std::string pagePath;
  int port = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--page") == 0) pagePath = argv[i + 1];
    else if (std::strcmp(argv[i], "--port") == 0) port = std::atoi(argv[i + 1]);
  }
  std::ifstream in(pagePath, std::ios::binary);
  if (pagePath.empty() || !in) {
    std::fprintf(stderr, "usage: bench_http_server --page FILE [--port N]\n");
    return 2;
  }
  std::stringstream page;
  page << in.rdbuf();

  // Signals are taken by sigwait below, never by the event loop or a worker.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  // The settings the server reads for every request live where an installed manager
  // keeps them ($TOVARIN_HOME chooses the store).
  g_ProductIdentity.InitFromPath("trayhub");
  platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  HttpServer server;
  server.AddHandler(std::make_unique<PageHandler>(&server, page.str()));
  if (!server.Start(port)) {
    std::fprintf(stderr, "bench_http_server: cannot listen on port %d\n", port);
    return 1;
  }
  std::printf("port %d\n", server.port());
  std::fflush(stdout);

  std::thread([] {
    char buffer[256];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    kill(getpid(), SIGTERM);
  }).detach();
  int signal = 0;
  sigwait(&stop, &signal);
  server.Stop();
  return 0;
}
