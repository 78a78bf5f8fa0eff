// The queue commands, the change notices of the folder tree and the deletion of folder
// trees, run through the folder's context menu as the view and the menus run them.
#include <gtest/gtest.h>

#include "common/shell_utilities.h"
#include "platform/shell/change_notify.h"
#include "platform/window/wait.h"
#include "shellext/queue_commands.h"
#include "testing/shell_view.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;

const bool kIsolated = platform::testing::IsolateNamespace();

// Counts the refreshes that reach a folder view inside an Explorer window.
class RefreshCounter {
 public:
  RefreshCounter() {
    platform::RegisterClass(kExplorerClass);
    platform::RegisterClass(kFolderViewClass);
    explorer_ = platform::CreateWindow(kExplorerClass);
    view_ = platform::CreateWindow(kFolderViewClass, explorer_,
                                   [this](platform::HWND, platform::UINT m, platform::WPARAM, platform::LPARAM l) {
                                     if (m == WM_VIEWCOMMAND && l == 3005) ++count_;
                                     return platform::LRESULT{0};
                                   });
  }
  ~RefreshCounter() {
    platform::DestroyWindow(view_);
    platform::DestroyWindow(explorer_);
  }
  int Count() {
    platform::MSG msg;
    while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) platform::DispatchMessage(&msg);
    return count_;
  }

 private:
  platform::HWND explorer_ = 0;
  platform::HWND view_ = 0;
  int count_ = 0;
};

class QueueCommandsTest : public ViewTest {
 protected:
  // Runs a command of the root folder's context menu with no items.
  void Invoke(int command) {
    platform::ComPtr<platform::IShellFolder> root =
        platform::ComPtr<platform::IShellFolder>::Attach(new CShellFolder(nullptr, nullptr));
    platform::ComPtr<platform::IContextMenu> menu;
    ASSERT_EQ(root->GetUIObjectOf(0, 0, nullptr, platform::IID_IContextMenu, nullptr, menu.PutVoid()), platform::S_OK);
    platform::CMINVOKECOMMANDINFO info;
    info.lpVerb = platform::VerbFromOffset(static_cast<platform::UINT>(command));
    EXPECT_EQ(menu->InvokeCommand(&info), platform::S_OK);
  }
};

TEST_F(QueueCommandsTest, ClearAndShuffleChangeThePlayersQueueAndRefreshTheViews) {
  for (const KernelId& t : {catalogue_.harbour, catalogue_.longRoad, catalogue_.opening, catalogue_.mirror}) {
    device_.EnqueueTrack(t);
  }
  RefreshCounter views;
  Invoke(3019);  // Shuffle Queue
  EXPECT_EQ(device_.GetQueue().size(), 4u);
  EXPECT_EQ(views.Count(), 1);
  EXPECT_GT(host_.WaitCursorShows(), 0);
  Invoke(3060);  // Clear Queue
  EXPECT_TRUE(device_.GetQueue().empty());
  EXPECT_EQ(views.Count(), 2);
}

TEST_F(QueueCommandsTest, AFailedQueueCommandIsReportedAndRefreshesNothing) {
  device_.EnqueueTrack(catalogue_.harbour);
  RefreshCounter views;
  struct Case {
    int command;
    DeviceOp op;
    const char* message;
  };
  for (const Case& c : {Case{3060, DeviceOp::ClearQueue, "Could not clear the active queue."},
                        Case{3019, DeviceOp::ShuffleQueue, "Could not shuffle the active queue."}}) {
    device_.FailWithError(c.op, platform::E_FAIL, "Memory Device", "The operation failed.", 1);
    host_.ExpectMessageBox(platform::IDOK, c.message);
    Invoke(c.command);
  }
  EXPECT_EQ(device_.GetQueue().size(), 1u);
  EXPECT_EQ(views.Count(), 0);
}

TEST_F(QueueCommandsTest, CommandsWithoutAHandlerYetSaySoAndSelectionCommandsNeedItems) {
  host_.ExpectMessageBox(platform::IDOK, "No items were selected.");
  Invoke(3035);
}

