#include "common/identity.h"

#include <link.h>
#include <unistd.h>

#include <array>
#include <climits>

#include "platform/text/text.h"

ProductIdentity g_ProductIdentity;

namespace {

// Names are assembled from these pieces; no whole name is spelled twice.
constexpr const char* kBaseWord = "ombrix";
constexpr const char* kEditionPrefix = "vesk";
constexpr const char* kLauncherWord = "tovarin";
constexpr const char* kManagerExe = "trayhub";
constexpr const char* kMakerKey = "Software\\Quorvane Software";

struct Family {
  int code;
  const char* productWord;  // productName = "Ombrix " + productWord
  const char* deviceWord;
};

constexpr std::array<Family, 9> kFamilies = {{
    {1, "Jukebox", "Jukebox"},
    {2, "Crest", "Player"},
    {3, "Iris", "Player"},
    {4, "Tessel", "Tessel"},
    {5, "Mavra", "Player"},
    {6, "Sable", "Player"},
    {7, "Minna", "Player"},
    {8, "Mirra", "Player"},
    {9, "Cobalt", "Player"},
}};

const Family* FindFamily(int code) {
  for (const auto& f : kFamilies) {
    if (f.code == code) return &f;
  }
  return nullptr;
}

std::string Base(const char* suffix) { return std::string(kBaseWord) + suffix; }
std::string Edition(const char* suffix) { return std::string(kEditionPrefix) + suffix; }

std::vector<ModuleRow> BuildModuleTable() {
  // Names must outlive the rows: keep them in a static store.
  static std::vector<std::string> names;
  struct Entry { std::string name; char group; int cls; int index; int dev; int sto; bool startupOnly; int variant; };
  const std::vector<Entry> entries = {
      // Group A: load without connecting.
      {Base(""), 'A', 0x40, 0, -1, -1, false, 1},
      {"halvrin", 'A', -1, 0, -1, -1, false, 2},
      {"istrel", 'A', -1, 0, -1, -1, false, 5},
      {"jorvane", 'A', -1, 0, -1, -1, false, 7},
      {"kelpra", 'A', -1, 0, -1, -1, false, 8},
      {"lunmire", 'A', -1, 0, -1, -1, false, 4},
      {kLauncherWord, 'A', -1, 0, -1, -1, false, 1},
      // Group B, in the order start-up tests them.
      {Base("ii"), 'B', 0x4A, 1, -1, -1, false, 3},
      {Edition("tamsb"), 'B', 0x60, 6, -1, -1, false, 6},
      {Edition("tamrt"), 'B', 0x61, 6, 1, -1, false, 6},
      {Edition("tamcb"), 'B', 0x62, 9, 1, -1, false, 9},
      {Edition("tamca"), 'B', 0x63, 9, 2, -1, false, 9},
      {Edition("tamnr"), 'B', 0x64, 9, 3, -1, false, 9},
      {Edition("tameg"), 'B', 0x65, 9, 4, -1, false, 9},
      {Edition("tamkm"), 'B', 0x66, 9, 5, -1, false, 9},
      {"marrowin", 'B', 0x90, 4, 0, 0, false, 9},
      {"nestra", 'B', 0x20, 10, 0, 0, false, 9},
      {"orvik", 'B', 0x10, 12, 0, 0, false, 9},
      {"pelagrin", 'B', 0x31, 0, 5, 0, false, 4},
      {Base("j1"), 'B', 0x4B, -1, 1, 1, false, 1},
      {"ml_" + Base("j1"), 'B', -1, -1, 1, 1, true, 1},
      {Base("j2"), 'B', 0x4D, 0, 2, 1, false, 1},
      {"ml_" + Base("j2"), 'B', -1, 0, 2, 1, true, 1},
      {Base("j3"), 'B', 0x4E, 0, 3, 1, false, 1},
      {"ml_" + Base("j3"), 'B', -1, 0, 3, 1, true, 1},
      {Base("jz"), 'B', 0x4F, 0, 4, 1, false, 1},
      {"ml_" + Base("jz"), 'B', -1, 0, 4, 1, true, 1},
      {Base("cr"), 'B', 0x4C, 3, 0, 1, false, 2},
      {Base("mv"), 'B', 0x51, 5, 0, 1, false, 5},
      {Base("mn"), 'B', 0x52, 8, 0, 1, false, 7},
      {Base("m2"), 'B', 0x53, 11, 0, 1, false, 8},
  };
  names.clear();
  names.reserve(entries.size());
  std::vector<ModuleRow> rows;
  for (const auto& s : entries) {
    names.push_back(s.name);
    rows.push_back(ModuleRow{nullptr, s.group, s.cls, s.index, s.dev, s.sto, s.startupOnly, s.variant});
  }
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i].name = names[i].c_str();
  return rows;
}

int VariantForName(std::string_view module) {
  if (module == kManagerExe) return 1;  // the manager hosts the jukebox family
  if (const ModuleRow* row = FindModuleRow(module)) return row->variantCode;
  for (const auto& l : LauncherTable()) {
    if (module == LauncherName(l)) return l.variantCode;
  }
  return 0;
}

}  // namespace

extern "C" const char tovarin_version_block[];
// Pulls the version block into every module that uses the identity. Only the reference
// from this object makes the linker take the block's object out of the archive, so the
// compiler must keep it although nothing reads it: "used" (clang drops an unread static,
// volatile or not, and the block with it).
[[gnu::used]] static const void* const g_versionBlockUse = tovarin_version_block;

