#include "platform/shell/drag_drop.h"

#include <gtest/gtest.h>

#include "platform/com/drop_files.h"
#include "platform/paths/paths.h"
#include "platform/ui/scripted_host.h"
#include "platform/ui/ui_window.h"
#include "testing/processes.h"

namespace platform {
namespace {

const bool kIsolated = testing::IsolateNamespace();

constexpr std::string_view kPrivate = "Drag Drop Test Private Format";

// An offer of files and one private format, counting what is asked of it.
class TwoFormats : public DataOffer {
 public:
  std::vector<std::string> Formats() override { return {std::string(kPrivate), std::string(kUriListFormat)}; }
  std::optional<std::string> Data(std::string_view format) override {
    asked.emplace_back(format);
    if (format == kPrivate) return std::string("\x01\x00\x02", 3);
    if (format == kUriListFormat) return FormatUriList({"/music/a b.mp3", "/music/c.flac"});
    return std::nullopt;
  }
  std::vector<std::string> asked;
};

// A drag source that records each question and answers as told.
class Source final : public ComObject<IDropSource> {
 public:
  HRESULT QueryContinueDrag(bool escape, DWORD keys) override {
    asked.push_back(keys | (escape ? 0x8000u : 0u));
    return answer;
  }
  HRESULT GiveFeedback(DWORD effect) override {
    feedback.push_back(effect);
    return DRAGDROP_S_USEDEFAULTCURSORS;
  }
  HRESULT answer = DRAGDROP_S_DROP;
  std::vector<DWORD> asked;
  std::vector<DWORD> feedback;
};

// A drop target that records the calls and the data objects it got.
class Target final : public ComObject<IDropTarget> {
 public:
  explicit Target(std::string name, std::vector<std::string>* log) : name_(std::move(name)), log_(log) {}
  HRESULT DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    log_->push_back(name_ + " enter");
    entered = data;
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT DragOver(DWORD keys, POINTL, DWORD* effect) override {
    log_->push_back(name_ + " over");
    *effect = (keys & MK_MBUTTON) != 0 ? DROPEFFECT_LINK : DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT DragLeave() override {
    log_->push_back(name_ + " leave");
    return S_OK;
  }
  HRESULT Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    log_->push_back(name_ + " drop");
    dropped = data;
    STGMEDIUM medium;
    FORMATETC f;
    f.cfFormat = CF_HDROP;
    if (data->GetData(&f, &medium) == S_OK) {
      files = ReadDropFiles(medium.hGlobal).value_or(std::vector<std::string>{});
      ReleaseStgMedium(&medium);
    }
    *effect = DROPEFFECT_COPY;
    return S_OK;
  }
  IDataObject* entered = nullptr;
  IDataObject* dropped = nullptr;
  std::vector<std::string> files;

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

HRESULT Query(IDataObject* data, CLIPFORMAT format, DWORD tymed = TYMED_HGLOBAL) {
  FORMATETC f;
  f.cfFormat = format;
  f.tymed = tymed;
  return data->QueryGetData(&f);
}

TEST(DragDropTest, FormatsCrossByName) {
  EXPECT_EQ(ClipboardFormatToName(CF_HDROP), "text/uri-list");
  EXPECT_EQ(ClipboardFormatFromName("TEXT/URI-LIST"), CF_HDROP);
  const CLIPFORMAT own = ClipboardFormatFromName(kPrivate);
  EXPECT_GE(own, 0xC000);
  EXPECT_EQ(ClipboardFormatToName(own), kPrivate);
}

// The clipboard hands a data object of this process back as itself; what another
// program left there (here: files set through the host) is read by its formats.
TEST(DragDropTest, TheClipboardKeepsDataObjectsAndReadsOthersByFormat) {
  ScriptedHost host;
  ComPtr<IDataObject> empty;
  ASSERT_EQ(OleGetClipboard(empty.Put()), S_OK);
  EXPECT_EQ(Query(empty.Get(), CF_HDROP), DV_E_FORMATETC);

  auto offer = std::make_shared<TwoFormats>();
  ComPtr<IDataObject> mine = ComPtr<IDataObject>::Attach(DataObjectOfOffer(offer));
  ASSERT_EQ(OleSetClipboard(mine.Get()), S_OK);
  ComPtr<IDataObject> back;
  ASSERT_EQ(OleGetClipboard(back.Put()), S_OK);
  EXPECT_EQ(back.Get(), mine.Get());
  EXPECT_TRUE(offer->asked.empty());  // nothing is made until a receiver asks

  host.SetClipboardFiles({"/home/me/a b.mp3", "/home/me/c.flac"});
  ComPtr<IDataObject> files;
  ASSERT_EQ(OleGetClipboard(files.Put()), S_OK);
  EXPECT_EQ(Query(files.Get(), CF_HDROP), S_OK);
  EXPECT_EQ(Query(files.Get(), CF_HDROP, TYMED_FILE), DV_E_TYMED);
  EXPECT_EQ(Query(files.Get(), ClipboardFormatFromName(kPrivate)), DV_E_FORMATETC);
  FORMATETC f;
  f.cfFormat = CF_HDROP;
  STGMEDIUM medium;
  ASSERT_EQ(files->GetData(&f, &medium), S_OK);
  EXPECT_EQ(ReadDropFiles(medium.hGlobal),
            (std::vector<std::string>{FromPosixPath("/home/me/a b.mp3"), FromPosixPath("/home/me/c.flac")}));
  ReleaseStgMedium(&medium);

  ASSERT_EQ(OleSetClipboard(nullptr), S_OK);
  EXPECT_EQ(host.GetClipboardFiles(), std::nullopt);
}

// A drag's source decides only when the target asks for the file list; a target that
// asks for another format alone never makes it decide.
TEST(DragDropTest, TheSourceDecidesWhenTheTargetAsksForTheFiles) {
  ScriptedHost host;
  auto offer = std::make_shared<TwoFormats>();
  ComPtr<IDataObject> data = ComPtr<IDataObject>::Attach(DataObjectOfOffer(offer));
  const struct {
    const char* what;
    std::string ask;
    HRESULT answer;
    std::optional<std::string> got;
    DWORD asked;  // how many times the source was asked
    HRESULT result;
    DWORD effect;
  } cases[] = {
      {"files, dropped", "text/uri-list", DRAGDROP_S_DROP,
       "file:///music/a%20b.mp3\r\nfile:///music/c.flac\r\n", 1, DRAGDROP_S_DROP, DROPEFFECT_COPY},
      {"files, the source cancels", "text/uri-list", DRAGDROP_S_CANCEL, std::nullopt, 1, DRAGDROP_S_CANCEL,
       DROPEFFECT_NONE},
      {"the private format only", std::string(kPrivate), DRAGDROP_S_CANCEL, std::string("\x01\x00\x02", 3), 0,
       DRAGDROP_S_DROP, DROPEFFECT_COPY},
  };
  for (const auto& c : cases) {
    auto* source = new Source;
    source->answer = c.answer;
    std::optional<std::string> got;
    host.ExpectDrag([&](const std::shared_ptr<DataOffer>& dragged) -> DWORD {
      EXPECT_EQ(dragged->Formats(), (std::vector<std::string>{std::string(kPrivate), "text/uri-list"})) << c.what;
      dragged->Feedback(DROPEFFECT_COPY);
      got = dragged->Data(c.ask);
      dragged->Data(c.ask);  // asked again: the source is not asked again
      return got ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    });
    DWORD effect = 99;
    EXPECT_EQ(DoDragDrop(data.Get(), source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect), c.result) << c.what;
    EXPECT_EQ(effect, c.effect) << c.what;
    EXPECT_EQ(got, c.got) << c.what;
    EXPECT_EQ(source->asked, std::vector<DWORD>(c.asked, 0)) << c.what;  // asked with the button up
    EXPECT_EQ(source->feedback, std::vector<DWORD>{DROPEFFECT_COPY}) << c.what;
    source->Release();
  }
  DWORD effect = 0;
  EXPECT_EQ(DoDragDrop(nullptr, nullptr, DROPEFFECT_COPY, &effect), E_INVALIDARG);
}

class DropWindow : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(view_.Create(0)); }
  void TearDown() override { view_.Destroy(); }

