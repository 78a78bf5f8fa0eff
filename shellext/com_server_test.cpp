// Start-up by the library's file name, the entry points and the class factory.
#include <gtest/gtest.h>
#include <sched.h>

#include "platform/ui/scripted_host.h"
#include "shellext/com_server.h"
#include "shellext/shell_folder.h"
#include "testing/shellext.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;

platform::CLSID Class(int classByte) {
  platform::CLSID clsid{};
  platform::IIDFromString(ClassIdText(classByte), &clsid);
  return clsid;
}

class ComServerTest : public LibraryTest {
 protected:
  // Start-up as a copy of the library with this file name.
  bool Start(const std::string& name) {
    OmbrixApp app;  // the test's own: theApp stays as the test program made it
    const bool ok = app.InitInstance("/opt/tovarin/" + name + ".so");
    loaded_ = ok;
    return ok;
  }
  bool loaded_ = false;
};

TEST_F(ComServerTest, TheFileNameDecidesWhetherAndHowTheCopyConnects) {
  struct Case {
    const char* name;
    int index;        // -1: does not connect
    int deviceKind;   // -1: the all-zero id
    int storageKind;
  };
  const Case cases[] = {
      {"ombrix", -1, 0, 0},
      {"tovarin", -1, 0, 0},
      {"ombrixj1", 0, 1, 1},       // JB_UseCLDriver absent counts as set
      {"ml_ombrixj2", 0, 2, 1},    // a media-player copy connects like its base name
      {"ombrixii", 1, -1, -1},
      {"vesktamca", 9, 2, -1},
      {"pelagrin", 0, 5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_DeviceClient.ConnectToManager(77, KernelId(), KernelId(), 0);  // a mark start-up must replace
    g_cfKernelIdList = 0;
    ASSERT_TRUE(Start(c.name));
    EXPECT_EQ(g_ProductIdentity.moduleName, c.name);
    EXPECT_EQ(g_DllInstance, std::string("/opt/tovarin/") + c.name + ".so");
    if (c.index < 0) {
      EXPECT_EQ(g_DeviceClient.GetDeviceIndex(), 77);
      EXPECT_EQ(g_cfKernelIdList, 0u);
      continue;
    }
    EXPECT_EQ(g_DeviceClient.GetDeviceIndex(), c.index);
    EXPECT_EQ(g_DeviceClient.GetDeviceId(), c.deviceKind < 0 ? KernelId() : KernelId(c.deviceKind));
    EXPECT_EQ(g_DeviceClient.GetSegmentId(), c.storageKind < 0 ? KernelId() : KernelId(c.storageKind));
    EXPECT_NE(g_cfKernelIdList, 0u);
  }
  Settings().SetDword("JB_UseCLDriver", 0);
  ASSERT_TRUE(Start("ombrixj1"));
  EXPECT_EQ(g_DeviceClient.GetDeviceIndex(), 1);
  EXPECT_EQ(g_DeviceClient.GetSegmentId(), KernelId());
}

TEST_F(ComServerTest, AMisnamedCopySaysSoOnceAndServesNothing) {
  const unsigned live = g_LiveObjectCount.load();
  {
    platform::ScriptedHost host;
    host.ExpectMessageBox(platform::IDOK, "You have a misnamed DLL file.  Please reinstall.");
    OmbrixApp app;
    EXPECT_EQ(g_LiveObjectCount.load(), live + 1);
    EXPECT_FALSE(app.InitInstance("/opt/tovarin/ombrixq7.so"));
    EXPECT_EQ(host.shown().size(), 1u);
    EXPECT_EQ(host.shown()[0].flags, platform::MB_ICONINFORMATION);
    EXPECT_EQ(g_LiveObjectCount.load(), live);  // the refused copy no longer holds itself
  }
  EXPECT_EQ(g_LiveObjectCount.load(), live);
}

TEST_F(ComServerTest, StoredAffinityZeroPinsTheProcessToTheFirstProcessor) {
  Settings().SetDword("Kor_SMPAffinity", 0);
  ASSERT_TRUE(Start("ombrix"));
  cpu_set_t set;
  ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
  EXPECT_EQ(CPU_COUNT(&set), 1);
  EXPECT_TRUE(CPU_ISSET(0, &set));
}

TEST_F(ComServerTest, ClassesAreServedOnlyToTheNamesThatOwnThem) {
  struct Case {
    const char* name;
    int served;  // -1: none
  };
  const Case cases[] = {{"ombrix", 0x40}, {"tovarin", -1}, {"ombrixj1", 0x4B}, {"ml_ombrixj2", -1},
                        {"ombrixm2", 0x53}, {"orvik", 0x10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(theApp.InitInstance(std::string("/x/") + c.name + ".so"));
    for (int classByte : {0x40, 0x4B, 0x4E, 0x53, 0x10}) {
      void* p = reinterpret_cast<void*>(1);
      const platform::HRESULT hr = GetClassObject(Class(classByte), platform::IID_IClassFactory, &p);
      if (classByte == c.served) {
        ASSERT_EQ(hr, platform::S_OK);
        static_cast<platform::IClassFactory*>(p)->Release();
      } else {
        EXPECT_EQ(hr, platform::CLASS_E_CLASSNOTAVAILABLE) << classByte;
        EXPECT_EQ(p, nullptr);
      }
    }
  }
  // "ml_" + the base word serves a class that start-up would refuse the name for.
  g_ProductIdentity.InitFromPath("/x/ml_ombrix.so");
  platform::CLSID clsid{};
  EXPECT_EQ(GetModuleClassId(&clsid), platform::S_OK);
  EXPECT_EQ(clsid, Class(0x4E));
  g_ProductIdentity.InitFromPath("/x/tovarin.so");
  EXPECT_EQ(GetModuleClassId(&clsid), platform::E_FAIL);
}

TEST_F(ComServerTest, TheFactoryMakesFoldersAndRefusesAggregation) {
  ASSERT_TRUE(theApp.InitInstance("/x/ombrixj1.so"));
  platform::ComPtr<platform::IClassFactory> factory;
  ASSERT_EQ(GetClassObject(Class(0x4B), platform::IID_IClassFactory, factory.PutVoid()), platform::S_OK);
  const unsigned live = g_LiveObjectCount.load();

  platform::ComPtr<platform::IShellFolder> folder;
  ASSERT_EQ(factory->CreateInstance(nullptr, platform::IID_IShellFolder, folder.PutVoid()), platform::S_OK);
  EXPECT_EQ(g_LiveObjectCount.load(), live + 1);
  folder.Reset();
  EXPECT_EQ(g_LiveObjectCount.load(), live);

  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<platform::IUnknown*>(factory.Get()), platform::IID_IShellFolder, &p),
            platform::CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);
  // A folder answers no interface it does not have, and is gone when the query fails.
  EXPECT_EQ(factory->CreateInstance(nullptr, platform::IID_IMalloc, &p), platform::E_NOINTERFACE);
  EXPECT_EQ(g_LiveObjectCount.load(), live);
  EXPECT_EQ(factory->LockServer(true), platform::E_NOTIMPL);
  EXPECT_EQ(factory->QueryInterface(platform::IID_IShellFolder, &p), platform::E_NOINTERFACE);
}

TEST_F(ComServerTest, TheLibraryNeverAsksToBeUnloadedWhileItsApplicationLives) {
  EXPECT_GE(g_LiveObjectCount.load(), 1u);  // theApp
  EXPECT_EQ(CanUnloadNow(), platform::S_FALSE);
}

}  // namespace
}  // namespace shellexttest
