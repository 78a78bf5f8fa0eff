// The view's drags and drops: rows dragged out become files for another program (and the
// player's folders stay put), drops on the list go to the data folder under the pointer
// or to the folder itself, and the library's own items move between data folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/folders.h"
#include "platform/paths/paths.h"
#include "platform/shell/drag_drop.h"
#include "testing/shell_view.h"

using namespace device;

namespace shellexttest {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

using namespace shellext;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ViewDropsTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    g_cfKernelIdList = platform::RegisterClipboardFormat(kKernelIdListFormat);
    g_cfNoTransferToSelf = platform::RegisterClipboardFormat(kNoTransferToSelfFormat);
    launcher_ = InstallLauncher(
        "n=$(basename \"$1\") && cp \"$1\" \"$0.$n.tmp\" && mv \"$0.$n.tmp\" \"$0.$n\"");
  }
  std::string launcher_;
  // The list the installed launcher was last given (it keeps a copy by the list's name).
  std::string ListFile(const char* name) {
    const std::string copy = launcher_ + "." + name;
    for (int i = 0; i < 1000 && !std::filesystem::exists(copy); ++i) platform::Sleep(10);
    const std::string text = ReadFile(copy);
    std::filesystem::remove(copy);
    return text;
  }
  platform::DropHandler& Drops() { return *View().Window()->GetDropHandler(); }
};

TEST_F(ViewDropsTest, RowsDraggedOutBecomeFilesForAnotherProgram) {
  Open("Audio Tracks");
  const int row = RowOf("Brass Fold - Metal Hours - 01 - Opening");
  ASSERT_GE(row, 0);
  List().UserSelectRows({row});
  std::vector<std::string> files;
  host_.ExpectDrag([&](const std::shared_ptr<platform::DataOffer>& offer) -> platform::DWORD {
    EXPECT_TRUE(offer->Offers(kNoTransferToSelfFormat));
    EXPECT_TRUE(offer->Offers(kKernelIdListFormat));
    offer->Feedback(platform::DROPEFFECT_COPY);  // another program takes it
    const std::optional<std::string> list = offer->Data(platform::kUriListFormat);
    if (list) files = platform::ParseUriList(*list);
    return files.empty() ? platform::DROPEFFECT_NONE : platform::DROPEFFECT_COPY;
  });
  List().UserBeginDrag(row);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(ReadFile(files[0]), device_.ContentOf(catalogue_.opening));
  EXPECT_EQ(host_.pendingAnswers(), 0u);

  // The player's folders without items of their own are not dragged.
  Open("");
  const int playlists = RowOf("Playlists");
  ASSERT_GE(playlists, 0);
  List().UserSelectRows({playlists});
  List().UserBeginDrag(playlists);  // no drag: the scripted host would fail on one
}

TEST_F(ViewDropsTest, DropsGoToTheDataFolderUnderThePointerOrToTheFolder) {
  Open("Data Files");
  const int documents = RowOf("Documents");
  ASSERT_GE(documents, 0);
  auto files = std::make_shared<platform::FilesOffer>(std::vector<std::string>{"/home/me/report.pdf"});
  platform::DragState state;
  state.row = documents;
  EXPECT_EQ(Drops().DragEnter(files, state), platform::DROPEFFECT_NONE);  // not the library's own ids
  EXPECT_EQ(Drops().DragOver(state), platform::DROPEFFECT_COPY);
  EXPECT_NE(List().GetItemState(documents, platform::LVIS_DROPHILITED), 0u);
  EXPECT_EQ(Drops().Drop(files, state), platform::DROPEFFECT_COPY);
  EXPECT_EQ(List().GetItemState(documents, platform::LVIS_DROPHILITED), 0u);
  EXPECT_EQ(ListFile("_txdat.dat"), std::to_string(catalogue_.documents.word[0]) + "\r\n\\home\\me\\report.pdf\r\n");

  // On the list's background: the folder itself.
  state.row = -1;
  EXPECT_EQ(platform::DropOffer(Drops(), files, state), platform::DROPEFFECT_COPY);
  EXPECT_EQ(ListFile("_txdat.dat"), std::to_string(device_.DataRoot().word[0]) + "\r\n\\home\\me\\report.pdf\r\n");

  // The library's own data file dragged onto the folder's row moves into it.
  const int top = RowOf("top.txt");
  ASSERT_GE(top, 0);
  List().UserSelectRows({top});
  host_.ExpectDrag([&](const std::shared_ptr<platform::DataOffer>& offer) {
    platform::DragState over;
    over.row = RowOf("Documents");
    return platform::DropOffer(Drops(), offer, over);
  });
  List().UserBeginDrag(top);
  KernelId parent;
  ASSERT_EQ(device_.GetDataItemParent(catalogue_.top, parent), 1);
  EXPECT_EQ(parent.word[0], catalogue_.documents.word[0]);
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

}  // namespace
}  // namespace shellexttest