  ScriptedHost host_;
  View view_{MakeTemplate(0, "", layout::Column({layout::ListView(1001).Expand()}), kFrameChild),
             "Drag Drop Test View"};
};

// A drop from this process hands the target the data object itself; from another
// program, a data object that reads the offer.
TEST_F(DropWindow, ARegisteredTargetGetsTheDraggedDataObject) {
  std::vector<std::string> log;
  auto* target = new Target("t", &log);
  ASSERT_EQ(RegisterDragDrop(view_.GetSafeHwnd(), target), S_OK);
  target->Release();  // the window holds it
  ASSERT_NE(view_.GetDropHandler(), nullptr);

  auto offer = std::make_shared<TwoFormats>();
  ComPtr<IDataObject> mine = ComPtr<IDataObject>::Attach(DataObjectOfOffer(offer));
  auto* source = new Source;
  host_.ExpectDrag([&](const std::shared_ptr<DataOffer>& dragged) {
    return DropOffer(*view_.GetDropHandler(), dragged, DragState{});
  });
  DWORD effect = 0;
  EXPECT_EQ(DoDragDrop(mine.Get(), source, DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
  source->Release();
  EXPECT_EQ(effect, DROPEFFECT_COPY);
  EXPECT_EQ(log, (std::vector<std::string>{"t enter", "t over", "t drop"}));

  log.clear();
  auto files = std::make_shared<FilesOffer>(std::vector<std::string>{"/home/me/x.mp3"});
  EXPECT_EQ(DropOffer(*view_.GetDropHandler(), files, DragState{}), DROPEFFECT_COPY);
  EXPECT_EQ(log, (std::vector<std::string>{"t enter", "t over", "t drop"}));

  ASSERT_EQ(RevokeDragDrop(view_.GetSafeHwnd()), S_OK);
  EXPECT_EQ(view_.GetDropHandler(), nullptr);
  EXPECT_EQ(RegisterDragDrop(0, nullptr), E_INVALIDARG);
}

TEST_F(DropWindow, FilesFromAnotherProgramArriveInTheSystemsForm) {
  std::vector<std::string> log;
  auto* target = new Target("t", &log);
  ASSERT_EQ(RegisterDragDrop(view_.GetSafeHwnd(), target), S_OK);
  auto files = std::make_shared<FilesOffer>(std::vector<std::string>{"/home/me/x y.mp3", "/mnt/z.flac"});
  EXPECT_EQ(DropOffer(*view_.GetDropHandler(), files, DragState{}), DROPEFFECT_COPY);
  EXPECT_EQ(target->files,
            (std::vector<std::string>{FromPosixPath("/home/me/x y.mp3"), FromPosixPath("/mnt/z.flac")}));
  target->Release();
}

// A handler that chooses the target by the row under the pointer leaves one target and
// enters the next as the pointer moves, and refuses where there is none.
TEST(DropTargetHandlerTest, ThePointerMovesFromTargetToTarget) {
  std::vector<std::string> log;
  auto a = ComPtr<IDropTarget>::Attach(new Target("a", &log));
  auto b = ComPtr<IDropTarget>::Attach(new Target("b", &log));
  std::shared_ptr<DropHandler> handler = MakeDropTargetHandler([&](const DragState& s) -> ComPtr<IDropTarget> {
    return s.row == 0 ? a : s.row == 1 ? b : nullptr;
  });
  auto files = std::make_shared<FilesOffer>(std::vector<std::string>{"/a.mp3"});
  DragState state;
  state.row = 0;
  EXPECT_EQ(handler->DragEnter(files, state), DROPEFFECT_COPY);
  state.keys = MK_MBUTTON;
  EXPECT_EQ(handler->DragOver(state), DROPEFFECT_LINK);
  state.row = 1;
  EXPECT_EQ(handler->DragOver(state), DROPEFFECT_COPY);  // b entered
  state.row = -1;
  EXPECT_EQ(handler->DragOver(state), DROPEFFECT_NONE);
  state.row = 1;
  handler->DragOver(state);
  EXPECT_EQ(handler->Drop(files, state), DROPEFFECT_COPY);
  EXPECT_EQ(log, (std::vector<std::string>{"a enter", "a over", "a leave", "b enter", "b leave", "b enter", "b drop"}));
  log.clear();
  handler->DragEnter(files, state);
  handler->DragLeave();
  EXPECT_EQ(log, (std::vector<std::string>{"b enter", "b leave"}));
}

}  // namespace
}  // namespace platform
