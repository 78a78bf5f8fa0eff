// The gallery's samples of the tag tools: the tag editor's layouts, the field picker, the
// album lookup and the transfer preparation sheet's pages (its Options tab among them).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/ui_window.h"
#include "platform/ui/wx/wx_host.h"

namespace gallery {

struct TagToolSample {
  std::string name;
  std::string page;  // sheets: the page to show (its title)
  std::function<void(platform::WxHost&, const std::function<void(platform::UiWindow&)>& shown)> run;
};

std::vector<TagToolSample> TagToolSamples();

}  // namespace gallery
