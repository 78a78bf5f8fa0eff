// CContextMenu: the menu object of a selection of the player's items, and the dispatch of
// its commands (context-menu ids) to their handlers. The view runs its item commands
// through it too (the default action, properties, delete, the folder toolbar's buttons).
//
// Built here: the dispatch with the commands that need no selection and the queue and
// tree commands. The menu itself (QueryContextMenu) and the other handlers come with the
// context menus; until then QueryContextMenu offers nothing, and a command without a
// handler answers "Unknown option: <id>".
#pragma once

#include <vector>

#include "platform/shell/shell_interfaces.h"
#include "shellext/library.h"
#include "shellext/shell_item.h"

namespace shellext {

class CShellFolder;

class CContextMenu final : public platform::IContextMenu {
 public:
  // The folder (held) and copies of the selected items' lists.
  CContextMenu(CShellFolder* folder, platform::UINT count, LPCITEMIDLIST* items);

  platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override;
  platform::ULONG AddRef() override { return refs_.Add(); }
  platform::ULONG Release() override;

  platform::HRESULT QueryContextMenu(platform::HMENU menu, platform::UINT index, platform::UINT firstCommand,
                                     platform::UINT lastCommand, platform::UINT flags) override;
  // The command is the low 16 bits of the verb (an offset from the first command, which
  // equals the command's id). S_OK in every case; failures are reported in message boxes.
  platform::HRESULT InvokeCommand(platform::CMINVOKECOMMANDINFO* info) override;
  platform::HRESULT GetCommandString(std::uintptr_t, platform::UINT, platform::UINT*, char*, platform::UINT) override {
    return platform::E_NOTIMPL;
  }

 private:
  ~CContextMenu() override;
  void Run(int command);

  LiveObject live_;
  platform::RefCount refs_;
  CShellFolder* folder_;
  PidlManager pidls_;
  std::vector<LPITEMIDLIST> items_;
};

}  // namespace shellext
