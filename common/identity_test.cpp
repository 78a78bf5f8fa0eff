#include "common/identity.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(ModuleBaseName, Table) {
  struct Case { const char* path; const char* name; };
  const Case cases[] = {
      {"/usr/lib/tovarin/ombrixj1.so", "ombrixj1"}, {"C:\\Program Files\\OmbrixJ1.so", "ombrixj1"},
      {"/x/libthing.so.1.2", "libthing"},           {"/usr/bin/trayhub", "trayhub"},
      {"tovarinJ1", "tovarinj1"},                    {"/x/ombrix.sox", "ombrix.sox"},
      {"/x/a.so.", "a.so."},                         {"", ""},
      {"/usr/lib/tovarin/OMBRIXJ1.SO", "ombrixj1"},  {"/x/LibThing.SO.2", "libthing"},
  };
  for (const auto& c : cases) EXPECT_EQ(ModuleBaseName(c.path), c.name) << c.path;
}

// Every variant's words follow from the variant code alone; check all of them for every
// file name the tables know.
TEST(ProductIdentity, EveryKnownNameFillsEveryWord) {
  std::vector<std::string> names = {"trayhub"};
  for (const auto& row : ModuleTable()) names.push_back(row.name);
  for (const auto& row : LauncherTable()) names.push_back(LauncherName(row));
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    ProductIdentity id;
    id.InitFromPath("/opt/tovarin/" + name + ".so");
    ASSERT_GT(id.variantCode, 0);
    const std::string code = std::to_string(id.variantCode);
    EXPECT_EQ(id.moduleName, name);
    EXPECT_EQ(id.managerExeName, "trayhub");
    EXPECT_EQ(id.productName.rfind("Ombrix ", 0), 0u);
    EXPECT_EQ(id.managerName, "Kestrova Manager");
    EXPECT_EQ(id.webServerName, "Pallidor");
    EXPECT_EQ(id.fillFeatureName, "Ferrowin");
    EXPECT_EQ(id.suiteName, "Ombrix Suite");
    EXPECT_EQ(id.makerKey, "Software\\Quorvane Software");
    EXPECT_EQ(id.settingsKey, "Software\\Quorvane Software\\" + id.productName);
    EXPECT_EQ(id.sharedSettingsKey, "Software\\Quorvane Software\\Shared");
    EXPECT_EQ(id.windowClassName, "KDPWNC" + code);
    EXPECT_EQ(id.mappingName, "KDPMAP" + code);
    EXPECT_EQ(id.ackSemaphoreName, "KDPSEMPRE" + code);
    EXPECT_EQ(id.doneSemaphoreName, "KDPSEMCMP" + code);
    EXPECT_EQ(id.extendedSemaphoreName, "KDPSEMEXT" + code);
    EXPECT_EQ(id.transferSemaphoreName, "TVSEM");
    EXPECT_EQ(id.skinExtension, ".osk");
    EXPECT_FALSE(id.deviceWord.empty());
    EXPECT_EQ(id.iconId, 100 + id.variantCode);
    EXPECT_EQ(id.makerName, "Quorvane");
  }
}

TEST(ProductIdentity, ManagerClientsAndLaunchersOfOneFamilyMeet) {
  ProductIdentity manager, library, launcher;
  manager.InitFromPath("/usr/bin/trayhub");
  library.InitFromPath("/usr/lib/ombrixj2.so");
  launcher.InitFromPath("/usr/bin/tovarinj1");
  EXPECT_EQ(manager.variantCode, 1);
  for (const ProductIdentity* id : {&library, &launcher}) {
    EXPECT_EQ(id->windowClassName, manager.windowClassName);
    EXPECT_EQ(id->mappingName, manager.mappingName);
    EXPECT_EQ(id->settingsKey, manager.settingsKey);
  }
  ProductIdentity other;
  other.InitFromPath("ombrixcr.so");
  EXPECT_NE(other.windowClassName, manager.windowClassName);
  EXPECT_NE(other.settingsKey, manager.settingsKey);
}

TEST(ProductIdentity, MisnamedModuleLeavesTheRecordEmpty) {
  for (const char* path : {"/usr/lib/notours.so", "/usr/lib/ml_ombrix.so", "ombrixj9"}) {
    ProductIdentity id;
    id.InitFromPath(path);
    EXPECT_EQ(id.variantCode, 0) << path;
    EXPECT_FALSE(id.moduleName.empty());
    EXPECT_TRUE(id.productName.empty());
    EXPECT_TRUE(id.settingsKey.empty());
    EXPECT_TRUE(id.windowClassName.empty());
    EXPECT_EQ(id.makerName, "Quorvane");
  }
}

TEST(ModuleTable, NamesAreDistinctAndClassesAsListed) {
  std::set<std::string> seen;
  for (const auto& row : ModuleTable()) EXPECT_TRUE(seen.insert(row.name).second) << row.name;
  struct Case { const char* name; int cls; };
  const Case cases[] = {{"ombrix", 0x40}, {"ombrixj1", 0x4B}, {"ombrixj2", 0x4D}, {"ml_ombrixj2", -1},
                        {"ml_ombrix", 0x4E}, {"tovarin", -1}, {"halvrin", -1}, {"pelagrin", 0x31},
                        {"nobody", -1}};
  for (const auto& c : cases) EXPECT_EQ(ClassByteForModule(c.name), c.cls) << c.name;
  EXPECT_EQ(FindModuleRow("ml_ombrix"), nullptr);  // start-up refuses it
  EXPECT_EQ(ClassIdText(0x4B), "{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D14B}");
}

TEST(LauncherTable, NoNameIsFoundInsideAnother) {
  const auto& rows = LauncherTable();
  ASSERT_EQ(rows.size(), 24u);
  for (const auto& a : rows) {
    for (const auto& b : rows) {
      if (&a == &b) continue;
      EXPECT_EQ(LauncherName(b).find(LauncherName(a)), std::string::npos) << LauncherName(a) << " in " << LauncherName(b);
    }
  }
}

}  // namespace
