// The SDK's result codes, written once: the code, its name (kSdk<Name>) and the text the
// driver gives for it. Only data, so that both sides of the request road can read it: the
// simulated player returns the codes, the driver and the library put them in words.
//
// SDK_RESULTS(X) calls X(Name, code, text) once per code. The texts are looked up first
// match wins, in this order; "" marks a code that the driver turns into a device status of
// its own and never puts in words (SdkResultText gives "" for it, as for a code the table
// does not know).
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

using SdkResult = std::uint32_t;

// clang-format off
#define SDK_RESULTS(X)                                                                         \
  X(ErrFail,              0x80004005, "Unspecified failure.")                                  \
  X(ErrInvalidArg,        0x80070057, "Invalid or NULL arguments.")                            \
  X(ErrDownloadDiskFull,  0x90,       "Could not download, disk is full.")                     \
  X(ErrInvalidFileType,   0x88,       "Invalid filetype.")                                     \
  X(ErrCannotContinueCopy, 0x8E,      "Cannot continue copying file to PC.")                   \
  X(ErrFormatNotFound,    0x8A,       "Audio format not found.")                               \
  X(ErrInvalidId,         0x87,       "Invalid track, file, or playlist ID.")                  \
  X(ErrNoMoreItems,       0x85,       "No more items in enumeration.")                         \
  X(ErrCopyProtected,     0x18,       "File is copy-protected.")                               \
  X(ErrBusy,              0x8D,       "Device is busy with previous operation.")               \
  X(ErrLibraryCorrupt,    0x8C,       "Library on-board the device is corrupt.  Do a cleanup.") \
  X(ErrDriverLoad,        0x86,       "Device driver could not load.")                         \
  X(ErrDrmProtected,      0x95,       "File is DRM-protected.")                                \
  X(ErrNoStorageMedia,    0x99,       "Storage media not found.")                              \
  X(ErrStorageFull,       0x83,       "Not enough free memory to complete the operation.")     \
  X(ErrNotConnected,      0x80,       "Device not connected.")                                 \
  X(ErrPortInUse,         0x82,       "USB/1394 port is in use or unavailable.")               \
  X(ErrWriteProtected,    0x98,       "SmartMedia card is write protected.")                   \
  X(ErrTrackExists,       0x11,       "Track already exists on device.")                       \
  X(ErrTransfer,          0x16,       "General error during transfer.")                        \
  X(ErrUnsupportedType,   0x91,       "Unsupported item type or property type.")               \
  X(ErrBadPath,           0x8F,       "Selected file path is invalid, or disk is full.")       \
  X(ErrFileExists,        0x8B,       "")                                                      \
  X(ErrFolderExists,      0x1700,     "")
// clang-format on

constexpr SdkResult kSdkOk = 0;
#define SDK_RESULT_CONSTANT(Name, code, text) constexpr SdkResult kSdk##Name = code;
SDK_RESULTS(SDK_RESULT_CONSTANT)
#undef SDK_RESULT_CONSTANT

struct SdkResultRow {
  SdkResult code;
  std::string_view name;  // as the constant is named, without "kSdk"
  std::string_view text;
};

#define SDK_RESULT_ROW(Name, code, text) SdkResultRow{code, #Name, text},
inline constexpr SdkResultRow kSdkResultRows[] = {SDK_RESULTS(SDK_RESULT_ROW)};
#undef SDK_RESULT_ROW

// The code's text; "" for a code without one.
constexpr std::string_view SdkResultText(SdkResult code) {
  for (const SdkResultRow& row : kSdkResultRows) {
    if (row.code == code) return row.text;
  }
  return {};
}

}  // namespace platform
