// dnd_peer: another program of the desktop for shellhost's drag-and-drop and clipboard
// tests, as a file manager behaves: a window listing files that drags them out as a file
// list, takes the files dropped on it, and copies and pastes files through the desktop's
// clipboard. Commands on standard input, answers on standard output:
//   files PATH<TAB>...   the files it lists (a drag from the list carries them all)
//   where [ROW]          "rect L T R B": where the list (or its row) is on the screen
//   dropped              "dropped PATH<TAB>...": the files dropped on it last
//   copy PATH<TAB>...    puts the files on the clipboard
//   paste                "pasted PATH<TAB>...": the files the clipboard holds
//   quit
// Paths are POSIX paths.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "hosts/script_commands.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "platform/ui/list_view.h"
#include "platform/ui/ui_window.h"
#include "platform/ui/wx/wx_host.h"

namespace {

constexpr int kListId = 1;
constexpr platform::UINT kCommandMessage = platform::WM_APP + 7;

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// The paths of a command, by tabs.
std::vector<std::string> Paths(std::string_view text) {
  std::vector<std::string> parts;
  for (std::string_view part : platform::SplitDroppingEmpty(text, "\t")) parts.emplace_back(part);
  return parts;
}

const platform::DialogTemplate& PeerTemplate() {
  using namespace platform::layout;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      0, "Another Program", Column({ListView(kListId).Width(60).Lines(12).Expand()}),
      platform::kFrameCaption | platform::kFrameVisible);
  return t;
}

class PeerWindow : public platform::Dialog {
 public:
  PeerWindow(platform::WxHost& host) : Dialog(PeerTemplate()), host_(host) {
    DragAcceptFiles(true);
    HandleDropFiles([this](const std::vector<std::string>& paths, platform::Point) {
      dropped_.clear();
      for (const std::string& p : paths) dropped_.push_back(platform::ToPosixPath(p));
    });
    HandleNotify(kListId, platform::NotifyCode::BeginDrag, [this](platform::Notification&) {
      std::vector<std::string> files;
      for (const std::string& f : files_) files.push_back(platform::FromPosixPath(f));
      platform::DragFilesOut(files);
    });
    HandleMessage(kCommandMessage, [this](platform::WPARAM, platform::LPARAM l) {
      std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(l));
      Run(*line);
      return 0;
    });
  }

 protected:
  bool OnInitDialog() override {
    ListView(kListId).InsertColumn(0, {.title = "File", .width = 380});
    return Dialog::OnInitDialog();
  }

 private:
  void Run(const std::string& line) {
    const std::size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (verb == "files") {
      files_ = Paths(rest);
      platform::ListViewControl& list = ListView(kListId);
      list.DeleteAllItems();
      for (const std::string& f : files_) list.InsertItem(list.GetItemCount(), f);
      Print("ok");
    } else if (verb == "where") {
      const std::optional<platform::Rect> r = host_.ScreenRect(*this, kListId, rest.empty() ? -1 : hostscript::Number(rest));
      Print(r ? "rect " + std::to_string(r->left) + " " + std::to_string(r->top) + " " + std::to_string(r->right) +
                    " " + std::to_string(r->bottom)
              : "rect none");
    } else if (verb == "dropped") {
      Print("dropped " + hostscript::Joined(dropped_));
    } else if (verb == "copy") {
      std::vector<std::string> files;
      for (const std::string& f : Paths(rest)) files.push_back(platform::FromPosixPath(f));
      platform::SetClipboardFiles(files);
      Print("ok");
    } else if (verb == "paste") {
      std::vector<std::string> posix;
      if (const auto files = platform::GetClipboardFiles()) {
        for (const std::string& f : *files) posix.push_back(platform::ToPosixPath(f));
      }
      Print("pasted " + hostscript::Joined(posix));
    } else if (verb == "quit") {
      platform::PostQuitMessage(0);
    } else {
      Print("error: unknown command \"" + verb + "\"");
    }
  }

  platform::WxHost& host_;
  std::vector<std::string> files_;
  std::vector<std::string> dropped_;
};

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<platform::WxHost> host = platform::WxHost::Open("dnd_peer");
  if (!host) return 2;
  PeerWindow window(*host);
  // Beside where shellhost's window opens, so drags between the two cross the screen.
  int x = 100, y = 760;
  if (argc >= 3) {
    x = std::atoi(argv[1]);
    y = std::atoi(argv[2]);
  }
  if (!window.Create()) return 2;
  window.SetWindowPos(platform::HWND_TOP, x, y, 600, 240, platform::SWP_NOZORDER);
  const platform::HWND hwnd = window.GetSafeHwnd();
  std::thread reader([hwnd] {
    for (std::string line; std::getline(std::cin, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      platform::PostMessage(hwnd, kCommandMessage, 0, reinterpret_cast<platform::LPARAM>(new std::string(line)));
    }
    platform::PostMessage(hwnd, kCommandMessage, 0, reinterpret_cast<platform::LPARAM>(new std::string("quit")));
  });
  reader.detach();
  Print("ready");
  const int status = host->RunMessageLoop();
  window.DestroyWindow();
  return status;
}
