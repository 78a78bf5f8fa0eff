// The desktop's own answers, asked every time: what the seam of desktop_queries.h answers
// with when no test has installed answers of its own. Only that seam calls these.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shell/applications.h"
#include "platform/shell/file_version.h"

namespace platform::system_desktop {

std::vector<DesktopApplication> ListApplicationsFor(const std::vector<std::string>& types);
std::optional<DesktopApplication> FindApplication(std::string_view id);
std::string DefaultApplicationId(std::string_view type);
std::string SystemDefaultApplicationId(std::string_view type);
std::string UserDefaultApplicationId(std::string_view type);
bool SetDefaultApplication(std::string_view type, std::string_view id);
bool ResetDefaultApplication(std::string_view type);
Registration RegisterApplication(const std::string& program, const std::vector<std::string>& types, std::string& id);
std::optional<FileVersionInfo> GetFileVersionInfo(std::string_view posixPath);

// The files and folders the default applications are read from (xdg-mime's generic back
// end: the mimeapps.list files, defaults.list, mimeinfo.cache, the applications folders),
// whether they exist or not.
std::vector<std::string> DefaultApplicationSources();
// The files that may hold the entry of an id, in the order FindApplication tries them.
std::vector<std::string> EntrySources(std::string_view id);

}  // namespace platform::system_desktop
