// Data handed between windows and programs: what the clipboard holds and what a drag
// carries. A program offers its data in formats named the desktop's way: files as
// "text/uri-list", text as "text/plain;charset=utf-8", a format of the system's own by
// its registered clipboard-format name. The bytes of a format are made only when a
// receiver asks for them, so an offer may do real work (copy files) at that moment.
//
// A window that takes drops has a DropHandler; the host tells it where the pointer is and
// what lies under it, and hands it the offer of the drag. Offers and handlers know no
// toolkit: ScriptedHost drives them in tests, WxHost on the display.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/tree_view.h"
#include "platform/ui/ui_types.h"
#include "platform/window/drop_effect.h"

namespace platform {

inline constexpr std::string_view kUriListFormat = "text/uri-list";
inline constexpr std::string_view kUtf8TextFormat = "text/plain;charset=utf-8";

class DataOffer {
 public:
  virtual ~DataOffer() = default;
  // The formats offered, the offerer's preferred first.
  virtual std::vector<std::string> Formats() = 0;
  // Whether `format` is among them (names compare without ASCII case).
  virtual bool Offers(std::string_view format);
  // The bytes of one format, made now; nullopt when the offer cannot give them (the
  // format is not offered, or making them failed or was refused).
  virtual std::optional<std::string> Data(std::string_view format) = 0;
  // A drag's source hears the effect the target under the pointer answers (0: refused).
  virtual void Feedback(DWORD effect) { (void)effect; }
  // The object the offer was made from, for a receiver in this process that knows its
  // kind ("IDataObject": a data object); null otherwise. A virtual call, so it works
  // between the copies of this code that a host and its plug-ins carry.
  virtual void* Source(std::string_view kind) {
    (void)kind;
    return nullptr;
  }
};

// "text/uri-list" of POSIX paths (file URIs, CR LF after each) and back: only local
// file URIs become paths; comments and other URIs are skipped.
std::string FormatUriList(const std::vector<std::string>& posixPaths);
std::vector<std::string> ParseUriList(std::string_view text);

// An offer of files (POSIX paths) as "text/uri-list".
class FilesOffer : public DataOffer {
 public:
  explicit FilesOffer(std::vector<std::string> posixPaths) : paths_(std::move(posixPaths)) {}
  std::vector<std::string> Formats() override { return {std::string(kUriListFormat)}; }
  std::optional<std::string> Data(std::string_view format) override;
  const std::vector<std::string>& Paths() const { return paths_; }

 private:
  std::vector<std::string> paths_;
};

// An offer of one text as "text/plain;charset=utf-8".
class TextOffer : public DataOffer {
 public:
  explicit TextOffer(std::string text) : text_(std::move(text)) {}
  std::vector<std::string> Formats() override { return {std::string(kUtf8TextFormat)}; }
  std::optional<std::string> Data(std::string_view format) override;

 private:
  std::string text_;
};

// Where a drag is over a window, as its host reports it.
struct DragState {
  Point at;                // window coordinates
  DWORD keys = 0;          // MK_* buttons and keys held
  DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;  // what the source allows
  int control = 0;         // the control under the pointer (0: none)
  int row = -1;            // the list-view row under it (-1: none)
  HTREEITEM treeItem = 0;  // the tree item under it (0: none)
};

// A window's drop target. Each call answers the effect the drop would have (or had):
// DROPEFFECT_NONE refuses. DragEnter starts a drag over the window, DragOver follows the
// pointer, then either DragLeave or Drop ends it.
class DropHandler {
 public:
  virtual ~DropHandler() = default;
  virtual DWORD DragEnter(const std::shared_ptr<DataOffer>& offer, const DragState& state) = 0;
  virtual DWORD DragOver(const DragState& state) = 0;
  virtual void DragLeave() = 0;
  virtual DWORD Drop(const std::shared_ptr<DataOffer>& offer, const DragState& state) = 0;
};

// A whole drop as a person makes it: enter, one move, then the drop when the handler
// took the drag (else leave). The effect of the drop; DROPEFFECT_NONE when refused.
DWORD DropOffer(DropHandler& handler, const std::shared_ptr<DataOffer>& offer, const DragState& state);

}  // namespace platform
