#include "platform/shell/system_desktop.h"

#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>

#include "platform/text/text.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kEntryGroup = "Desktop Entry";
constexpr const char* kDefaultsGroup = "Default Applications";

struct KeyFileDeleter {
  void operator()(GKeyFile* f) const { g_key_file_free(f); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

struct GFreeDeleter {
  void operator()(gchar* p) const { g_free(p); }
};
struct StrvDeleter {
  void operator()(gchar** p) const { g_strfreev(p); }
};

std::string Take(gchar* text) {
  std::unique_ptr<gchar, GFreeDeleter> owned(text);
  return text != nullptr ? std::string(text) : std::string();
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::string(v) : fallback;
}

std::string Home() { return EnvOr("HOME", g_get_home_dir()); }

std::string ConfigHome() { return EnvOr("XDG_CONFIG_HOME", Home() + "/.config"); }
std::string DataHome() { return EnvOr("XDG_DATA_HOME", Home() + "/.local/share"); }

// The non-empty parts of a colon-separated list of folders.
std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) parts.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The folders of desktop entries, the person's first.
std::vector<std::string> ApplicationFolders() {
  std::vector<std::string> folders = {DataHome() + "/applications"};
  for (const std::string& d : SplitList(EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"))) {
    folders.push_back(d + "/applications");
  }
  return folders;
}

std::string MimeAppsList() { return ConfigHome() + "/mimeapps.list"; }

// The program a command runs: its first argument, found on PATH when it names no folder.
std::string ProgramOf(const std::string& command) {
  gchar** argv = nullptr;
  if (!g_shell_parse_argv(command.c_str(), nullptr, &argv, nullptr) || argv == nullptr || argv[0] == nullptr) {
    g_strfreev(argv);
    return Trim(command.substr(0, command.find(' ')));
  }
  std::unique_ptr<gchar*, StrvDeleter> owned(argv);
  const std::string first = argv[0];
  if (first.find('/') != std::string::npos) return first;
  const std::string found = Take(g_find_program_in_path(first.c_str()));
  return found.empty() ? first : found;
}

// What one entry says; nullopt for one that is not an application. `hidden` tells an
// entry that hides its id.
std::optional<DesktopApplication> ReadEntry(const std::string& file, const std::string& id, bool& hidden,
                                            std::vector<std::string>* types) {
  hidden = false;
  KeyFile kf(g_key_file_new());
  if (!g_key_file_load_from_file(kf.get(), file.c_str(), G_KEY_FILE_NONE, nullptr)) return std::nullopt;
  if (g_key_file_get_boolean(kf.get(), kEntryGroup, "Hidden", nullptr)) {
    hidden = true;
    return std::nullopt;
  }
  if (Take(g_key_file_get_string(kf.get(), kEntryGroup, "Type", nullptr)) != "Application") return std::nullopt;
  const std::string tryExec = Take(g_key_file_get_string(kf.get(), kEntryGroup, "TryExec", nullptr));
  if (!tryExec.empty()) {
    const bool present = tryExec.find('/') != std::string::npos
                             ? ::access(tryExec.c_str(), X_OK) == 0
                             : !Take(g_find_program_in_path(tryExec.c_str())).empty();
    if (!present) {
      hidden = true;
      return std::nullopt;
    }
  }
  DesktopApplication app;
  app.id = id;
  app.name = Trim(Take(g_key_file_get_locale_string(kf.get(), kEntryGroup, "Name", nullptr, nullptr)));
  app.command = Take(g_key_file_get_string(kf.get(), kEntryGroup, "Exec", nullptr));
  app.icon = Take(g_key_file_get_string(kf.get(), kEntryGroup, "Icon", nullptr));
  app.program = app.command.empty() ? std::string() : ProgramOf(app.command);
  if (types != nullptr) {
    gsize n = 0;
    if (gchar** list = g_key_file_get_string_list(kf.get(), kEntryGroup, "MimeType", &n, nullptr)) {
      for (gsize i = 0; i < n; ++i) types->push_back(list[i]);
      g_strfreev(list);
    }
  }
  return app;
}

// Every entry below the folders, by id, the first folder that holds an id winning.
template <class Visit>
void WalkEntries(Visit visit) {
  std::map<std::string, bool> seen;
  for (const std::string& folder : ApplicationFolders()) {
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    std::vector<std::pair<std::string, std::string>> entries;  // id, file
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (!it->is_regular_file(ec) || it->path().extension() != ".desktop") continue;
      std::string id = fs::relative(it->path(), folder, ec).string();
      std::replace(id.begin(), id.end(), '/', '-');
      entries.emplace_back(id, it->path().string());
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& [id, file] : entries) {
      if (!seen.emplace(id, true).second) continue;
      visit(id, file);
    }
  }
}

// Runs xdg-mime; its first output line, or nullopt when it failed. `configHome` replaces
// $XDG_CONFIG_HOME for the run when not empty.
std::optional<std::string> RunXdgMime(std::vector<std::string> arguments, const std::string& configHome = {}) {
  std::vector<gchar*> argv;
  std::string program = "xdg-mime";
  argv.push_back(program.data());
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  gchar** env = g_get_environ();
  if (!configHome.empty()) env = g_environ_setenv(env, "XDG_CONFIG_HOME", configHome.c_str(), TRUE);
  std::unique_ptr<gchar*, StrvDeleter> ownedEnv(env);
  gchar* output = nullptr;
  gint status = 0;
  const gboolean ran = g_spawn_sync(nullptr, argv.data(), env,
                                    static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL), nullptr,
                                    nullptr, &output, nullptr, &status, nullptr);
  const std::string text = Take(output);
  if (!ran || !g_spawn_check_wait_status(status, nullptr)) return std::nullopt;
  return Trim(text.substr(0, text.find('\n')));
}

