// Test support for the folder view: the library's folders on the in-memory player, shown
// in shellhost's frame (the host side of the browser interface) in this process, with the
// scripted host answering message boxes and menus.
#pragma once

#include <memory>

#include "hosts/shell_frame.h"
#include "testing/processes.h"
#include "platform/ui/scripted_host.h"
#include "shellext/shell_folder.h"
#include "shellext/shell_view.h"
#include "testing/shellext.h"

namespace shellexttest {

// The list a file manager keeps for the namespace's place in its tree (a class-id item).
inline platform::LPITEMIDLIST HostRootList() {
  std::uint8_t bytes[2 + 2 + 16 + 2] = {20, 0, 0x1F, 0x50, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  return platform::ItemIdListFromBytes(bytes, sizeof bytes);
}

class ViewTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    shellext::ForgetFixedFolderListsForTesting();
    catalogue_ = Seed(device_);
    Use(device_);
  }
  void TearDown() override {
    frame_.reset();
    LibraryTest::TearDown();
  }

  // The frame around the namespace root (made on first use).
  shellhost::ShellFrame& Frame() {
    if (!frame_) {
      auto root = platform::ComPtr<platform::IShellFolder>::Attach(new shellext::CShellFolder(nullptr, nullptr));
      platform::LPITEMIDLIST rootList = HostRootList();
      {
        platform::ComPtr<platform::IPersistFolder> persist;
        root.As(persist);
        persist->Initialize(rootList);
      }
      frame_ = std::make_unique<shellhost::ShellFrame>(root, rootList, g_ProductIdentity.productName);
      platform::FreeItemIdList(rootList);
      EXPECT_TRUE(frame_->Create());
    }
    return *frame_;
  }
  // Shows a folder by its path of names and answers its view.
  shellext::CShellView& Open(const std::string& path) {
    std::string error;
    EXPECT_TRUE(Frame().Open(path, error)) << path << ": " << error;
    return View();
  }
  shellext::CShellView& View() { return *static_cast<shellext::CShellView*>(Frame().ActiveView()); }
  platform::ListViewControl& List() { return *View().List(); }

  std::vector<std::string> Titles() {
    std::vector<std::string> titles;
    for (int c : List().GetColumnOrderArray()) titles.push_back(List().GetColumn(c).title);
    return titles;
  }
  // A row's texts in display order.
  std::vector<std::string> RowTexts(int row) {
    std::vector<std::string> texts;
    for (int c : List().GetColumnOrderArray()) texts.push_back(List().GetItemText(row, c));
    return texts;
  }
  std::vector<std::string> ColumnTexts(int listColumn) {
    std::vector<std::string> texts;
    for (int row = 0; row < List().GetItemCount(); ++row) texts.push_back(List().GetItemText(row, listColumn));
    return texts;
  }
  // The list column of a title; -1 when it is not shown.
  int ColumnOf(const std::string& title) {
    for (int c = 0; c < List().GetColumnCount(); ++c) {
      if (List().GetColumn(c).title == title) return c;
    }
    return -1;
  }
  int RowOf(const std::string& name) {
    for (int row = 0; row < List().GetItemCount(); ++row) {
      if (List().GetItemText(row, 0) == name) return row;
    }
    return -1;
  }
  std::string Status(int part) { return Frame().StatusBar().GetPartText(part); }

  platform::ScriptedHost host_;
  device::MemoryDevice device_;
  Catalogue catalogue_;
  std::unique_ptr<shellhost::ShellFrame> frame_;
};

}  // namespace shellexttest
