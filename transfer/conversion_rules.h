// Conversion rules: which formats the player family plays, which decoders and encoders
// this computer has, which conversions are possible for a source format, and the rule
// the user chose for it.
//
// A rule is a 32-bit value: the high word the action (0 send unchanged, 1 convert to the
// low word's format, 2 reduce the bitrate by encoding again in the source format), the low
// word a codec code (device/codec.h). The rule of each source format is stored as
// "Xc2_S%02d"; conversion during transfers is on while `Xc2_On` is not 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace transfer {

constexpr std::uint32_t kRuleSeparator = 0xFFFFFFFF;  // between groups of a choice list
constexpr std::uint32_t kRuleConvert = 0x10000;
constexpr std::uint32_t kRuleReduceBitrate = 0x20000;

// By the variant code of the process's product identity: 2 wav mp3 wma ogg flac; 4 wav
// mp3 m4a aa m4p m4b mp4; 7 wav mp3 wma ogg; 8 mp3 wma; any other wav mp3 wma.
bool IsFormatPlayable(int format);

// Whether a decoder (an encoder) of the format can be loaded on this computer, and the
// name of its library for the options page (set only when there is one). Both register
// the ACM's codecs first.
bool IsDecoderAvailable(int format, std::string& libraryName);
bool IsEncoderAvailable(int format, std::string& libraryName);

// Once per process: every value of the ACM's driver list in HKEY_LOCAL_MACHINE
// ("Software\Microsoft\Windows NT\CurrentVersion\Drivers32") whose name holds "msacm."
// (and not "lame") names a codec library, which is loaded and added to the ACM under the
// value's name.
void RegisterAcmCodecs();

// The choices for a source format in display order (kRuleSeparator between groups), and
// the index of the stored rule among them (0 when it is not there).
void ListConversionChoices(int format, std::vector<std::uint32_t>& choices, int& selected);
// The rule in force: the stored one when it is still possible, else the first choice (0
// when there is none).
std::uint32_t GetConversionRule(int format);
// "Transfer without Tonaveling", "Convert to MP3, then Transfer", "Reduce Bitrate, then
// Transfer" or "Invalid Rule".
void DescribeConversionRule(std::string& text, std::uint32_t rule);
// Stores the rule of a source format (1 to 11; others are ignored).
void WriteConversionRule(int format, std::uint32_t rule);
// Deletes the rules of formats 1 to 11.
void DeleteConversionRules();

// The encoder's settings for a target format ("Xc_MP3_RateMode_VBR", "Xc_MP3_VBRQuality",
// "Xc_MP3_CBRBitrate" ...), each over the default that the transcoding options page shows:
// constant 128 kbit/s; VBR quality 4 for MP3 (0 best .. 9), 50 for WMA.
struct EncoderSettings {
  bool vbr = false;
  int quality = 0;
  int bitrate = 0;
  int Value() const { return vbr ? quality : bitrate; }
};
constexpr int kDefaultCbrBitrate = 128;
constexpr int kDefaultMp3VbrQuality = 4;
constexpr int kDefaultWmaVbrQuality = 50;
int DefaultVbrQuality(int targetCodec);
EncoderSettings ReadEncoderSettings(int targetCodec);

// Whether a file is sent as audio: its format is played, or conversion is on and the rule
// for its format converts or reduces.
bool IsTransferableFormat(std::string_view path);

}  // namespace transfer