// A program as the start of a desktop entry's Exec. The generic back ends of xdg-mime and
// xdg-open take the line's first blank-separated word as the program, quotes and all:
// xdg-mime drops a person's choice of an entry whose program it cannot find that way. So a
// path is written bare when it needs no quoting; one that does is quoted as the desktop
// entry rules say (the characters that stay special inside quotes escaped), which desktops
// that read those rules follow. "%" is doubled: field codes begin with it.
std::string ExecProgram(const std::string& program) {
  const bool bare = !program.empty() && std::all_of(program.begin(), program.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || std::string_view("/._+-,@:").find(c) != std::string_view::npos;
  });
  if (bare) return program;
  std::string out = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out.push_back('\\');
    if (c == '%') out.push_back('%');
    out.push_back(c);
  }
  return out + "\"";
}

}  // namespace

namespace system_desktop {

std::vector<DesktopApplication> ListApplicationsFor(const std::vector<std::string>& types) {
  std::vector<DesktopApplication> apps;
  WalkEntries([&](const std::string& id, const std::string& file) {
    bool hidden = false;
    std::vector<std::string> handled;
    std::optional<DesktopApplication> app = ReadEntry(file, id, hidden, &handled);
    if (!app) return;
    const bool wanted = std::any_of(handled.begin(), handled.end(), [&](const std::string& t) {
      return std::any_of(types.begin(), types.end(), [&](const std::string& w) { return EqualsNoCase(t, w); });
    });
    if (wanted) apps.push_back(std::move(*app));
  });
  return apps;
}

std::vector<std::string> EntrySources(std::string_view id) {
  std::vector<std::string> files;
  for (const std::string& folder : ApplicationFolders()) {
    // "a-b.desktop" may lie in a sub-folder "a" of the folder.
    std::string relative(id);
    files.push_back(folder + "/" + relative);
    for (std::size_t dash = relative.find('-'); dash != std::string::npos; dash = relative.find('-', dash + 1)) {
      std::string withFolder = relative;
      withFolder[dash] = '/';
      files.push_back(folder + "/" + withFolder);
    }
  }
  return files;
}

std::optional<DesktopApplication> FindApplication(std::string_view id) {
  for (const std::string& file : EntrySources(id)) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) continue;
    bool hidden = false;
    std::optional<DesktopApplication> app = ReadEntry(file, std::string(id), hidden, nullptr);
    if (app || hidden) return app;
  }
  return std::nullopt;
}

