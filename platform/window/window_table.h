// The namespace's shared window table: one row per window (handle, parent, class, owner
// process and thread) and the atom table of registered names. It is a file in the
// runtime folder mapped by every process, guarded by a robust process-shared mutex, so a
// process that dies while holding it cannot block the others.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

namespace platform::detail {

struct WindowRow {
  HWND handle = 0;
  HWND parent = 0;
  DWORD pid = 0;
  DWORD tid = 0;
  std::uint64_t start = 0;  // owner process start time
  std::uint64_t order = 0;  // creation order, namespace-wide
  std::string className;
};

class WindowTable {
 public:
  // The table of the namespace current at first use; null (message on stderr) when the
  // runtime folder or the table file cannot be used.
  static WindowTable* Instance();

  // Adds a row owned by the calling process and thread; 0 when the table is full.
  HWND Add(std::string_view className, HWND parent, DWORD tid);
  void Remove(HWND window);
  // Every row of this process (at exit).
  void RemoveProcess();
  // Removes the row when it still describes that dead owner.
  void Reap(const WindowRow& row);
  std::optional<WindowRow> Find(HWND window);
  std::vector<WindowRow> Rows();

  // 0 when the name is empty, too long, or the table is full.
  UINT AddAtom(std::string_view name);
  std::string AtomName(UINT atom);

 private:
  struct Header;
  struct Row;
  explicit WindowTable(void* base) : base_(base) {}
  Header* header() const;
  Row* rows() const;
  char* atoms() const;
  void* base_;
};

// Liveness of a row's owner: this process, or a live other one.
bool OwnerAlive(const WindowRow& row);

}  // namespace platform::detail
