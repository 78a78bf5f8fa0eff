#include "platform/ui/scripted_host.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace platform {

ScriptedHost::ScriptedHost() : previous_(&CurrentHost()) { SetCurrentHost(this); }

ScriptedHost::~ScriptedHost() {
  SetCurrentHost(previous_);
  for (const auto& e : expected_) {
    ADD_FAILURE() << "a message box answered with " << ButtonLabel(e.answer)
                  << (e.textContains.empty() ? "" : " and containing \"" + e.textContains + "\"") << " was never shown";
  }
}

ScriptedHost& ScriptedHost::ExpectMessageBox(int answer, std::string textContains) {
  std::lock_guard<std::mutex> lock(mutex_);
  expected_.push_back({answer, std::move(textContains)});
  return *this;
}

int ScriptedHost::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  ShownMessageBox box{text, caption, flags, GetOwnerWindow(), DefaultButton(flags)};
  if (expected_.empty()) {
    ADD_FAILURE() << "unexpected message box \"" << caption << "\": " << text;
  } else {
    Expectation e = expected_.front();
    expected_.pop_front();
    if (!e.textContains.empty() && text.find(e.textContains) == std::string::npos) {
      ADD_FAILURE() << "message box text \"" << text << "\" lacks \"" << e.textContains << "\"";
    }
    std::vector<int> buttons = MessageBoxButtons(flags);
    if (std::find(buttons.begin(), buttons.end(), e.answer) == buttons.end()) {
      ADD_FAILURE() << "the message box \"" << text << "\" has no " << ButtonLabel(e.answer) << " button";
    }
    box.answer = e.answer;
  }
  shown_.push_back(box);
  return box.answer;
}

std::vector<ShownMessageBox> ScriptedHost::shown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_;
}

std::vector<std::string> ScriptedHost::ShownTexts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& b : shown_) texts.push_back(b.text);
  return texts;
}

std::size_t ScriptedHost::pendingAnswers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return expected_.size();
}

}  // namespace platform
