// Execution of the page-template language: the page run, the simple commands and include,
// and the loop and qcontrol nodes up to the context that runs them.
#include <fstream>
#include <sstream>

#include "common/escape.h"
#include "common/settings.h"
#include "platform/paths/paths.h"
#include "web/http/http_exception.h"
#include "web/template/template.h"

namespace web {

namespace {

const std::string kEmpty;

// What a setting read leaves when the value does not exist (no setting holds a NUL).
const std::string kMissing(1, '\0');

}  // namespace

const std::string& GetPageVariable(const PageVariables& variables, std::string_view name) {
  const auto it = variables.find(name);
  return it == variables.end() ? kEmpty : it->second;
}

TemplatePage::TemplatePage(std::string path, TemplateOutput& output, TemplateFileResolver resolver)
    : path_(std::move(path)),
      output_(&output),
      resolver_(std::make_shared<TemplateFileResolver>(std::move(resolver))),
      includes_(std::make_shared<int>(0)) {}

TemplatePage::TemplatePage(std::string path, TemplatePage& parent)
    : path_(std::move(path)),
      output_(parent.output_),
      resolver_(parent.resolver_),
      includes_(parent.includes_),
      depth_(parent.depth_ + 1) {}

bool TemplatePage::TakeInclude() {
  if (*includes_ >= kMaxIncludesPerPage) return false;
  ++*includes_;
  return true;
}

void ExpHtml::Execute(TemplateOutput& output, PageVariables&, TemplateContext&) { output.Write(text_); }

void ExpEcho::Execute(TemplateOutput& output, PageVariables& variables, TemplateContext&) {
  const std::string& value = GetPageVariable(variables, name_);
  output.Write(encode_ ? EncodeUrlTokens(value) : value);
}

void ExpSet::Execute(TemplateOutput&, PageVariables& variables, TemplateContext&) { variables[name_] = value_; }

void ExpIf::Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) {
  const auto it = variables.find(name_);
  ExecuteTemplateNodes(it != variables.end() && !it->second.empty() ? then_ : else_, output, variables, context);
}

void ExpInclude::Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) {
  const std::string cannot = "Cannot include '" + name_ + "'";
  if (page().depth() + 1 > kMaxIncludeDepth) {
    output.Write(cannot + ": includes are nested more than " + std::to_string(kMaxIncludeDepth) + " deep.");
    return;
  }
  std::string path;
  const TemplateFileResolver& resolve = page().resolver();
  const bool resolved = resolve && resolve(name_, path);
  const platform::FileInfo info = resolved ? platform::QueryFile(path) : platform::FileInfo();
  if (!info.exists || info.directory) {
    output.Write(cannot + ".");
    return;
  }
  if (!page().TakeInclude()) {
    output.Write(cannot + ": the page has more than " + std::to_string(kMaxIncludesPerPage) + " includes.");
    return;
  }
  TemplatePage included(path, page());
  RunTemplatePage(included, variables, context);
}

ExpLoop::ExpLoop(TemplatePage& page, std::vector<std::string> args) : Exp(page) {
  for (std::size_t i = 0; i < args.size() && i < 6; ++i) args_[i] = std::move(args[i]);
}

void ExpLoop::ResolveArguments(const PageVariables& variables) {
  static const char* const kNames[] = {"ltype", "larg1", "larg2", "larg3", "larg4", "larg5"};
  for (int i = 0; i < 6; ++i) {
    if (args_[i] != "from_url") continue;
    args_[i] = HtmlUnescape(GetPageVariable(variables, kNames[i]));
    fromUrl_[i] = true;
  }
}

void ExpLoop::RunBody(TemplateOutput& output, PageVariables& variables, TemplateContext& context) {
  ExecuteTemplateNodes(body_, output, variables, context);
}

void ExpLoop::Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) {
  ResolveArguments(variables);
  context.RunLoop(*this, output, variables);
}

ExpQueueControl::ExpQueueControl(TemplatePage& page, std::vector<std::string> args) : Exp(page) {
  for (std::size_t i = 0; i < args.size() && i < 4; ++i) args_[i] = std::move(args[i]);
}

void ExpQueueControl::ResolveArguments(const PageVariables& variables) {
  static const char* const kNames[] = {"qcmd", "qarg1", "qarg2", "qarg3"};
  for (int i = 0; i < 4; ++i) {
    if (args_[i] == "from_url") args_[i] = HtmlUnescape(GetPageVariable(variables, kNames[i]));
  }
}

void ExpQueueControl::Execute(TemplateOutput& output, PageVariables& variables, TemplateContext& context) {
  ResolveArguments(variables);
  context.RunQueueControl(*this, output, variables);
}

void ExecuteTemplateNodes(ExpList& nodes, TemplateOutput& output, PageVariables& variables, TemplateContext& context,
                          bool release) {
  for (auto& node : nodes) {
    node->Execute(output, variables, context);
    if (release) node.reset();
  }
}

void RunTemplateText(std::string_view text, TemplatePage& page, PageVariables& variables, TemplateContext& context) {
  ExpList nodes = ParseTemplateText(text, page);
  std::string lastQuery = kMissing;
  ReadSettingString("SQL_LastSearchQuery", lastQuery);
  if (lastQuery != kMissing) variables["last_query"] = HtmlEscape(lastQuery);
  ExecuteTemplateNodes(nodes, page.output(), variables, context, true);
}

void RunTemplatePage(TemplatePage& page, PageVariables& variables, TemplateContext& context) {
  std::ifstream in(platform::ToPosixPath(page.path()), std::ios::binary);
  std::stringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) {
    throw FileException(FileException::Cause::Generic, "Could not read the page file.");
  }
  RunTemplateText(text.str(), page, variables, context);
}

}  // namespace web
