// The desktop's applications for a type of file: its desktop entries (the registered
// programs), the default application of a type (xdg-mime), the person's own choice of
// it, and the registration of a program as a handler (a desktop entry of our own).
//
// Desktop entries are read from $XDG_DATA_HOME/applications and each folder of
// $XDG_DATA_DIRS (+ "/applications"), the first folder that holds an id winning; an entry
// marked Hidden, or whose TryExec program is missing, hides that id.
//
// Every function here is a question to the desktop or a change of its answers, and goes
// through the seam of desktop_queries.h (tests answer there; a cache keeps answers).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct DesktopApplication {
  std::string id;       // "vlc.desktop"
  std::string name;     // its Name, in the person's language
  std::string command;  // Exec
  std::string program;  // the program Exec runs: a POSIX path when found, else its first word
  std::string icon;     // Icon: a named icon or a file
};

// Applications whose entries handle any of the types, by id.
std::vector<DesktopApplication> ListApplicationsFor(const std::vector<std::string>& types);
// The entry of an id; nullopt when there is none (or it is hidden).
std::optional<DesktopApplication> FindApplication(std::string_view id);

// The id of the application the desktop opens the type with now ("" when none).
std::string DefaultApplicationId(std::string_view type);
// The same without the person's own choice: what the system's configuration says.
std::string SystemDefaultApplicationId(std::string_view type);
// The person's own choice ($XDG_CONFIG_HOME/mimeapps.list), "" when none was made.
std::string UserDefaultApplicationId(std::string_view type);
// Makes the application the person's choice for the type (xdg-mime default); false when
// that failed.
bool SetDefaultApplication(std::string_view type, std::string_view id);
// Removes the person's own choice for the type; true when there is none afterwards.
bool ResetDefaultApplication(std::string_view type);

enum class Registration { kRegistered, kAlreadyRegistered, kFailed };
// Registers a program (POSIX path) as a handler of the types: a desktop entry named after
// the program's file name ("<file name>.desktop", its id in `id`) in
// $XDG_DATA_HOME/applications, shown in no menu. An existing entry of that id is left as
// it is (kAlreadyRegistered).
Registration RegisterApplication(const std::string& program, const std::vector<std::string>& types, std::string& id);

}  // namespace platform
