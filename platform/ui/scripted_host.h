// ScriptedHost: the host for tests. Answers come from a queue the test fills beforehand;
// everything shown is recorded in order. A prompt that no queued answer was meant for, an
// answer that is not one of the box's buttons, a text that does not match the expectation,
// and answers left unused at the end are test failures (gtest). It makes itself the
// current host while it lives.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/host.h"

namespace platform {

struct ShownMessageBox {
  std::string text;
  std::string caption;
  UINT flags = 0;
  HWND owner = 0;
  int answer = 0;
};

class ScriptedHost : public Host {
 public:
  ScriptedHost();
  ~ScriptedHost() override;
  ScriptedHost(const ScriptedHost&) = delete;
  ScriptedHost& operator=(const ScriptedHost&) = delete;

  // Queues the answer to the next message box; a non-empty `textContains` must occur in
  // that box's text.
  ScriptedHost& ExpectMessageBox(int answer, std::string textContains = {});

  int MessageBox(const std::string& text, const std::string& caption, UINT flags) override;

  std::vector<ShownMessageBox> shown() const;
  std::vector<std::string> ShownTexts() const;
  std::size_t pendingAnswers() const;

 private:
  struct Expectation {
    int answer;
    std::string textContains;
  };
  mutable std::mutex mutex_;
  std::deque<Expectation> expected_;
  std::vector<ShownMessageBox> shown_;
  Host* previous_;
};

}  // namespace platform
