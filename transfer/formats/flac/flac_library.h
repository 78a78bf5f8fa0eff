// libFLAC is loaded at run time (platform/kernel/shared_library.h), not linked, so that a
// program that never touches a FLAC file does not load it at its start; its headers still
// give the types. The tag reader and the decoder each keep a table of the functions they
// call.
#pragma once

namespace transfer {

// The system's libFLAC: the reader's, and the decoder's unless its setting names another.
inline constexpr char kFlacLibraryName[] = "libFLAC.so.12";

}  // namespace transfer
