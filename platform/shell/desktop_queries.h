// The one seam through which the desktop is asked about its applications: the applications
// for a type, the default one, the person's own choice, a program's version, and the
// changes to them. The functions of applications.h and file_version.h go through it.
// Unit tests install answers of their own, so that none starts the desktop's tools
// (xdg-mime, dpkg-query). While a DesktopQueryCache lives, each question reaches the
// desktop once; a change made through the seam forgets the answers. The default
// application of a type and an entry are kept for the process as long as the files they
// are read from are unchanged: every menu names the default player.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shell/applications.h"
#include "platform/shell/file_version.h"

namespace platform {

class DesktopQueries {
 public:
  virtual ~DesktopQueries() = default;
  virtual std::vector<DesktopApplication> ListApplicationsFor(const std::vector<std::string>& types) = 0;
  virtual std::optional<DesktopApplication> FindApplication(std::string_view id) = 0;
  virtual std::string DefaultApplicationId(std::string_view type) = 0;
  virtual std::string SystemDefaultApplicationId(std::string_view type) = 0;
  virtual std::string UserDefaultApplicationId(std::string_view type) = 0;
  virtual std::optional<FileVersionInfo> GetFileVersionInfo(std::string_view posixPath) = 0;
  virtual bool SetDefaultApplication(std::string_view type, std::string_view id) = 0;
  virtual bool ResetDefaultApplication(std::string_view type) = 0;
  virtual Registration RegisterApplication(const std::string& program, const std::vector<std::string>& types,
                                           std::string& id) = 0;
  // Changes whenever answers may have changed beside the desktop's files (answers of a
  // test's own): kept answers hold only while it stays the same.
  virtual std::string Revision() { return {}; }
};

// Installs answers in place of the desktop (null: the desktop again); the ones before.
DesktopQueries* SetDesktopQueries(DesktopQueries* queries);

// While one lives (any thread), answers are kept: for the life of a window that asks the
// same questions again and again, as the options sheet does.
class DesktopQueryCache {
 public:
  DesktopQueryCache();
  ~DesktopQueryCache();
  DesktopQueryCache(const DesktopQueryCache&) = delete;
  DesktopQueryCache& operator=(const DesktopQueryCache&) = delete;
};

}  // namespace platform