std::vector<std::string> DefaultApplicationSources() {
  // The lists of every desktop named in $XDG_CURRENT_DESKTOP ("gnome-mimeapps.list") come
  // before the plain one; the applications folders also hold the entries a choice names.
  std::vector<std::string> lists;
  const std::string desktops = EnvOr("XDG_CURRENT_DESKTOP", "");
  for (const std::string& d : SplitList(desktops)) lists.push_back(ToLowerAscii(d) + "-mimeapps.list");
  lists.push_back("mimeapps.list");
  std::vector<std::string> sources;
  std::vector<std::string> configFolders = {ConfigHome()};
  for (const std::string& d : SplitList(EnvOr("XDG_CONFIG_DIRS", "/etc/xdg"))) configFolders.push_back(d);
  for (const std::string& folder : configFolders) {
    sources.push_back(folder);
    for (const std::string& l : lists) sources.push_back(folder + "/" + l);
  }
  for (const std::string& folder : ApplicationFolders()) {
    sources.push_back(folder);
    for (const std::string& l : lists) sources.push_back(folder + "/" + l);
    sources.push_back(folder + "/defaults.list");
    sources.push_back(folder + "/mimeinfo.cache");
  }
  return sources;
}

std::string DefaultApplicationId(std::string_view type) {
  return RunXdgMime({"query", "default", std::string(type)}).value_or(std::string());
}

std::string SystemDefaultApplicationId(std::string_view type) {
  // The same question with a configuration folder that holds no choice of the person's.
  std::string empty = (fs::temp_directory_path() / "tovarin-xdg-XXXXXX").string();
  if (::mkdtemp(empty.data()) == nullptr) return {};
  const std::string id = RunXdgMime({"query", "default", std::string(type)}, empty).value_or(std::string());
  std::error_code ec;
  fs::remove_all(empty, ec);
  return id;
}

std::string UserDefaultApplicationId(std::string_view type) {
  KeyFile kf(g_key_file_new());
  if (!g_key_file_load_from_file(kf.get(), MimeAppsList().c_str(), G_KEY_FILE_NONE, nullptr)) return {};
  const std::string key(type);
  gsize n = 0;
  gchar** list = g_key_file_get_string_list(kf.get(), kDefaultsGroup, key.c_str(), &n, nullptr);
  std::unique_ptr<gchar*, StrvDeleter> owned(list);
  for (gsize i = 0; list != nullptr && i < n; ++i) {
    const std::string id = Trim(list[i]);
    if (!id.empty()) return id;
  }
  return {};
}

bool SetDefaultApplication(std::string_view type, std::string_view id) {
  if (id.empty()) return false;
  return RunXdgMime({"default", std::string(id), std::string(type)}).has_value();
}

bool ResetDefaultApplication(std::string_view type) {
  const std::string file = MimeAppsList();
  std::error_code ec;
  if (!fs::exists(file, ec)) return true;
  KeyFile kf(g_key_file_new());
  if (!g_key_file_load_from_file(kf.get(), file.c_str(),
                                 static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS),
                                 nullptr)) {
    return false;
  }
  const std::string key(type);
  if (!g_key_file_has_key(kf.get(), kDefaultsGroup, key.c_str(), nullptr)) return true;
  g_key_file_remove_key(kf.get(), kDefaultsGroup, key.c_str(), nullptr);
  return g_key_file_save_to_file(kf.get(), file.c_str(), nullptr) != FALSE;
}

Registration RegisterApplication(const std::string& program, const std::vector<std::string>& types, std::string& id) {
  const fs::path path(program);
  id = path.filename().string() + ".desktop";
  if (path.filename().empty()) return Registration::kFailed;
  if (FindApplication(id)) return Registration::kAlreadyRegistered;
  const std::string folder = DataHome() + "/applications";
  std::error_code ec;
  fs::create_directories(folder, ec);
  KeyFile kf(g_key_file_new());
  g_key_file_set_string(kf.get(), kEntryGroup, "Type", "Application");
  g_key_file_set_string(kf.get(), kEntryGroup, "Name", path.stem().string().c_str());
  g_key_file_set_string(kf.get(), kEntryGroup, "Exec", (ExecProgram(program) + " %U").c_str());
  std::string mimeTypes;
  for (const std::string& t : types) mimeTypes += t + ";";
  g_key_file_set_string(kf.get(), kEntryGroup, "MimeType", mimeTypes.c_str());
  g_key_file_set_boolean(kf.get(), kEntryGroup, "NoDisplay", TRUE);
  g_key_file_set_boolean(kf.get(), kEntryGroup, "Terminal", FALSE);
  if (!g_key_file_save_to_file(kf.get(), (folder + "/" + id).c_str(), nullptr)) return Registration::kFailed;
  return Registration::kRegistered;
}

}  // namespace system_desktop
}  // namespace platform
