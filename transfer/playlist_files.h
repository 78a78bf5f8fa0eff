// Playlist files as the transfer list expansion reads them: which extensions are
// playlists, and the entry path a line of each format gives. Lines come from files a
// person selected, so anything may be in them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace transfer {

enum class PlaylistFormat { kNone, kM3u, kPls, kBpl, kB4s, kWpl, kRmp, kAsx };

// By the extension with its dot, any case (".m3u" and ".m3u8", ".pls", ".bpl", ".b4s",
// ".wpl", ".rmp", ".asx"); kNone for any other.
PlaylistFormat PlaylistFormatOf(std::string_view extension);

// The entry of one line, as read. The line is trimmed of blanks; empty lines, lines that
// begin with "#" and lines without the format's marker give nothing:
//   m3u  the line itself
//   pls  lines beginning "file" (any case): the text after the first "="
//   bpl, b4s  lines holding `playstring="file:`: the text after it, trimmed, less its
//        last two characters
//   wpl  lines holding "media src=": the value in its quotes (single or double), XML's
//        named entities and numeric character references decoded
//   rmp  the text between "<filename>" and "</filename>", decoded the same way
//   asx  lines holding "<ref" with an "href" attribute: its value, decoded the same way
// Markers are found without regard to case.
std::optional<std::string> PlaylistEntry(PlaylistFormat format, std::string_view line);

// Every entry of a playlist's text (lines end in LF or CR LF; a UTF-8 byte order mark at
// its start is not part of the first line).
std::vector<std::string> PlaylistEntries(PlaylistFormat format, std::string_view text);

}  // namespace transfer
