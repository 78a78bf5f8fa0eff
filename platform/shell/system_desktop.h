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

}  // namespace platform::system_desktop
