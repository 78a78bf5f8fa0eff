// The fill dialog on its real roads: names expanded as a transfer expands them, and
// Transfer to Device sending each planned file into its segment through the engine's
// window, one transfer at a time.
#include "tools/ferrowin_routes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/identity.h"
#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "platform/kernel/kernel.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "transfer/log_file.h"
#include "transfer/send_to.h"

using namespace device;

namespace tools {
namespace {

using D = FerrowinDialog;

const bool kIsolated = platform::testing::IsolateNamespace();

// The in-memory player, keeping the segment that was current when each file arrived.
class Player : public MemoryDeviceBase {
 public:
  std::vector<std::pair<std::uint32_t, std::string>> sent;  // segment, file name

  int SelectStorage(const KernelId& storage) override {
    segment_ = storage.word[0];
    return MemoryDeviceBase::SelectStorage(storage);
  }
  int UploadTrack(std::string_view path, const TrackRecord& record, KernelId& id) override {
    Keep(path);
    return MemoryDeviceBase::UploadTrack(path, record, id);
  }
  int UploadDataFile(std::string_view path, const KernelId& folder, KernelId& id) override {
    Keep(path);
    return MemoryDeviceBase::UploadDataFile(path, folder, id);
  }

 private:
  void Keep(std::string_view path) {
    sent.emplace_back(segment_, std::string(path.substr(path.find_last_of("/\\") + 1)));
  }
  std::uint32_t segment_ = 0;
};

class FerrowinRoutesTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    g_ProductIdentity.InitFromPath("/opt/tovarin/ombrixj1.so");
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    key_->SetDword("Gen_Tx_AutoCloseDialog", 1);
    player_.SetCapability(DeviceOp::SupportsStorageList, 1);
    internal_ = player_.AddStorage("Internal", 2122, 2122);  // 2,048 KB usable
    card_ = player_.AddStorage("Card", 10000, 10000);
    album_ = root_ + "/music/album";
    std::filesystem::create_directories(album_);
    for (const auto& [name, kb] : {std::pair<const char*, int>{"1 Low Tide.mp3", 1500}, {"2 Fog Bell.mp3", 1000},
                                   {"3 Pulse.mp3", 1000}, {"cover.jpg", 10}}) {
      // The tracks are a run of MP3 frames (128 kbit/s, 417 bytes each), so that their
      // reader finds audio.
      const auto bytes = static_cast<std::size_t>(kb) * 1024;
      std::string content;
      if (std::string_view(name).ends_with(".mp3")) {
        const std::string frame = std::string("\xFF\xFB\x90\x64", 4) + std::string(413, '\0');
        while (content.size() < bytes) content += frame;
      }
      content.resize(bytes);
      std::ofstream(album_ + "/" + name, std::ios::binary) << content;
    }
  }

  // The dialog on the real roads; the album folder dropped on it, then the script.
  void RunWithAlbum(const std::function<void(platform::DialogDriver&, D&)>& script) {
    D dlg(player_, &images_, TransferRoutes(player_, nullptr));
    host_.ExpectDialog(D::kTemplateId, [&](platform::DialogDriver& d) {
      d.window().UserDropFiles({album_});
      script(d, dlg);
      if (!d.Ended()) d.Close();
    });
    dlg.DoModal();
    EXPECT_EQ(host_.pendingAnswers(), 0u);
  }

  static std::string ReadReport(const char* name) {
    std::ifstream in(platform::ToPosixPath(transfer::GetReportPath(name)), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::optional<platform::SettingsKey> key_;
  platform::ScriptedHost host_;
  Player player_;
  platform::ImageList images_{16, 16};
  KernelId internal_, card_;
  std::string album_;
};

TEST_F(FerrowinRoutesTest, ADroppedFolderIsExpandedSortedWithItsLogs) {
  RunWithAlbum([&](platform::DialogDriver&, D& dlg) {
    std::vector<std::string> names;
    for (const std::string& f : dlg.Files()) names.push_back(f.substr(f.find_last_of('\\') + 1));
    EXPECT_EQ(names, (std::vector<std::string>{"1 Low Tide.mp3", "2 Fog Bell.mp3", "3 Pulse.mp3", "cover.jpg"}));
    EXPECT_EQ(dlg.FileSegments(), (std::vector<int>{0, 1, 1, 1}));
  });
  EXPECT_NE(ReadReport("_exlog.txt").find("4 files added to filelist."), std::string::npos);
  EXPECT_NE(ReadReport("_explist.txt").find("cover.jpg"), std::string::npos);
  EXPECT_TRUE(player_.sent.empty());
}

TEST_F(FerrowinRoutesTest, TransferToDeviceSendsEachPlannedFileIntoItsSegment) {
  RunWithAlbum([&](platform::DialogDriver& d, D&) { d.Click(D::kTransferId); });
  const std::vector<std::pair<std::uint32_t, std::string>> expected = {{internal_.word[0], "1 Low Tide.mp3"},
                                                                      {card_.word[0], "2 Fog Bell.mp3"},
                                                                      {card_.word[0], "3 Pulse.mp3"},
                                                                      {card_.word[0], "cover.jpg"}};
  EXPECT_EQ(player_.sent, expected);
  const std::string log = ReadReport("_txlog.txt");
  EXPECT_NE(log.find("memory segment " + std::to_string(internal_.word[0]) + "."), std::string::npos) << log;
  EXPECT_NE(log.find("memory segment " + std::to_string(card_.word[0]) + "."), std::string::npos) << log;
}

TEST_F(FerrowinRoutesTest, NothingIsSentWhileAnotherTransferRuns) {
  platform::NamedLock other(transfer::TransferLockName());
  ASSERT_TRUE(other.Lock(0));
  RunWithAlbum([&](platform::DialogDriver& d, D&) {
    host_.ExpectNextMessageBox(platform::IDOK, "Another transfer is already in progress.");
    d.Click(D::kTransferId);
  });
  EXPECT_TRUE(player_.sent.empty());
  other.Unlock();
  RunWithAlbum([&](platform::DialogDriver& d, D&) { d.Click(D::kTransferId); });
  EXPECT_EQ(player_.sent.size(), 4u);
}

}  // namespace
}  // namespace tools
