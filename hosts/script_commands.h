// What the hosts' script modes share (shellhost's and mlhost's): reading the commands,
// the table of a host's commands that runs them and prints their help, and the list
// commands: a list's rows as text, a selection named by row numbers and a click on a
// column by its title.
#pragma once

#include <cstdlib>
#include <functional>
#include <istream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text/text.h"
#include "platform/ui/list_view.h"

namespace hostscript {

// The next command on `in`, split into its verb and the rest; blank lines and "#"
// comments are skipped, and each command is echoed as "> command". False at the end.
inline bool NextCommand(std::istream& in, std::string& verb, std::string& arg,
                        const std::function<void(const std::string&)>& echo) {
  std::string line;
  while (std::getline(in, line)) {
    const std::string command = platform::Trim(line);
    if (command.empty() || command[0] == '#') continue;
    echo("> " + command);
    const std::size_t space = command.find(' ');
    verb = command.substr(0, space);
    arg = space == std::string::npos ? "" : platform::Trim(command.substr(space + 1));
    return true;
  }
  return false;
}

// One command of a host's script: its verb, its arguments and what it does as the help
// shows them, and what runs it (null: it ends the script).
template <class Target>
struct ScriptCommand {
  const char* verb;
  const char* arguments;  // "" for none
  const char* help;
  void (*run)(Target&, const std::string& arg);
};

// The command of a verb; null when there is none.
template <class Target>
const ScriptCommand<Target>* FindCommand(std::span<const ScriptCommand<Target>> commands, const std::string& verb) {
  for (const ScriptCommand<Target>& c : commands) {
    if (verb == c.verb) return &c;
  }
  return nullptr;
}

// The help of the commands: one line each, the verb and its arguments, then what it does
// (on a line of its own below a long verb).
template <class Target>
std::string CommandHelp(std::span<const ScriptCommand<Target>> commands) {
  constexpr std::size_t kColumn = 26;
  std::string out;
  for (const ScriptCommand<Target>& c : commands) {
    std::string use = "  " + std::string(c.verb) + (*c.arguments != '\0' ? std::string(" ") + c.arguments : "");
    use += use.size() + 2 <= kColumn ? std::string(kColumn - use.size(), ' ') : "\n" + std::string(kColumn, ' ');
    out += use + c.help + "\n";
  }
  return out;
}

// Runs the commands on `in` until its end or a command that ends the script; a verb the
// table lacks prints an error.
template <class Target>
void RunCommands(std::istream& in, std::span<const ScriptCommand<Target>> commands, Target& target,
                 const std::function<void(const std::string&)>& print, const std::function<void()>& after = nullptr) {
  std::string verb;
  std::string arg;
  while (NextCommand(in, verb, arg, print)) {
    const ScriptCommand<Target>* command = FindCommand(commands, verb);
    if (command != nullptr && command->run == nullptr) break;
    if (command != nullptr) {
      command->run(target, arg);
    } else {
      print("error: unknown command \"" + verb + "\"");
    }
    if (after) after();
  }
}

// A number argument: decimal, or hexadecimal after "0x" (command ids are written either way).
inline int Number(const std::string& text) { return static_cast<int>(std::strtol(text.c_str(), nullptr, 0)); }

// Cells joined by tabs.
inline std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "\t" : "") + parts[i];
  return out;
}

// "# " and the column titles in display order, then each row's texts in that order.
inline std::vector<std::string> ListRows(platform::ListViewControl& list) {
  const std::vector<int> order = list.GetColumnOrderArray();
  std::vector<std::string> titles;
  for (int c : order) titles.push_back(list.GetColumn(c).title);
  std::vector<std::string> lines = {"# " + Joined(titles)};
  for (int row = 0; row < list.GetItemCount(); ++row) {
    std::vector<std::string> texts;
    for (int c : order) texts.push_back(list.GetItemText(row, c));
    lines.push_back(Joined(texts));
  }
  return lines;
}

// Selects, as a person would, "all" rows, "none", or the rows of the numbers (from 0);
// false when a row does not exist.
inline bool SelectListRows(platform::ListViewControl& list, const std::string& what) {
  std::vector<int> rows;
  if (what == "all") {
    for (int row = 0; row < list.GetItemCount(); ++row) rows.push_back(row);
  } else if (what != "none") {
    std::istringstream in(what);
    for (int row; in >> row;) rows.push_back(row);
  }
  return list.UserSelectRows(rows);
}

// A click on the header of the column with this title; false when there is none.
inline bool ClickColumnTitled(platform::ListViewControl& list, const std::string& title) {
  for (int c = 0; c < list.GetColumnCount(); ++c) {
    if (list.GetColumn(c).title == title) return list.UserClickColumn(c);
  }
  return false;
}

}  // namespace hostscript
