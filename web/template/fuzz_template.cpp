// libFuzzer target: any bytes as a page of the template language. The tokenizer, the
// parser and the simple commands must end without a sanitizer report whatever the
// nesting, and the tokens must keep the promises the parser relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "device/device_error.h"
#include "device/memory_device.h"
#include "web/pages/template_loop.h"
#include "web/template/template.h"

using namespace web;

using namespace device;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckToken(const Token& token) {
  Check(!token.name.empty());
  if (token.name == "html") return;
  Check(token.name.find('(') == std::string::npos);
  Check(token.name.front() != ' ' && token.name.back() != ' ');
  for (const std::string& arg : token.args) {
    Check(!arg.empty());
    Check(arg.find(',') == std::string::npos && arg.find(')') == std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // One line through the tokenizer, and the whole input as one command.
  TokenList tokens;
  std::string line(text.substr(0, text.find('\n')));
  line += "\r\n";
  TokenizeTemplateLine(line, tokens);
  for (const Token& token : tokens) CheckToken(token);
  if (const std::optional<Token> token = ParseTemplateCommand(text)) CheckToken(*token);

  // The whole input as a page: parsed, then run. Includes find nothing here.
  static MemoryDevice device;
  device.ClearQueue();  // qcontrol may have filled it in an earlier run
  StringTemplateOutput output;
  TemplatePage page("fuzz", output, [](std::string_view, std::string& out) {
    out = "no files";
    return false;
  });
  PageVariables variables = {{"x", "1"}, {"ltype", "from_url"}, {"qcmd", "from_url"}};
  ExpList nodes = ParseTemplateText(text, page);
  try {
    DevicePageContext context(device);
    ExecuteTemplateNodes(nodes, output, variables, context, true);
  } catch (const DeviceError&) {
    // A loop over an item the player does not hold ends the page, as in the server.
  }
  // Text outside commands comes out; nothing comes out of nothing.
  if (text.empty()) Check(output.text().empty());
  return 0;
}
