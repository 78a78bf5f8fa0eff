// The product identity: the record of names and keys that a program or the library fills
// once from its own file name. One build serves several product variants; the file name
// under which a copy runs (tovarin.so installed as "ombrixj1.so", the launcher as
// "tovarinj1", the manager as "trayhub") selects the variant, and the variant names the
// settings key, the kernel objects of the request road, the captions and the skin type.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ProductIdentity {
  // Words in their order; 0 and 19 are numbers, the rest texts.
  int variantCode = 0;                 // 0  product family; 0 = not recognised
  std::string moduleName;              // 1  file base name, lower case, no folder or ".so"
  std::string managerExeName;          // 2  the manager's executable
  std::string productName;             // 3  captions, work-folder name
  std::string managerName;             // 4  the manager program's name
  std::string webServerName;           // 5
  std::string fillFeatureName;         // 6
  std::string suiteName;               // 7
  std::string settingsKey;             // 8  under HKEY_CURRENT_USER
  std::string sharedSettingsKey;       // 9  under HKEY_CURRENT_USER
  std::string makerKey;                // 10 parent of both keys
  std::string windowClassName;         // 11 the manager's main window class
  std::string mappingName;             // 12 the shared request block
  std::string ackSemaphoreName;        // 13 request taken
  std::string doneSemaphoreName;       // 14 call complete
  std::string extendedSemaphoreName;   // 15 extended wait
  std::string transferSemaphoreName;   // 16 one transfer at a time
  std::string skinExtension;           // 17 zipped web skins
  std::string deviceWord;              // 18 the player as pages and menus call it
  std::uint16_t iconId = 0;            // 19
  std::string makerName = "Quorvane";  // 20

  // Fills every word from the path of the module holding this code: the shared library
  // it is linked into (dladdr), else the program (/proc/self/exe).
  void InitFromModule();
  // Fills every word from a given file path (POSIX or Windows form).
  void InitFromPath(std::string_view path);
};

// POSIX path of the module holding this code: the shared library it is linked into, else
// the program.
std::string ModulePath();

// The process's one identity, empty until a start-up routine fills it.
extern ProductIdentity g_ProductIdentity;

// File base name as the variant table compares it: no folder, lower case, without a final
// ".so" or ".so.N".
std::string ModuleBaseName(std::string_view path);

// One row of the library's module table: which file names a copy of the library may run
// under, whether it connects to the manager at start-up and with what.
struct ModuleRow {
  const char* name;       // file base name
  // deviceIndex -1 marks the one row whose index and storage follow JB_UseCLDriver
  // (non-zero or absent: index 0, storage kind 1; zero: index 1, storage zero).
  char group;             // 'A' loads without connecting, 'B' connects at start-up
  int classByte;          // last byte of the class id served, -1 for none
  int deviceIndex;        // group B: index handed to the connection
  int deviceKind;         // kind of the device id, -1 for an all-zero id
  int storageKind;        // kind of the storage id, -1 for an all-zero id
  bool startupOnly;       // accepted at start-up, serves no class ("ml_" copies)
  int variantCode;        // the product family the name selects
};
const std::vector<ModuleRow>& ModuleTable();
const ModuleRow* FindModuleRow(std::string_view moduleName);
// The class byte served for a module name: the table's class column plus the one name
// that serves a class without being accepted at start-up; -1 for none.
int ClassByteForModule(std::string_view moduleName);
// "{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D1xx}" for a class byte.
std::string ClassIdText(int classByte);

// One row of the launcher table: "tovarin" + family code selects the player family.
struct LauncherRow {
  const char* familyCode;
  int driverKind;         // -1: 1, or 0 when JB_UseCLDriver is non-zero
  std::uint32_t device;   // word 0 of the device id
  std::int32_t storage;   // word 0 of the storage id; -1: 0, or 1 when JB_UseCLDriver is non-zero
  bool connectAtOnce;
  std::uint32_t segment;  // word 0 of the transfer target
  int variantCode;        // the product family the launcher's name selects
};
const std::vector<LauncherRow>& LauncherTable();
std::string LauncherName(const LauncherRow& row);  // "tovarin" + family code
