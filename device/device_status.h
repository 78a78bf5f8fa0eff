// The statuses device operations answer (an operation's int result): one list for the
// in-memory device, the player driver and every caller that tells them apart.
#pragma once

namespace device {

constexpr int kStatusOk = 0;
constexpr int kStatusFailed = 1;
constexpr int kStatusBusy = 2;
constexpr int kStatusPlaylistExists = 4;
constexpr int kStatusRefused = 6;
constexpr int kStatusFileExists = 7;
constexpr int kStatusStorageFull = 8;
constexpr int kStatusFinished = 9;  // a transfer is complete; no completion notice follows
constexpr int kStatusFolderExists = 11;

// The value a completion notice carries when the player's storage ran full during the
// copy (the player's own code, passed on as it came).
constexpr int kNoticeStorageFull = 0x83;

}  // namespace device
