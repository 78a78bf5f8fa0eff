// Benchmark support: running the command-line tools that make the files and stand beside
// our code.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/shell/shell.h"

namespace transfer::bench {

// Runs a tool to its end; false (with a line on stderr) when it did not exit with 0.
inline bool Tool(std::vector<std::string> args) {
  const std::string program = args.front();
  args.erase(args.begin());
  platform::StartOptions options;
  options.wait = true;
  const platform::StartResult r = platform::StartProcess(program, args, options);
  if (!r.started || r.exitCode != 0) std::fprintf(stderr, "%s failed\n", program.c_str());
  return r.started && r.exitCode == 0;
}

}  // namespace transfer::bench
