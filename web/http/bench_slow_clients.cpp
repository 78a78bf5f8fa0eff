// bench_slow_clients --target NAME=PORT [--target NAME=PORT ...] [--slow N] [--per-address N]
//                    [--requests N] [--goal-ms N]
//
// For each target in turn, on loopback: opens N slow connections (1,000 by default) from
// 127.0.0.2 and up (N per address, 25 by default, so that a cap per address does not turn
// them away), each sending its request head one byte per second; then, while they are
// open, sends normal requests from 127.0.0.1 one after another and measures how long each
// takes to be answered completely. Prints one line per target: answers with status 200,
// the latency median, 90th and 99th percentile and maximum, and how many slow connections
// the target still held at the end. Exit status 1 when a target misses the goal (every
// normal request answered 200 within --goal-ms, 100 by default) - the first target is
// the one the goal is for; the others are printed for comparison.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Target {
  std::string name;
  int port = 0;
};

int ConnectFrom(const std::string& from, int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &address.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return fd;
}

std::string SlowAddress(int index, int perAddress) {
  const int n = 2 + index / perAddress;  // 127.0.0.2 and up
  return "127.0." + std::to_string(n / 256) + "." + std::to_string(n % 256);
}

bool StillOpen(int fd) {
  char byte;
  const ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

// One normal request; the status code (0 when there was no answer) and the time it took.
std::pair<int, double> NormalRequest(int port) {
  const auto start = Clock::now();
  const int fd = ConnectFrom("127.0.0.1", port);
  if (fd < 0) return {0, 0};
  const std::string request = "GET /index.html HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string answer;
  char buffer[4096];
  for (;;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  int status = 0;
  if (answer.starts_with("HTTP/1.") && answer.size() >= 12) status = std::atoi(answer.c_str() + 9);
  return {status, ms};
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5));
  return values[at];
}

// Runs the measurement against one target; true when it meets the goal.
bool Measure(const Target& target, int slowCount, int perAddress, int requests, double goalMs) {
  std::vector<int> slow;
  slow.reserve(static_cast<std::size_t>(slowCount));
  int refused = 0;
  for (int i = 0; i < slowCount; ++i) {
    const int fd = ConnectFrom(SlowAddress(i, perAddress), target.port);
    if (fd < 0) {
      ++refused;
      continue;
    }
    const std::string start = "GET /index.html HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
    send(fd, start.data(), start.size(), MSG_NOSIGNAL);
    slow.push_back(fd);
  }
  // One more header byte per second on each, for as long as the measurement runs.
  std::atomic<bool> done{false};
  std::thread drip([&] {
    while (!done) {
      for (int fd : slow) send(fd, "a", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      for (int i = 0; i < 10 && !done; ++i) std::this_thread::sleep_for(100ms);
    }
  });
  std::this_thread::sleep_for(1500ms);  // every slow head has begun to arrive

  std::vector<double> latencies;
  int ok = 0;
  for (int i = 0; i < requests; ++i) {
    const auto [status, ms] = NormalRequest(target.port);
    latencies.push_back(status ? ms : 1e9);
    if (status == 200) ++ok;
    std::this_thread::sleep_for(10ms);
  }
  done = true;
  drip.join();
  int held = 0;
  for (int fd : slow) {
    held += StillOpen(fd) ? 1 : 0;
    close(fd);
  }
  const double worst = Percentile(latencies, 1.0);
  std::printf("%-20s %4d/%-4d ok   median %7.2f   p90 %7.2f   p99 %7.2f   max %8.2f ms   slow held %4d/%d\n",
              target.name.c_str(), ok, requests, Percentile(latencies, 0.5), Percentile(latencies, 0.9),
              Percentile(latencies, 0.99), worst > 1e8 ? -1.0 : worst, held, slowCount - refused);
  std::fflush(stdout);
  return ok == requests && worst <= goalMs;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Target> targets;
  int slowCount = 1000;
  int perAddress = 25;
  int requests = 200;
  double goalMs = 100;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const std::string value = argv[i + 1];
    if (option == "--target" && value.find('=') != std::string::npos) {
      targets.push_back({value.substr(0, value.find('=')), std::atoi(value.c_str() + value.find('=') + 1)});
    } else if (option == "--slow") {
      slowCount = std::atoi(value.c_str());
    } else if (option == "--per-address") {
      perAddress = std::max(1, std::atoi(value.c_str()));
    } else if (option == "--requests") {
      requests = std::max(1, std::atoi(value.c_str()));
    } else if (option == "--goal-ms") {
      goalMs = std::atof(value.c_str());
    }
  }
  if (targets.empty()) {
    std::fprintf(stderr,
                 "usage: bench_slow_clients --target NAME=PORT [--target NAME=PORT ...] [--slow N] "
                 "[--per-address N] [--requests N] [--goal-ms N]\n");
    return 2;
  }
  std::printf("%d slow connections (%d per address from 127.0.0.2), %d normal requests from 127.0.0.1\n",
              slowCount, perAddress, requests);
  bool met = true;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const bool targetMet = Measure(targets[i], slowCount, perAddress, requests, goalMs);
    if (i == 0) met = targetMet;
  }
  std::printf("goal for %s: every request 200 within %.0f ms: %s\n", targets[0].name.c_str(), goalMs,
              met ? "met" : "MISSED");
  return met ? 0 : 1;
}
