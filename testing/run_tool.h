// Running the command-line tools that make test files and stand beside our code in the
// benchmarks (sox, lame, flac, oggenc, ffmpeg).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/shell/shell.h"

namespace transfer {

// Runs a tool to its end; false when it did not exit with 0, with `failure` saying why
// (without one, the reason goes to stderr).
inline bool RunTool(std::vector<std::string> args, std::string* failure = nullptr) {
  const std::string program = args.front();
  args.erase(args.begin());
  platform::StartOptions options;
  options.wait = true;
  const platform::StartResult r = platform::StartProcess(program, args, options);
  const bool ok = r.started && r.exitCode == 0;
  if (ok) return true;
  const std::string why = program + " failed: " + r.error + " exit " + std::to_string(r.exitCode);
  if (failure) {
    *failure = why;
  } else {
    std::fprintf(stderr, "%s\n", why.c_str());
  }
  return false;
}

}  // namespace transfer
