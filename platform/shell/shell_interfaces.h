// The namespace interfaces: what a library that shows its objects as folders implements
// (folder, persist-folder, enumerator, view, context menu, icon extractor, drop target
// and source, shell-extension initialisation) and what its host offers back (browser).
// Slot order and identifiers follow the desktop's; parameters use this platform's types.
//
// Texts are UTF-8 everywhere, so the "wide" display-name string of STRRET_WSTR is UTF-8
// as well, allocated from the shell allocator.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/data_object.h"
#include "platform/com/unknown.h"
#include "platform/shell/item_id_list.h"
#include "platform/shell/named_icon.h"
#include "platform/window/drop_effect.h"
#include "platform/window/window.h"

namespace platform {

// ---- Flags -------------------------------------------------------------------------------

// EnumObjects: what to list.
constexpr DWORD SHCONTF_FOLDERS = 0x0020;
constexpr DWORD SHCONTF_NONFOLDERS = 0x0040;
constexpr DWORD SHCONTF_INCLUDEHIDDEN = 0x0080;

// GetAttributesOf.
constexpr ULONG SFGAO_CANCOPY = 0x00000001;
constexpr ULONG SFGAO_CANMOVE = 0x00000002;
constexpr ULONG SFGAO_CANLINK = 0x00000004;
constexpr ULONG SFGAO_CANRENAME = 0x00000010;
constexpr ULONG SFGAO_CANDELETE = 0x00000020;
constexpr ULONG SFGAO_DROPTARGET = 0x00000100;
constexpr ULONG SFGAO_VALIDATE = 0x01000000;
constexpr ULONG SFGAO_BROWSABLE = 0x08000000;
constexpr ULONG SFGAO_FOLDER = 0x20000000;
constexpr ULONG SFGAO_HASSUBFOLDER = 0x80000000;

// GetDisplayNameOf: the low byte says which name, the high byte what for.
constexpr DWORD SHGDN_NORMAL = 0x0000;
constexpr DWORD SHGDN_INFOLDER = 0x0001;
constexpr DWORD SHGDN_FOREDITING = 0x1000;
constexpr DWORD SHGDN_FORADDRESSBAR = 0x4000;
constexpr DWORD SHGDN_FORPARSING = 0x8000;

// IExtractIconA.
constexpr UINT GIL_OPENICON = 0x0001;      // in
constexpr UINT GIL_FORSHELL = 0x0002;      // in
constexpr UINT GIL_SIMULATEDOC = 0x0001;   // out
constexpr UINT GIL_PERINSTANCE = 0x0002;   // out
constexpr UINT GIL_PERCLASS = 0x0004;      // out
constexpr UINT GIL_NOTFILENAME = 0x0008;   // out

// IShellView::UIActivate.
constexpr UINT SVUIA_DEACTIVATE = 0;
constexpr UINT SVUIA_ACTIVATE_NOFOCUS = 1;
constexpr UINT SVUIA_ACTIVATE_FOCUS = 2;
constexpr UINT SVUIA_INPLACEACTIVATE = 3;

// IShellBrowser::BrowseObject.
constexpr UINT SBSP_DEFBROWSER = 0x0000;
constexpr UINT SBSP_ABSOLUTE = 0x0000;
constexpr UINT SBSP_RELATIVE = 0x1000;
constexpr UINT SBSP_PARENT = 0x2000;
constexpr UINT SBSP_NAVIGATEBACK = 0x4000;
constexpr UINT SBSP_NAVIGATEFORWARD = 0x8000;

// IShellView::GetItemObject: which items.
constexpr UINT SVGIO_BACKGROUND = 0x0000;  // the folder itself
constexpr UINT SVGIO_SELECTION = 0x0001;

// FOLDERSETTINGS::ViewMode.
constexpr UINT FVM_ICON = 1;
constexpr UINT FVM_SMALLICON = 2;
constexpr UINT FVM_LIST = 3;
constexpr UINT FVM_DETAILS = 4;

// The browser's controls (GetControlWindow, SendControlMsg) and what is sent to them.
constexpr UINT FCW_STATUS = 1;
constexpr UINT FCW_TOOLBAR = 2;
constexpr UINT FCW_TREE = 3;
constexpr UINT WM_SHOWWINDOW = 0x0018;  // wParam: 1 show, 0 hide
constexpr UINT SB_SETTEXT = WM_USER + 1;   // wParam: the part; lParam: const char* text
constexpr UINT SB_GETTEXT = WM_USER + 2;   // wParam: the part; lParam: std::string* out
constexpr UINT SB_SETPARTS = WM_USER + 4;  // wParam: count; lParam: const int* right edges (-1: the end)
constexpr UINT TB_CHECKBUTTON = WM_USER + 2;    // wParam: command; lParam: 1 pressed, 0 released
constexpr UINT TB_ISBUTTONCHECKED = WM_USER + 10;  // wParam: command; answer 1 when pressed

// SetToolbarItems.
constexpr UINT FCT_MERGE = 0x0001;
constexpr UINT FCT_CONFIGABLE = 0x0002;
constexpr UINT FCT_ADDTOEND = 0x0004;

// Buttons a view adds to its browser's toolbar.
constexpr std::uint8_t TBSTATE_CHECKED = 0x01;
constexpr std::uint8_t TBSTATE_ENABLED = 0x04;
constexpr std::uint8_t BTNS_BUTTON = 0x00;
constexpr std::uint8_t BTNS_SEP = 0x01;
constexpr std::uint8_t BTNS_CHECK = 0x02;
constexpr std::uint8_t BTNS_AUTOSIZE = 0x10;
constexpr std::uint8_t BTNS_SHOWTEXT = 0x40;
struct TBBUTTON {
  const char* icon = nullptr;  // named icon (the desktop's bitmap index)
  int idCommand = 0;
  std::uint8_t fsState = TBSTATE_ENABLED;
  std::uint8_t fsStyle = BTNS_BUTTON;
  const char* text = nullptr;     // the label shown with BTNS_SHOWTEXT
  const char* tooltip = nullptr;  // what the button's tooltip says
};

// The browser's menus a view merges its items into (the popups' and markers' ids).
constexpr UINT FCIDM_MENU_FILE = 0x8000;
constexpr UINT FCIDM_MENU_EDIT = 0x8040;
constexpr UINT FCIDM_MENU_VIEW = 0x8080;
constexpr UINT FCIDM_MENU_VIEW_SEP_OPTIONS = 0x8081;
constexpr UINT FCIDM_MENU_TOOLS = 0x80C0;
constexpr UINT FCIDM_MENU_HELP = 0x8100;
struct OLEMENUGROUPWIDTHS {
  std::int32_t width[6] = {};
};

// Context menus.
constexpr UINT CMF_NORMAL = 0x0000;
constexpr UINT CMF_DEFAULTONLY = 0x0001;
constexpr UINT CMF_EXPLORE = 0x0004;
constexpr UINT GCS_VERBA = 0x0000;
constexpr UINT GCS_HELPTEXTA = 0x0001;
constexpr UINT GCS_VALIDATEA = 0x0002;

// ---- Small types ---------------------------------------------------------------------------

constexpr UINT STRRET_WSTR = 0;
constexpr UINT STRRET_OFFSET = 1;
constexpr UINT STRRET_CSTR = 2;

struct STRRET {
  UINT uType = STRRET_CSTR;
  char* pOleStr = nullptr;  // STRRET_WSTR: shell-allocator text, the receiver frees it
  UINT uOffset = 0;         // STRRET_OFFSET: text inside the item
  char cStr[260] = {};      // STRRET_CSTR
};

// The text of a display name; frees an allocated text. `item` is the list the name was
// asked for (for STRRET_OFFSET).
std::string StrRetToString(STRRET* strret, LPCITEMIDLIST item);

struct POINTL {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

struct RECT {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

struct FOLDERSETTINGS {
  UINT ViewMode = 0;
  UINT fFlags = 0;
};

// A menu of the user-interface core; null where none is given.
using HMENU = void*;

struct CMINVOKECOMMANDINFO {
  DWORD cbSize = sizeof(CMINVOKECOMMANDINFO);
  DWORD fMask = 0;
  HWND hwnd = 0;
  const char* lpVerb = nullptr;  // a verb text, or a command offset in the low 16 bits
  const char* lpParameters = nullptr;
  const char* lpDirectory = nullptr;
  int nShow = 0;
  DWORD dwHotKey = 0;
};

// A command offset passed where a verb text may stand (its pointer's upper bits are 0).
inline bool VerbIsOffset(const char* verb) { return (reinterpret_cast<std::uintptr_t>(verb) >> 16) == 0; }
inline const char* VerbFromOffset(UINT offset) {
  return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(offset & 0xFFFF));
}
inline UINT OffsetOfVerb(const char* verb) {
  return static_cast<UINT>(reinterpret_cast<std::uintptr_t>(verb) & 0xFFFF);
}

class IShellBrowser;
class IShellView;

// ---- Interfaces ----------------------------------------------------------------------------

class IEnumIDList : public IUnknown {
 public:
  static constexpr GUID kIid = {0x000214F2, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT Next(ULONG count, LPITEMIDLIST* out, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumIDList** out) = 0;
};

class IShellFolder : public IUnknown {
 public:
  static constexpr GUID kIid = {0x000214E6, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT ParseDisplayName(HWND owner, void* bindContext, const char* displayName, ULONG* eaten,
                                   LPITEMIDLIST* out, ULONG* attributes) = 0;
  virtual HRESULT EnumObjects(HWND owner, DWORD flags, IEnumIDList** out) = 0;
  virtual HRESULT BindToObject(LPCITEMIDLIST list, void* bindContext, REFIID riid, void** ppv) = 0;
  virtual HRESULT BindToStorage(LPCITEMIDLIST list, void* bindContext, REFIID riid, void** ppv) = 0;
  // Negative, zero or positive in the code's low 16 bits (the desktop's convention).
  virtual HRESULT CompareIDs(LPARAM column, LPCITEMIDLIST a, LPCITEMIDLIST b) = 0;
  virtual HRESULT CreateViewObject(HWND owner, REFIID riid, void** ppv) = 0;
  virtual HRESULT GetAttributesOf(UINT count, LPCITEMIDLIST* items, ULONG* inOut) = 0;
  virtual HRESULT GetUIObjectOf(HWND owner, UINT count, LPCITEMIDLIST* items, REFIID riid, UINT* reserved,
                                void** ppv) = 0;
  virtual HRESULT GetDisplayNameOf(LPCITEMIDLIST list, DWORD flags, STRRET* name) = 0;
  virtual HRESULT SetNameOf(HWND owner, LPCITEMIDLIST list, const char* name, DWORD flags, LPITEMIDLIST* out) = 0;
};

class IPersist : public IUnknown {
 public:
  static constexpr GUID kIid = {0x0000010C, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT GetClassID(CLSID* clsid) = 0;
};

class IPersistFolder : public IPersist {
 public:
  static constexpr GUID kIid = {0x000214EA, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT Initialize(LPCITEMIDLIST absoluteList) = 0;
};

class IExtractIconA : public IUnknown {
 public:
  static constexpr GUID kIid = {0x000214EB, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT GetIconLocation(UINT flags, char* iconFile, UINT fileSize, int* index, UINT* outFlags) = 0;
  virtual HRESULT Extract(const char* iconFile, UINT index, HICON* large, HICON* small, UINT iconSize) = 0;
};

class IShellExtInit : public IUnknown {
 public:
  static constexpr GUID kIid = {0x000214E8, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT Initialize(LPCITEMIDLIST folder, IDataObject* data, void* progIdKey) = 0;
};

class IContextMenu : public IUnknown {
 public:
  static constexpr GUID kIid = {0x000214E4, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT QueryContextMenu(HMENU menu, UINT index, UINT firstCommand, UINT lastCommand, UINT flags) = 0;
  virtual HRESULT InvokeCommand(CMINVOKECOMMANDINFO* info) = 0;
  virtual HRESULT GetCommandString(std::uintptr_t command, UINT type, UINT* reserved, char* name, UINT size) = 0;
};

class IDropTarget : public IUnknown {
 public:
  static constexpr GUID kIid = {0x00000122, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) = 0;
  virtual HRESULT DragOver(DWORD keyState, POINTL point, DWORD* effect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) = 0;
};

class IDropSource : public IUnknown {
 public:
  static constexpr GUID kIid = {0x00000121, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT QueryContinueDrag(bool escapePressed, DWORD keyState) = 0;
  virtual HRESULT GiveFeedback(DWORD effect) = 0;
};

// An object with a window.
class IOleWindow : public IUnknown {
 public:
  static constexpr GUID kIid = {0x00000114, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT GetWindow(HWND* window) = 0;
  virtual HRESULT ContextSensitiveHelp(bool enterMode) = 0;
};

// The folder view a folder creates for its host's window. Menus are the UI core's
// (HMENU is a platform::Menu*); a key message carries its key in wParam.
class IShellView : public IOleWindow {
 public:
  static constexpr GUID kIid = {0x000214E3, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  virtual HRESULT TranslateAccelerator(MSG* message) = 0;
  virtual HRESULT EnableModeless(bool enable) = 0;
  virtual HRESULT UIActivate(UINT state) = 0;
  virtual HRESULT Refresh() = 0;
  virtual HRESULT CreateViewWindow(IShellView* previous, const FOLDERSETTINGS* settings, IShellBrowser* browser,
                                   const RECT* bounds, HWND* window) = 0;
  virtual HRESULT DestroyViewWindow() = 0;
  virtual HRESULT GetCurrentInfo(FOLDERSETTINGS* settings) = 0;
  virtual HRESULT AddPropertySheetPages(DWORD reserved, void* addPage, LPARAM lParam) = 0;
  virtual HRESULT SaveViewState() = 0;
  virtual HRESULT SelectItem(LPCITEMIDLIST item, UINT flags) = 0;
  virtual HRESULT GetItemObject(UINT item, REFIID riid, void** ppv) = 0;
};

// The host's side of a view: navigation, menus, status texts and toolbar, its windows.
class IShellBrowser : public IOleWindow {
 public:
  static constexpr GUID kIid = {0x000214E2, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  // Fills `shared` (an empty menu) with the browser's own popups.
  virtual HRESULT InsertMenusSB(HMENU shared, OLEMENUGROUPWIDTHS* widths) = 0;
  // Shows `shared` as the frame's menu bar (null: the browser's own); commands of items
  // that are not the browser's go to `activeObject` as WM_COMMAND.
  virtual HRESULT SetMenuSB(HMENU shared, void* reserved, HWND activeObject) = 0;
  virtual HRESULT RemoveMenusSB(HMENU shared) = 0;
  virtual HRESULT SetStatusTextSB(const char* text) = 0;
  virtual HRESULT EnableModelessSB(bool enable) = 0;
  virtual HRESULT TranslateAcceleratorSB(MSG* message, std::uint16_t id) = 0;
  virtual HRESULT BrowseObject(LPCITEMIDLIST list, UINT flags) = 0;
  virtual HRESULT GetControlWindow(UINT id, HWND* window) = 0;
  virtual HRESULT SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) = 0;
  virtual HRESULT QueryActiveShellView(IShellView** view) = 0;
  virtual HRESULT OnViewWindowActive(IShellView* view) = 0;
  // Adds the view's buttons to the browser's toolbar (FCT_ADDTOEND: after its own); their
  // commands go to the view's window as WM_COMMAND. A new view's buttons replace the last.
  virtual HRESULT SetToolbarItems(const TBBUTTON* buttons, UINT count, UINT flags) = 0;
};

inline constexpr const GUID& IID_IEnumIDList = IEnumIDList::kIid;
inline constexpr const GUID& IID_IShellFolder = IShellFolder::kIid;
inline constexpr const GUID& IID_IPersist = IPersist::kIid;
inline constexpr const GUID& IID_IPersistFolder = IPersistFolder::kIid;
inline constexpr const GUID& IID_IExtractIconA = IExtractIconA::kIid;
inline constexpr const GUID& IID_IShellExtInit = IShellExtInit::kIid;
inline constexpr const GUID& IID_IContextMenu = IContextMenu::kIid;
inline constexpr const GUID& IID_IDropTarget = IDropTarget::kIid;
inline constexpr const GUID& IID_IDropSource = IDropSource::kIid;
inline constexpr const GUID& IID_IOleWindow = IOleWindow::kIid;
inline constexpr const GUID& IID_IShellView = IShellView::kIid;
inline constexpr const GUID& IID_IShellBrowser = IShellBrowser::kIid;

}  // namespace platform
