// Test support for comparing a device proxy with a local reference: every operation of
// the table run through both (see device_operations.h), with the message boxes the
// proxy shows meanwhile recorded.
#pragma once

#include <string>
#include <vector>

#include "testing/device_operations.h"
#include "platform/ui/host.h"

namespace optest {

// Answers every message box OK and keeps its text.
struct RecordingHost : platform::Host {
  std::vector<std::string> texts;
  int MessageBox(const std::string& text, const std::string&, platform::UINT) override {
    texts.push_back(text);
    return platform::IDOK;
  }
};

// Every operation run through `proxy` (got) and through a loopback client over `reference`
// (want), each from its own copy of `seeds`.
struct ProxyAndReferenceRun {
  ProxyAndReferenceRun(device::KernelDevice& proxy, device::KernelDevice& reference, const Context& seeds) : loopback(reference) {
    platform::SetCurrentHost(&host);
    Context remoteContext = seeds, localContext = seeds;
    got = RunEveryOperation(proxy, remoteContext);
    want = RunEveryOperation(loopback, localContext);
    platform::SetCurrentHost(nullptr);
  }
  ProxyAndReferenceRun(const ProxyAndReferenceRun&) = delete;
  ProxyAndReferenceRun& operator=(const ProxyAndReferenceRun&) = delete;

  RecordingHost host;  // the texts of the proxy's message boxes
  LoopbackClient loopback;
  std::vector<Outcome> got, want;
};

// What a failed comparison of two outcomes prints after the operation's name.
inline std::string GotAndWant(const Outcome& got, const Outcome& want) {
  return "\n got: " + got.result + " " + got.outs + " " + got.error + "\nwant: " + want.result + " " + want.outs +
         " " + want.error;
}

}  // namespace optest
