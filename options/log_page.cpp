#include "options/log_page.h"

#include "transfer/log_file.h"

namespace options {

using namespace platform::layout;

const CLogDlg::LogButton CLogDlg::kButtons[5] = {
    {1047, "Filelist Build Log", "_exlog.txt"}, {1048, "Transfer Filelist", "_explist.txt"},
    {1049, "Transfer Log", "_txlog.txt"},       {1050, "Tag WriteBack Log", "_twblog.txt"},
    {1134, "Brevlink Log", "_synclog.txt"},
};

const platform::DialogTemplate& LogPageTemplate() {
  static const platform::DialogTemplate t = [] {
    std::vector<platform::LayoutNode> buttons;
    for (const CLogDlg::LogButton& b : CLogDlg::kButtons) buttons.push_back(Button(b.id, b.caption).Width(22));
    return platform::MakeTemplate(
        CLogDlg::kTemplateId, "Transfer Logs",
        Column({Text("The logs of the last transfer, file list build, tag write-back and Brevlink run:"),
                Group("Logs", std::move(buttons))}),
        platform::kFrameChild);
  }();
  return t;
}

CLogDlg::CLogDlg() : PropertyPage(LogPageTemplate()) {
  for (const LogButton& b : kButtons) {
    const char* file = b.file;
    HandleCommand(b.id, [file] { transfer::OpenLogFile(file); });
  }
}

}  // namespace options
