// Invariants of the data the programs keep: checked in every build, release included.
//
// TOVARIN_INVARIANT(condition) is true when the condition holds. When it does not, the
// data the caller guards is not what the code that made it promises: the break is logged
// to standard error with its place, and the caller fails safe (an error for the request,
// nothing written) instead of acting on it. Only for what the program itself made; input
// from outside is checked with errors, never here. Internal checks that are cheap to get
// wrong only while developing use plain assert.
#pragma once

#include <cstdio>

namespace platform {

inline bool ReportBrokenInvariant(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: broken invariant: %s\n", file, line, condition);
  return false;
}

}  // namespace platform

#define TOVARIN_INVARIANT(condition) \
  (static_cast<bool>(condition) || ::platform::ReportBrokenInvariant(#condition, __FILE__, __LINE__))