std::string ModulePath() {
  // Find the loaded object whose segments hold this code: the main program has no name
  // there and is read from /proc/self/exe.
  struct Search {
    std::uintptr_t address;
    std::string name;
    bool found = false;
  } search{reinterpret_cast<std::uintptr_t>(&VariantForName), {}};
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) -> int {
        auto* s = static_cast<Search*>(data);
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const auto& ph = info->dlpi_phdr[i];
          if (ph.p_type != PT_LOAD) continue;
          const std::uintptr_t begin = info->dlpi_addr + ph.p_vaddr;
          if (s->address >= begin && s->address < begin + ph.p_memsz) {
            s->name = info->dlpi_name ? info->dlpi_name : "";
            s->found = true;
            return 1;
          }
        }
        return 0;
      },
      &search);
  if (search.found && !search.name.empty()) return search.name;
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string ModuleBaseName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  // Lower case first: a copy named "OMBRIXJ1.SO" ends in ".so" as well.
  const std::string lowered = platform::ToLowerAscii(slash == std::string_view::npos ? path : path.substr(slash + 1));
  std::string_view name = lowered;
  // A final ".so" or ".so.N" (N digits and dots) is not part of the name.
  const std::size_t so = name.rfind(".so");
  if (so != std::string_view::npos && so > 0) {
    std::string_view rest = name.substr(so + 3);
    bool versionTail = rest.empty() || rest[0] == '.';
    for (char c : rest) versionTail = versionTail && (c == '.' || (c >= '0' && c <= '9'));
    if (versionTail && (rest.empty() || rest.size() > 1)) name = name.substr(0, so);
  }
  return std::string(name);
}

const std::vector<ModuleRow>& ModuleTable() {
  static const std::vector<ModuleRow> table = BuildModuleTable();
  return table;
}

const ModuleRow* FindModuleRow(std::string_view moduleName) {
  for (const auto& row : ModuleTable()) {
    if (moduleName == row.name) return &row;
  }
  return nullptr;
}

int ClassByteForModule(std::string_view moduleName) {
  if (moduleName == "ml_" + Base("")) return 0x4E;  // serves a class, yet start-up rejects it
  const ModuleRow* row = FindModuleRow(moduleName);
  return row == nullptr ? -1 : row->classByte;
}

std::string ClassIdText(int classByte) {
  static const char* hex = "0123456789ABCDEF";
  std::string text = "{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D1";
  text += hex[(classByte >> 4) & 0xF];
  text += hex[classByte & 0xF];
  text += "}";
  return text;
}

const std::vector<LauncherRow>& LauncherTable() {
  // Rows are tried in this order; no family code is a prefix of another, so a name
  // found in a command line selects exactly one row.
  static const std::vector<LauncherRow> table = {
      {"ia", 1, 0, 0, false, 0, 3},  {"ib", 1, 0, 0, false, 1, 3},
      {"j1", -1, 1, -1, false, 0, 1}, {"j2", 0, 2, 1, false, 0, 1},
      {"j3", 0, 3, 1, false, 0, 1},  {"jz", 0, 4, 1, false, 0, 1},
      {"cr", 3, 0, 1, false, 0, 2},  {"mv", 5, 0, 1, false, 0, 5},
      {"mn", 8, 0, 1, false, 0, 7},  {"m2", 11, 0, 1, false, 0, 8},
      {"sa", 6, 0, 0, true, 0, 6},   {"sb", 6, 0, 0, true, 1, 6},
      {"rt", 6, 1, 0, true, 0, 6},   {"cb", 9, 1, 0, true, 0, 9},
      {"cc", 9, 1, 0, true, 1, 9},   {"ca", 9, 2, 0, true, 0, 9},
      {"cd", 9, 2, 0, true, 1, 9},   {"nr", 9, 3, 0, true, 0, 9},
      {"eg", 9, 4, 0, true, 0, 9},   {"km", 9, 5, 0, true, 0, 9},
      {"e1", 4, 0, 0, true, 1, 9},   {"e2", 10, 0, 0, true, 1, 9},
      {"e3", 12, 0, 0, true, 1, 9},  {"e4", 0, 5, 0, true, 1, 4},
  };
  return table;
}

std::string LauncherName(const LauncherRow& row) { return std::string(kLauncherWord) + row.familyCode; }

void ProductIdentity::InitFromModule() { InitFromPath(ModulePath()); }

void ProductIdentity::InitFromPath(std::string_view path) {
  *this = ProductIdentity();
  moduleName = ModuleBaseName(path);
  const Family* family = FindFamily(VariantForName(moduleName));
  if (family == nullptr) return;  // misnamed: the caller reports it

  const std::string code = std::to_string(family->code);
  variantCode = family->code;
  managerExeName = kManagerExe;
  productName = std::string("Ombrix ") + family->productWord;
  managerName = "Kestrova Manager";
  webServerName = "Pallidor";
  fillFeatureName = "Ferrowin";
  suiteName = "Ombrix Suite";
  makerKey = kMakerKey;
  settingsKey = makerKey + "\\" + productName;
  sharedSettingsKey = makerKey + "\\Shared";
  windowClassName = "KDPWNC" + code;
  mappingName = "KDPMAP" + code;
  ackSemaphoreName = "KDPSEMPRE" + code;
  doneSemaphoreName = "KDPSEMCMP" + code;
  extendedSemaphoreName = "KDPSEMEXT" + code;
  transferSemaphoreName = "TVSEM";
  skinExtension = ".osk";
  deviceWord = family->deviceWord;
  iconId = static_cast<std::uint16_t>(100 + family->code);
}
