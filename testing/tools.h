// Test support for the library's tools: a settings store and application data folder of
// the test's own, the scripted host, the SQL engine behind the device's queries, and a
// small catalogue on the in-memory player.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "sql/query_engine.h"

namespace toolstest {

// Four artists' tracks: lengths and sizes chosen so that the caps cut where a test says.
struct Tracks {
  device::KernelId harbour, longRoad, opening, mirror, neon;
};

inline Tracks SeedTracks(device::MemoryDeviceBase& device) {
  Tracks t;
  t.harbour = device.AddTrack({.artist = "Ada Lind", .album = "North Light", .title = "Harbour", .genre = "Folk",
                               .number = 1, .year = 2004, .length = 40, .fileSize = 600 * 1024});
  t.longRoad = device.AddTrack({.artist = "Ada Lind", .album = "North Light", .title = "Long Road", .genre = "Folk",
                                .number = 2, .year = 2004, .length = 20, .fileSize = 400 * 1024});
  t.opening = device.AddTrack({.artist = "Brass Fold", .album = "Metal Hours", .title = "Opening", .genre = "Jazz",
                               .number = 1, .year = 1998, .length = 61, .fileSize = 1048576});
  t.mirror = device.AddTrack({.artist = "Cyra", .album = "Glass Rooms", .title = "Mirror's Edge", .genre = "R&B",
                              .number = 7, .year = 2011, .length = 150, .fileSize = 3000000});
  t.neon = device.AddTrack({.artist = "The Glass Ferns", .album = "Afterglow", .title = "Neon Rain",
                            .genre = "Electronic", .number = 1, .year = 2019, .length = 200, .fileSize = 4000000});
  return t;
}

class ToolsTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    sql::RegisterSqlEngine();
    g_ProductIdentity.InitFromPath("/opt/tovarin/ombrixj1.so");
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    std::filesystem::create_directories(root_ + "/appdata");
    key_->SetString("Gen_AppDataDir", platform::FromPosixPath(root_ + "/appdata"));
  }
  platform::SettingsKey& Settings() { return *key_; }

  platform::ScriptedHost host_;
  std::optional<platform::SettingsKey> key_;
};

}  // namespace toolstest
