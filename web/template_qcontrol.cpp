// The qcontrol command of the page-template language: argument resolution and the
// result variable "qresult".
#include <algorithm>

#include "common/escape.h"
#include "platform/text/text.h"
#include "web/template.h"

ExpQueueControl::ExpQueueControl(TemplatePage& page, std::vector<std::string> args) : Exp(page) {
  for (std::size_t i = 0; i < args.size() && i < 4; ++i) args_[i] = std::move(args[i]);
}

void ExpQueueControl::ResolveArguments(const PageVariables& variables) {
  static const char* const kNames[] = {"qcmd", "qarg1", "qarg2", "qarg3"};
  for (int i = 0; i < 4; ++i) {
    if (args_[i] == "from_url") args_[i] = HtmlUnescape(GetPageVariable(variables, kNames[i]));
  }
}

void ExpQueueControl::Execute(TemplateOutput&, PageVariables& variables, KernelDevice&) {
  ResolveArguments(variables);
  const std::string command = platform::Trim(platform::ToLowerAscii(args_[0]));
  std::string result;
  // The queue and playback commands are added here; an unknown one only reports itself.
  if (!command.empty()) result = "Unknown queue control command: '" + HtmlEscape(command) + "'.";
  variables["qresult"] = result;
}
