// Starting a helper program with its stdin and stdout piped to the caller (two-process
// tests and benchmarks). The helper runs in the temporary folder ($TMPDIR), so a relative
// path it writes to never lands in the working tree the tests were started from.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace platform {

// Starts args[0] (a path) with args; answers its pid, or -1 when it could not be started.
// `toChild` writes to its stdin, `fromChild` reads its stdout (both -1 on failure).
inline pid_t SpawnPiped(std::vector<std::string> args, int& toChild, int& fromChild) {
  toChild = fromChild = -1;
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return -1;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return -1;
  }
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  std::error_code ec;
  const std::string folder = std::filesystem::temp_directory_path(ec).string();
  if (!ec) posix_spawn_file_actions_addchdir_np(&fa, folder.c_str());
  pid_t pid = -1;
  if (::posix_spawn(&pid, args[0].c_str(), &fa, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  ::close(in[0]);
  ::close(out[1]);
  toChild = in[1];
  fromChild = out[0];
  return pid;
}

}  // namespace platform
