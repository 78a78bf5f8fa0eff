#include "transfer/conversion_rules.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "common/identity.h"
#include "common/settings.h"
#include "device/codec.h"
#include "platform/media/acm.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/text/text.h"
#include "transfer/formats/audio_format.h"

using namespace device;

namespace transfer {

namespace {

constexpr int kFirstFormat = 1;
constexpr int kLastFormat = 11;

std::string RuleName(int format) {
  char name[16];
  std::snprintf(name, sizeof name, "Xc2_S%02d", format);
  return name;
}

}  // namespace

bool IsFormatPlayable(int format) {
  switch (g_ProductIdentity.variantCode) {
    case 2: return format == kCodecWav || format == kCodecMp3 || format == kCodecWma || format == kCodecOgg ||
                   format == kCodecFlac;
    case 4: return format == kCodecWav || format == kCodecMp3 || (format >= kCodecM4a && format <= kCodecMp4);
    case 7: return format == kCodecWav || format == kCodecMp3 || format == kCodecWma || format == kCodecOgg;
    case 8: return format == kCodecMp3 || format == kCodecWma;
    default: return format == kCodecWav || format == kCodecMp3 || format == kCodecWma;
  }
}

bool IsDecoderAvailable(int format, std::string& libraryName) {
  RegisterAcmCodecs();
  const AudioFormat* f = FindAudioFormat(format);
  std::string name;
  if (!f || !f->decoder || !f->decoder->Available(name)) return false;
  libraryName = name;
  return true;
}

bool IsEncoderAvailable(int format, std::string& libraryName) {
  RegisterAcmCodecs();
  const AudioFormat* f = FindAudioFormat(format);
  std::string name;
  if (!f || !f->encoder || !f->encoder->Available(name)) return false;
  libraryName = name;
  return true;
}

void RegisterAcmCodecs() {
  static std::once_flag once;
  std::call_once(once, [] {
    const auto key = platform::SettingsKey::Open(platform::Hive::LocalMachine,
                                                 "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32");
    if (!key) return;
    for (const std::string& name : key->ValueNames()) {
      const std::string lower = platform::ToLowerAscii(name);
      if (name.size() > 260 || lower.find("msacm.") == std::string::npos || lower.find("lame") != std::string::npos)
        continue;
      const auto value = key->Get(name);
      if (!value || (value->type != platform::ValueType::String && value->type != platform::ValueType::ExpandString))
        continue;
      std::string data = value->data.substr(0, std::min<std::size_t>(value->data.size(), 1024));
      data = data.substr(0, data.find('\0'));
      if (data.empty()) continue;
      // A path is mapped like any other; a bare library name is searched by the loader.
      void* library = ::dlopen(platform::ToPosixPath(data).c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!library) continue;
      // An added driver lives in its library, which therefore stays loaded.
      if (platform::acmDriverAdd(library, name, 0, platform::ACM_DRIVERADDF_NAME) != platform::MMSYSERR_NOERROR)
        ::dlclose(library);
    }
  });
}

void ListConversionChoices(int format, std::vector<std::uint32_t>& choices, int& selected) {
  choices.clear();
  selected = 0;
  std::string name;
  const bool decoder = IsDecoderAvailable(format, name);
  if (IsFormatPlayable(format)) {
    choices.push_back(static_cast<std::uint32_t>(format));
    if (decoder && format != kCodecWav && IsEncoderAvailable(format, name)) {
      choices.push_back(kRuleSeparator);
      choices.push_back(kRuleReduceBitrate + static_cast<std::uint32_t>(format));
    }
    if (decoder) {
      std::vector<std::uint32_t> targets;
      for (int target = kFirstFormat; target <= kLastFormat; ++target)
        if (IsFormatPlayable(target) && target != format && IsEncoderAvailable(target, name))
          targets.push_back(kRuleConvert + static_cast<std::uint32_t>(target));
      if (!targets.empty()) {
        choices.push_back(kRuleSeparator);
        choices.insert(choices.end(), targets.begin(), targets.end());
      }
    }
  } else if (decoder) {
    for (int target = kFirstFormat; target <= kLastFormat; ++target)
      if (IsFormatPlayable(target) && IsEncoderAvailable(target, name))
        choices.push_back(kRuleConvert + static_cast<std::uint32_t>(target));
  }
  std::uint32_t stored = 0;
  ReadSettingDword(RuleName(format), stored);
  // A stored separator is no choice: it would become the rule in force.
  if (stored != 0 && stored != kRuleSeparator) {
    const auto it = std::find(choices.begin(), choices.end(), stored);
    if (it != choices.end()) selected = static_cast<int>(it - choices.begin());
  }
}

std::uint32_t GetConversionRule(int format) {
  std::vector<std::uint32_t> choices;
  int selected = 0;
  ListConversionChoices(format, choices, selected);
  return selected >= 0 && static_cast<std::size_t>(selected) < choices.size() ? choices[selected] : 0;
}

void DescribeConversionRule(std::string& text, std::uint32_t rule) {
  switch (rule >> 16) {
    case 0: text = "Transfer without Tonaveling"; break;
    case 1: text = "Convert to " + platform::ToUpperAscii(GetCodecExtension(static_cast<int>(rule & 0xFFFF))) +
                   ", then Transfer";
      break;
    case 2: text = "Reduce Bitrate, then Transfer"; break;
    default: text = "Invalid Rule"; break;
  }
}

void WriteConversionRule(int format, std::uint32_t rule) {
  if (format < kFirstFormat || format > kLastFormat) return;
  WriteSettingDword(RuleName(format), rule);
}

void DeleteConversionRules() {
  for (int format = kFirstFormat; format <= kLastFormat; ++format) DeleteSetting(RuleName(format));
}

int DefaultVbrQuality(int targetCodec) {
  return targetCodec == kCodecWma ? kDefaultWmaVbrQuality : kDefaultMp3VbrQuality;
}

EncoderSettings ReadEncoderSettings(int targetCodec) {
  const std::string upper = platform::ToUpperAscii(GetCodecExtension(targetCodec));
  std::uint32_t vbr = 0;
  std::uint32_t quality = static_cast<std::uint32_t>(DefaultVbrQuality(targetCodec));
  std::uint32_t bitrate = kDefaultCbrBitrate;
  ReadSettingDword("Xc_" + upper + "_RateMode_VBR", vbr);
  ReadSettingDword("Xc_" + upper + "_VBRQuality", quality);
  ReadSettingDword("Xc_" + upper + "_CBRBitrate", bitrate);
  EncoderSettings s;
  s.vbr = vbr != 0;
  s.quality = static_cast<int>(quality);
  s.bitrate = static_cast<int>(bitrate);
  return s;
}

bool IsTransferableFormat(std::string_view path) {
  const int format = GetCodecFromPath(path);
  if (IsFormatPlayable(format)) return true;
  std::uint32_t on = 0;
  ReadSettingDword("Xc2_On", on);
  return on != 0 && GetConversionRule(format) > 0xFFFF;
}

}  // namespace transfer
