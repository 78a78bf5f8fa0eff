// A started program telling the one that started it (StartOptions::awaitStart) that it
// runs. Header-only: the launcher links none of the platform code.
#pragma once

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

// The descriptor the starter waits on, by number (the started program has it as
// kStartReportDescriptor).
inline constexpr const char* kStartReportVariable = "TOVARIN_START_REPORT";
inline constexpr int kStartReportDescriptor = 3;

// Nothing when nobody waits. Called first thing in main, so that the descriptor is not
// handed on to the programs this one starts.
inline void ReportStarted() {
  const char* text = ::getenv(kStartReportVariable);
  if (text == nullptr) return;
  char* end = nullptr;
  const long fd = ::strtol(text, &end, 10);
  ::unsetenv(kStartReportVariable);
  struct stat st {};
  if (end == text || *end != '\0' || fd <= 2 || fd > 65535 || ::fstat(static_cast<int>(fd), &st) != 0 ||
      !S_ISFIFO(st.st_mode)) {
    return;
  }
  const char started = 1;
  while (::write(static_cast<int>(fd), &started, 1) < 0 && errno == EINTR) {
  }
  ::close(static_cast<int>(fd));
}

}  // namespace platform
