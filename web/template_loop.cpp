// The loop command of the page-template language: argument resolution, the body runner
// and the dispatch on the loop type.
#include "common/escape.h"
#include "web/template.h"

ExpLoop::ExpLoop(TemplatePage& page, std::vector<std::string> args) : Exp(page) {
  for (std::size_t i = 0; i < args.size() && i < 6; ++i) args_[i] = std::move(args[i]);
}

void ExpLoop::ResolveArguments(const PageVariables& variables) {
  static const char* const kNames[] = {"ltype", "larg1", "larg2", "larg3", "larg4", "larg5"};
  for (int i = 0; i < 6; ++i) {
    if (args_[i] == "from_url") args_[i] = HtmlUnescape(GetPageVariable(variables, kNames[i]));
  }
}

void ExpLoop::RunBody(TemplateOutput& output, PageVariables& variables, KernelDevice& device) {
  ExecuteTemplateNodes(body_, output, variables, device);
}

void ExpLoop::Execute(TemplateOutput& output, PageVariables& variables, KernelDevice&) {
  ResolveArguments(variables);
  const std::string& type = args_[0];
  if (type.empty()) return;
  // The loop types over the player's content are added here; an unknown type runs nothing.
  output.Write("Unknown loop type: '" + HtmlEscape(type) + "'.");
}
