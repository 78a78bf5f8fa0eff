#include "shellext/library.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <vector>

#include "common/identity.h"
#include "platform/settings/settings.h"
#include "platform/ui/host.h"

using namespace device;

namespace shellext {

std::atomic<unsigned> g_LiveObjectCount{0};
KernelDeviceClient g_DeviceClient;
std::string g_DllInstance;
platform::UINT g_cfKernelIdList = 0;
platform::UINT g_cfNoTransferToSelf = 0;

namespace {

std::atomic<KernelDevice*> g_testDevice{nullptr};

}  // namespace

KernelDevice& Device() {
  KernelDevice* device = g_testDevice.load();
  return device != nullptr ? *device : g_DeviceClient;
}

void SetDeviceForTesting(KernelDevice* device) { g_testDevice.store(device); }

int Capability(int (KernelDevice::*ask)()) {
  try {
    return (Device().*ask)();
  } catch (const std::exception&) {
    return 0;
  }
}

void SetOwnerWindow(platform::HWND owner) { platform::CurrentHost().SetOwnerWindow(owner); }

platform::HWND GetOwnerWindow() {
  platform::Host& host = platform::CurrentHost();
  const platform::HWND owner = host.GetOwnerWindow();
  if (owner != 0 && !platform::IsWindow(owner)) {
    host.SetOwnerWindow(0);
    return 0;
  }
  return owner;
}

void DebugTrace(const char* format, ...) {
  static const bool on = [] {
    auto key = platform::SettingsKey::Open(platform::Hive::CurrentUser, "Software\\Quorvane Software\\Shared");
    if (!key) return false;
    for (const std::string& name : key->SubKeyNames()) {
      if (name == "PipeBufferSize") return true;
    }
    return false;
  }();
  if (!on) return;
  va_list args;
  va_start(args, format);
  const std::string text = platform::VPrintf(format, args);
  va_end(args);
  std::fprintf(stderr, "%u: %s", platform::GetTickCount(), text.c_str());
}

std::string FormatDateTimeLocale(std::int64_t time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return {};
  // The user's formats, without touching the process's own locale.
  locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) user = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  char date[128] = {};
  char clock[128] = {};
  strftime_l(date, sizeof date, "%x", &tm, user);
  strftime_l(clock, sizeof clock, "%X", &tm, user);
  freelocale(user);
  return std::string(date) + " " + clock;
}

namespace {

// The user's numeric conventions, made once: a list of 10,000 sizes formats each.
locale_t UserNumericLocale() {
  static const locale_t user = [] {
    locale_t l = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
    return l != static_cast<locale_t>(0) ? l : newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  }();
  return user;
}

// Formats with the user's numeric conventions on this thread only.
template <class... Args>
std::string FormatNumeric(const char* format, Args... args) {
  const locale_t previous = uselocale(UserNumericLocale());
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  uselocale(previous);
  return text;
}

}  // namespace

std::string FormatIntegerLocale(std::int64_t value) { return FormatNumeric("%'lld", static_cast<long long>(value)); }

std::string FormatFloatLocale(double value) { return FormatNumeric("%'.2f", value); }

}  // namespace shellext