// "Rebuild Left Pane Tree" sends a removal and a creation notice for each fixed folder
// that has been listed, and skips the others without a word.
TEST_F(QueueCommandsTest, RebuildingTheTreeSkipsFoldersNeverListed) {
  device_.SetCapability(DeviceOp::SupportsTagIndex, 0);  // no artists, albums or genres
  Items(nullptr);  // the root's listing records the fixed folders it holds
  platform::RegisterClass("Notice Sink");
  std::vector<platform::LONG> events;
  const platform::UINT kNotice = platform::WM_APP + 7;
  const platform::HWND sink =
      platform::CreateWindow("Notice Sink", 0, [&](platform::HWND, platform::UINT m, platform::WPARAM, platform::LPARAM l) {
        platform::ChangeNotice notice;
        if (m == kNotice && platform::ReadChangeNotice(l, &notice)) events.push_back(notice.event);
        return platform::LRESULT{0};
      });
  ASSERT_NE(platform::SHChangeNotifyRegister(sink, platform::SHCNE_ALLEVENTS, kNotice), 0u);
  Invoke(3024);
  const auto start = std::chrono::steady_clock::now();
  while (events.size() < 4 && platform::testing::ElapsedMs(start) < 5000) platform::PumpMessages(1);
  EXPECT_EQ(events, (std::vector<platform::LONG>{platform::SHCNE_RMDIR, platform::SHCNE_MKDIR, platform::SHCNE_RMDIR,
                                                 platform::SHCNE_MKDIR}));
  EXPECT_TRUE(host_.prompts().empty());
  platform::DestroyWindow(sink);
}

// A player that writes down which items it names and deletes.
class RecordingDevice : public MemoryDeviceBase {
 public:
  std::vector<std::string> log;
  std::string GetDataItemName(const KernelId& item) override {
    log.push_back("name " + MemoryDeviceBase::GetDataItemName(item));
    return MemoryDeviceBase::GetDataItemName(item);
  }
  int DeleteDataFile(const KernelId& item) override {
    log.push_back("delete " + MemoryDeviceBase::GetDataItemName(item));
    return MemoryDeviceBase::DeleteDataFile(item);
  }
  int DeleteDataFolder(const KernelId& item) override {
    log.push_back("remove " + MemoryDeviceBase::GetDataItemName(item));
    return MemoryDeviceBase::DeleteDataFolder(item);
  }
};

TEST_F(QueueCommandsTest, AFolderTreeGoesDeepestFirstWithOneStepPerEntry) {
  RecordingDevice device;
  Use(device);
  const KernelId top = device.AddDataFolder(KernelId(), "Top");
  const KernelId sub = device.AddDataFolder(top, "Sub");
  device.AddDataFile(sub, "one.txt", "1");
  device.AddDataFile(sub, "two.txt", "2");
  const KernelId empty = device.AddDataFolder(KernelId(), "Empty");

  CDeleteDialog progress;
  progress.Start("Deleting", 20);
  DeleteDataFolderTree(top, progress);
  EXPECT_EQ(progress.progress->GetPos(), 3);  // the sub-folder and its two files
  EXPECT_EQ(progress.text->GetText(), "two.txt");
  EXPECT_EQ(device.log, (std::vector<std::string>{"name one.txt", "delete one.txt", "name two.txt", "delete two.txt",
                                                  "remove Sub", "remove Top"}));
  EXPECT_EQ(static_cast<KernelDevice&>(device).IsDataFolder(top), 0);

  device.log.clear();
  progress.progress->SetPos(0);
  DeleteDataFolderTree(empty, progress);
  EXPECT_EQ(progress.progress->GetPos(), 0);
  EXPECT_EQ(device.log, (std::vector<std::string>{"remove Empty"}));

  // A device error stops where it is: what went stays gone, the folder stays.
  Use(device_);
  const KernelId kept = device_.AddDataFolder(KernelId(), "Kept");
  const KernelId first = device_.AddDataFile(kept, "a.txt");
  device_.AddDataFile(kept, "b.txt");
  device_.FailWithError(DeviceOp::DeleteDataFile, platform::E_FAIL, "Memory Device", "Locked.", 1);
  EXPECT_THROW(DeleteDataFolderTree(kept, progress), std::exception);
  EXPECT_EQ(device_.IsDataFolder(kept), 1);
  EXPECT_EQ(device_.GetDataItemName(first), "a.txt");  // the failed one stays
  progress.Close();
}

TEST_F(QueueCommandsTest, NotesAndContactsTreesUseTheirOwnOperations) {
  const KernelId notes = device_.AddNoteFolder(KernelId(), "Ideas");
  device_.AddNote(notes, "First");
  device_.AddNote(device_.AddNoteFolder(notes, "Older"), "Second");
  const KernelId people = device_.AddContactFolder(KernelId(), "People");
  device_.AddContact(people, "Ann");
  CDeleteDialog progress;
  progress.Start("Deleting", 20);
  DeleteNoteFolderTree(notes, progress);
  EXPECT_EQ(progress.progress->GetPos(), 3);
  EXPECT_EQ(device_.IsNoteFolder(notes), 0);
  DeleteContactFolderTree(people, progress);
  EXPECT_EQ(progress.progress->GetPos(), 4);
  EXPECT_EQ(device_.IsContactFolder(people), 0);
  progress.Close();
}

}  // namespace
}  // namespace shellexttest
