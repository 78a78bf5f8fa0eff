#include "platform/shell/change_notify.h"

#include <gtest/gtest.h>

#include <thread>

#include "testing/processes.h"
#include "platform/shell/item_id_list.h"

namespace platform {
namespace {

const bool kIsolated = testing::IsolateNamespace();

constexpr UINT kNoticeMessage = WM_USER + 77;

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> b) { return b; }

class ChangeNotifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterClass("ChangeNotifyTest");
    window_ = CreateWindow("ChangeNotifyTest", 0, [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
      if (m == kNoticeMessage) {
        ChangeNotice notice;
        if (ReadChangeNotice(l, &notice) && notice.event == static_cast<LONG>(w)) received_.push_back(notice);
      }
      return DefWindowProc(h, m, w, l);
    });
    ASSERT_NE(window_, 0u);
  }
  void TearDown() override {
    SHChangeNotifyDeregister(window_);
    DestroyWindow(window_);
    UnregisterClass("ChangeNotifyTest");
  }
  void Pump() {
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
  }

  HWND window_ = 0;
  std::vector<ChangeNotice> received_;
};

TEST_F(ChangeNotifyTest, ARegisteredWindowGetsTheNoticesOfItsEventsWithTheirLists) {
  ASSERT_NE(SHChangeNotifyRegister(window_, SHCNE_UPDATEDIR | SHCNE_UPDATEITEM, kNoticeMessage), 0u);
  const auto folder = Bytes({4, 0, 'a', 'b', 2, 0, 0, 0});
  LPITEMIDLIST list = ItemIdListFromBytes(folder.data(), folder.size());
  std::thread([&] { SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, list, nullptr); }).join();
  SHChangeNotify(SHCNE_DELETE, SHCNF_IDLIST, list, nullptr);  // not registered for
  Pump();
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0].event, SHCNE_UPDATEDIR);
  EXPECT_EQ(received_[0].item1, folder);
  EXPECT_TRUE(received_[0].item2.empty());

  // Deregistered: nothing more arrives.
  EXPECT_TRUE(SHChangeNotifyDeregister(window_));
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, list, nullptr);
  Pump();
  EXPECT_EQ(received_.size(), 1u);
  FreeItemIdList(list);
}

TEST_F(ChangeNotifyTest, AWindowThatIsGoneIsForgotten) {
  RegisterClass("ChangeNotifyGone");
  HWND gone = CreateWindow("ChangeNotifyGone");
  ASSERT_NE(SHChangeNotifyRegister(gone, SHCNE_ALLEVENTS, kNoticeMessage), 0u);
  DestroyWindow(gone);
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, nullptr, nullptr);
  EXPECT_FALSE(SHChangeNotifyDeregister(gone));  // already dropped by the notice
  EXPECT_EQ(SHChangeNotifyRegister(gone, SHCNE_ALLEVENTS, kNoticeMessage), 0u);
  UnregisterClass("ChangeNotifyGone");
}

TEST(ChangeNoticeFormatTest, StoredNoticesRoundTripAndDamagedOnesAreRefused) {
  ChangeNotice notice;
  notice.event = SHCNE_RENAMEITEM;
  notice.item1 = {3, 0, 'x', 0, 0};
  notice.item2 = {2, 0, 0, 0};
  const auto bytes = SerializeChangeNotice(notice);
  ChangeNotice back;
  ASSERT_TRUE(ParseChangeNotice(bytes.data(), bytes.size(), &back));
  EXPECT_EQ(back.event, notice.event);
  EXPECT_EQ(back.item1, notice.item1);
  EXPECT_EQ(back.item2, notice.item2);

  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    EXPECT_FALSE(ParseChangeNotice(bytes.data(), cut, &back)) << cut;
  }
  auto extra = bytes;
  extra.push_back(0);
  EXPECT_FALSE(ParseChangeNotice(extra.data(), extra.size(), &back));
  auto badList = bytes;
  badList[12] = 9;  // the first list's item claims more than the list holds
  EXPECT_FALSE(ParseChangeNotice(badList.data(), badList.size(), &back));
}

}  // namespace
}  // namespace platform
