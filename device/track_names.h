// Texts made from a track's tags by user-settable format strings, and the addresses of
// track streams. The manager and the library name these routines differently; both
// sets of names are offered and share one body.
//
// Format tokens, each replaced wherever it stands: %A artist, %L album, %T title,
// %G genre, %N track number ("%02d"), %C the codec's extension ("mp3"), %Y year
// ("%04d"). Artist, album, title and genre lose their surrounding white space, and an
// empty one becomes "Unknown". File and stream names also lose every "/" and "\" (a name
// on disk or in an address cannot hold them), and their control characters become blanks
// (a playlist's line made of one stays one line); the display name keeps them, so "AC/DC"
// reads as itself on screen, and the library's item names take the tags as they are
// (TrackFieldMode). The pattern is read once from left to right, so a tag that
// itself holds "%T" stays as it is.
//
// A device without a tag index (SupportsTagIndex() == 0) names every track by its own
// file name (KernelDevice::GetTrackFileName), whatever the pattern. Naming never fails:
// any device error gives the empty text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "device/kernel_id.h"
#include "device/records.h"

namespace device {

class KernelDevice;

// Settings and default patterns of the three names.
inline constexpr std::string_view kDisplayFormatSetting = "JB_TrackDisplayFormat";
inline constexpr std::string_view kDisplayFormatDefault = "%A - %L - %N - %T";
inline constexpr std::string_view kFileFormatSetting = "JB_Tx2PC_FilenameFormat";
inline constexpr std::string_view kFileFormatDefault = "%A - %L - %N - %T.%C";
inline constexpr std::string_view kStreamFormatSetting = "ForceUseDefaultFormatWithNoSlashes";

// How the tags go into a text: cleaned as above (file and stream names), as the manager
// shows them (display names: slashes kept, blanks at the ends trimmed, "Unknown" for an
// empty tag), or as they are (the library's item names: slashes, blanks and empty tags
// kept).
enum class TrackFieldMode { kCleaned, kDisplay, kRaw };

// The pattern filled from a record (no device, no settings), in one pass.
std::string FormatTrackPattern(std::string_view pattern, const TrackRecord& record,
                               TrackFieldMode mode = TrackFieldMode::kCleaned);

// The track's text by the string setting `settingName` (product key), or by
// `defaultFormat` when the setting is missing or empty.
std::string& FormatTrackText(KernelDevice& device, std::string& out, const KernelId& track,
                             std::string_view settingName, std::string_view defaultFormat,
                             TrackFieldMode mode = TrackFieldMode::kCleaned);

// JB_TrackDisplayFormat, default "%A - %L - %N - %T"; the tags keep their slashes.
std::string& GetTrackDisplayName(std::string& out, KernelDevice& device, const KernelId& track);
// The copy-to-computer file name: JB_Tx2PC_FilenameFormat, default "%A - %L - %N - %T.%C".
std::string& GetTrackFileName(std::string& out, KernelDevice& device, const KernelId& track);
// The name part of a stream address: the default file name without "#", "/" and "\",
// cleaned as a path (CleanPathName) and with every character that a URL cannot carry
// as it is written as %XX (blanks, quotes, "%" and the bytes of non-ASCII characters
// among them). At most 259 bytes: a longer name is shortened before its extension.
std::string& GetTrackStreamName(std::string& out, KernelDevice& device, const KernelId& track);

// The library's names for the same routines.
inline std::string& FormatTrackFileName(std::string& out, KernelDevice& device, const KernelId& track,
                                        std::string_view settingName, std::string_view defaultPattern) {
  return FormatTrackText(device, out, track, settingName, defaultPattern);
}
inline std::string& FormatTransferFileName(std::string& out, KernelDevice& device, const KernelId& track) {
  return GetTrackFileName(out, device, track);
}
inline std::string& FormatTrackUrlName(std::string& out, KernelDevice& device, const KernelId& track) {
  return GetTrackStreamName(out, device, track);
}

// The URL form of a name: control characters (CR, LF, tab ...) as blanks, since no
// address path may carry them, then unsafe bytes as %XX (upper-case hex), at most
// `maxBytes` bytes, shortened before the extension and never inside a character or an
// escape.
std::string CanonicalizeUrlName(std::string_view name, std::size_t maxBytes = 259);

// The port of every stream address: the manager's HTTP port, the setting VX_PortD, 8047
// when it is missing, below 1 or above 9999.
int GetStreamPort();

// "/stream/<item id>/<stream name>" and the whole address on the local machine,
// "http://127.0.0.1:<port>/stream/<item id>/<stream name>".
std::string FormatStreamPath(std::uint64_t itemId, std::string_view streamName);
std::string FormatStreamAddress(KernelDevice& device, const KernelId& track);

}  // namespace device
