#include "platform/shell/system_desktop.h"

#include <glib.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/text/text.h"

namespace platform {
namespace {

// Runs dpkg-query with the arguments; its standard output, or nullopt when it did not run
// or failed.
std::optional<std::string> AskPackageDatabase(std::vector<std::string> arguments) {
  std::vector<gchar*> argv;
  std::string program = "dpkg-query";
  argv.push_back(program.data());
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  gchar* output = nullptr;
  gint status = 0;
  const gboolean ran = g_spawn_sync(nullptr, argv.data(), nullptr,
                                    static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
                                    nullptr, &output, nullptr, &status, nullptr);
  std::optional<std::string> text;
  if (ran && g_spawn_check_wait_status(status, nullptr) && output != nullptr) text = output;
  g_free(output);
  return text;
}

// The package that installed the file: the first of "pkg[, pkg...]: <path>" for exactly
// this path (diversion lines say something else).
std::string OwningPackage(const std::string& path) {
  const std::optional<std::string> out = AskPackageDatabase({"-S", path});
  if (!out) return {};
  std::size_t start = 0;
  while (start < out->size()) {
    std::size_t end = out->find('\n', start);
    if (end == std::string::npos) end = out->size();
    const std::string line = out->substr(start, end - start);
    start = end + 1;
    const std::string tail = ": " + path;
    if (line.size() <= tail.size() || line.compare(line.size() - tail.size(), tail.size(), tail) != 0) continue;
    const std::string packages = line.substr(0, line.size() - tail.size());
    if (packages.rfind("diversion", 0) == 0) continue;
    return Trim(packages.substr(0, packages.find(',')));
  }
  return {};
}

}  // namespace

namespace system_desktop {

std::optional<FileVersionInfo> GetFileVersionInfo(std::string_view posixPath) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const std::string given(posixPath);
  if (given.empty() || !fs::is_regular_file(given, ec)) return std::nullopt;
  // The package database names files as the packages ship them: with merged /usr, a
  // program under /usr/bin may be listed under /bin.
  std::vector<std::string> names;
  const fs::path canonical = fs::canonical(given, ec);
  if (!ec) names.push_back(canonical.string());
  names.push_back(given);
  for (std::size_t i = 0, n = names.size(); i < n; ++i) {
    if (names[i].rfind("/usr/", 0) == 0) names.push_back(names[i].substr(4));
  }
  std::string package;
  for (const std::string& name : names) {
    package = OwningPackage(name);
    if (!package.empty()) break;
  }
  if (package.empty()) return std::nullopt;
  const std::optional<std::string> fields = AskPackageDatabase({"-W", "-f=${Version}\\n${binary:Summary}\\n", package});
  if (!fields) return std::nullopt;
  FileVersionInfo info;
  const std::size_t lineEnd = fields->find('\n');
  info.productVersion = Trim(fields->substr(0, lineEnd));
  if (lineEnd != std::string::npos) info.description = Trim(fields->substr(lineEnd + 1));
  return info;
}

}  // namespace system_desktop
}  // namespace platform
