#include "shellext/com_server.h"

#include <dirent.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <new>

#include "common/identity.h"
#include "common/settings.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/host.h"
#include "shellext/icons.h"
#include "shellext/shell_folder.h"

using namespace device;

namespace shellext {

using platform::HRESULT;
using platform::S_OK;

OmbrixApp theApp;

namespace {

// Pins every thread of the process to the processors of the mask (bit n: processor n);
// failures are ignored.
void SetProcessAffinity(std::uint32_t mask) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu = 0; cpu < 32; ++cpu) {
    if ((mask & (1u << cpu)) != 0) CPU_SET(cpu, &set);
  }
  DIR* tasks = ::opendir("/proc/self/task");
  if (tasks == nullptr) {
    ::sched_setaffinity(0, sizeof set, &set);
    return;
  }
  while (dirent* entry = ::readdir(tasks)) {
    const pid_t tid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (tid > 0) ::sched_setaffinity(tid, sizeof set, &set);
  }
  ::closedir(tasks);
}

KernelId IdOfKind(int kind) { return kind < 0 ? KernelId() : KernelId(static_cast<std::uint32_t>(kind)); }

}  // namespace

OmbrixApp::OmbrixApp() { g_LiveObjectCount.fetch_add(1); }

OmbrixApp::~OmbrixApp() {
  if (counted_) g_LiveObjectCount.fetch_sub(1);
}

bool OmbrixApp::InitInstance(const std::string& modulePath) {
  g_DllInstance = modulePath;
  g_ProductIdentity.InitFromPath(modulePath);

  std::uint32_t affinity = 1;
  ReadSettingDword("Kor_SMPAffinity", affinity);
  if (affinity == 0) affinity = 1;  // a stored 0 means the first processor too
  SetProcessAffinity(affinity);
  ::setpriority(PRIO_PROCESS, 0, 0);  // the normal priority class; may be refused

  BuildIconTable();

  const ModuleRow* row = FindModuleRow(g_ProductIdentity.moduleName);
  if (row == nullptr) {
    ShowMessageBox("You have a misnamed DLL file.  Please reinstall.", platform::MB_ICONINFORMATION);
    // A refused load: the library is no longer held by its application object.
    loaded_ = false;
    if (counted_) {
      counted_ = false;
      g_LiveObjectCount.fetch_sub(1);
    }
    return false;
  }
  loaded_ = true;
  if (row->group == 'A') return true;

  int index = row->deviceIndex;
  KernelId storage = IdOfKind(row->storageKind);
  if (index < 0) {
    std::uint32_t useDriver = 1;
    ReadSettingDword("JB_UseCLDriver", useDriver);
    index = useDriver != 0 ? 0 : 1;
    storage = useDriver != 0 ? KernelId(1) : KernelId();
  }
  // The manager may not be running yet: device calls then report it themselves.
  g_DeviceClient.ConnectToManager(index, IdOfKind(row->deviceKind), storage, 0);
  g_cfKernelIdList = platform::RegisterClipboardFormat(kKernelIdListFormat);
  return true;
}

void StartLibrary() {
  g_cfNoTransferToSelf = platform::RegisterClipboardFormat(kNoTransferToSelfFormat);
  theApp.InitInstance(ModulePath());
}

// ---- The class factory ----

HRESULT OmbrixClassFactory::CreateInstance(platform::IUnknown* outer, platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr) return platform::CLASS_E_NOAGGREGATION;
  if (riid == platform::IID_IShellExtInit || riid == platform::IID_IContextMenu) {
    return platform::E_NOINTERFACE;  // the context menu is not offered by this build
  }
  CShellFolder* folder = new (std::nothrow) CShellFolder(nullptr, nullptr);
  if (folder == nullptr) return platform::E_OUTOFMEMORY;
  const HRESULT hr = folder->QueryInterface(riid, ppv);
  folder->Release();
  return hr;
}

HRESULT OmbrixClassFactory::LockServer(bool) { return platform::E_NOTIMPL; }

// ---- Entry points ----

HRESULT GetClassObject(platform::REFCLSID clsid, platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  *ppv = nullptr;
  try {
    if (!theApp.Loaded()) return platform::CLASS_E_CLASSNOTAVAILABLE;
    platform::CLSID served{};
    if (GetModuleClassId(&served) != S_OK || served != clsid) return platform::CLASS_E_CLASSNOTAVAILABLE;
    OmbrixClassFactory* factory = new (std::nothrow) OmbrixClassFactory;
    if (factory == nullptr) return platform::E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
  } catch (...) {
    return platform::CLASS_E_CLASSNOTAVAILABLE;
  }
}

HRESULT CanUnloadNow() { return g_LiveObjectCount.load() == 0 ? S_OK : platform::S_FALSE; }

}  // namespace shellext
