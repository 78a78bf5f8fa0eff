// tovarinxx: the launcher that a file manager's "send to" starts with the chosen files as
// its arguments, and that the library starts with the path of a list file. It carries no
// logic of its own: it hands its arguments and its own file to the library's transfer
// entry, which decides everything, including which player is meant (by the name this
// copy runs under). The exit code is 1 whatever happened.
#include <unistd.h>

#include <string>

#include "platform/shell/start_report.h"
#include "shellext/do_tovarin.h"

int main(int argc, char** argv) {
  // Loaded: the library that started this copy stops waiting.
  platform::ReportStarted();
  // The file this copy runs from: copies are installed under each family's launcher name.
  std::string self(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  self.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  if (self.empty() && argc > 0) self = argv[0];
  DoTovarin(argv + 1, argc - 1, self.c_str());
  return 1;
}
