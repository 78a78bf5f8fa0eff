#include "options/transcoding_pages.h"

#include <algorithm>
#include <cstdio>

#include "common/settings.h"
#include "device/codec.h"
#include "device/device_client_error.h"
#include "options/page_settings.h"
#include "options/player_pages.h"
#include "platform/shell/desktop.h"
#include "platform/text/text.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/desktop.h"
#include "platform/ui/menu.h"
#include "transfer/conversion_rules.h"

using namespace device;

namespace options {

using namespace platform::layout;

namespace {

constexpr int kFirstFormat = 1;
constexpr int kLastFormat = 11;

std::string Extension(int format) { return platform::ToUpperAscii(GetCodecExtension(format)); }

// The position of `value` in `table`, else `fallback`.
template <std::size_t N>
int PositionOf(const std::array<int, N>& table, int value, int fallback) {
  const auto it = std::find(table.begin(), table.end(), value);
  return it == table.end() ? fallback : static_cast<int>(it - table.begin());
}

template <std::size_t N>
int TableAt(const std::array<int, N>& table, int position) {
  return table[static_cast<std::size_t>(std::clamp(position, 0, static_cast<int>(N) - 1))];
}

}  // namespace

std::string TonavelPluginsAddress() {
  std::string help;
  ReadSettingString("URL_Help", help);
  return help.empty() ? std::string() : help + "tonavel-plugins.html";
}

// ---- Tonavel ----

const platform::DialogTemplate& TonavelPageTemplate() {
  using P = OptTonavel;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Tonavel",
      Column({Check(P::kEnable, "Enable Tonavel during Transfers"),
              Text("Tonavel detects the following installed plugins:"),
              Row({ListView(P::kDecoders)
                       .Label("Installed decoders")
                       .Lines(7)
                       .Width(30)
                       .Style(platform::kStyleNoSortHeader)
                       .Expand(),
                   ListView(P::kEncoders)
                       .Label("Installed encoders")
                       .Lines(7)
                       .Width(30)
                       .Style(platform::kStyleNoSortHeader)
                       .Expand()}),
              Text("Right-click on a file format to change its Tonavel transfer rule:"),
              ListView(P::kRules)
                  .Label("Tonavel transfer rules")
                  .Lines(7)
                  .Style(platform::kStyleNoSortHeader | platform::kStyleShowSelAlways | platform::kStyleSingleSelection)
                  .Expand(),
              Text("File formats not listed above will be transferred as data files."),
              Row({Button(P::kMorePlugins, "Help and More Plugins..."),
                   Button(P::kResetRules, "Reset All Rules to Defaults")})}),
      platform::kFrameChild);
  return t;
}

OptTonavel::OptTonavel() : PropertyPage(TonavelPageTemplate()) {
  enabled = ReadDwordSetting("Xc2_On", 0);
  HandleCommand(kEnable, [this] { EnableRules(); });
  HandleCommand(kResetRules, [this] { OnResetRules(); });
  HandleCommand(kMorePlugins, [] { OpenHelpAddress(TonavelPluginsAddress()); });
  HandleNotify(kRules, platform::NotifyCode::RightClick, [this](platform::Notification& n) { OnRuleRightClick(n); });
}

void OptTonavel::DoDataExchange(platform::DataExchange& dx) { dx.Check(kEnable, enabled); }

bool OptTonavel::OnInitDialog() {
  // Image i is the desktop's icon of files of format i (0: a file without extension).
  formatIcons_.Remove(-1);
  for (int format = 0; format <= kLastFormat; ++format) {
    const platform::FileTypeIcon icon = platform::FileTypeIconOf("fname." + GetCodecExtension(format));
    formatIcons_.Add(icon.name, icon.fallback);
  }
  struct Codecs {
    int id;
    const char* title;
    bool (*available)(int, std::string&);
  };
  for (const Codecs& c : {Codecs{kDecoders, "Installed Decoder", &transfer::IsDecoderAvailable},
                          Codecs{kEncoders, "Installed Encoder", &transfer::IsEncoderAvailable}}) {
    platform::ListViewControl& list = ListView(c.id);
    list.SetExtendedStyle(platform::LVS_EX_FULLROWSELECT, platform::LVS_EX_FULLROWSELECT);
    list.InsertColumn(0, {.title = "Format", .width = platform::ScaleDesignWidth(50)});
    list.InsertColumn(1, {.title = c.title, .width = platform::ScaleDesignWidth(200)});
    for (int format = kFirstFormat; format <= kLastFormat; ++format) {
      std::string library;
      if (!c.available(format, library)) continue;
      const int row = list.InsertItem(list.GetItemCount(), Extension(format));
      list.SetItemText(row, 1, library);
    }
  }
  platform::ListViewControl& rules = ListView(kRules);
  rules.SetExtendedStyle(platform::LVS_EX_FULLROWSELECT, platform::LVS_EX_FULLROWSELECT);
  rules.SetImageList(&formatIcons_, true);
  rules.InsertColumn(0, {.title = "Format", .width = platform::ScaleDesignWidth(75)});
  rules.InsertColumn(1, {.title = "Tonavel Transfer Rule", .width = platform::ScaleDesignWidth(200)});
  FillRules();
  PropertyPage::OnInitDialog();
  EnableRules();
  return true;
}

void OptTonavel::FillRules() {
  platform::ListViewControl& rules = ListView(kRules);
  rules.DeleteAllItems();
  for (int format = kFirstFormat; format <= kLastFormat; ++format) {
    std::vector<std::uint32_t> choices;
    int selected = 0;
    transfer::ListConversionChoices(format, choices, selected);
    if (choices.empty()) continue;
    const int row =
        rules.InsertItem(rules.GetItemCount(), Extension(format), format, static_cast<std::uint64_t>(format));
    std::string text;
    transfer::DescribeConversionRule(
        text, choices[static_cast<std::size_t>(std::clamp(selected, 0, static_cast<int>(choices.size()) - 1))]);
    rules.SetItemText(row, 1, text);
  }
}

std::vector<int> OptTonavel::RuleFormats() {
  std::vector<int> formats;
  if (!IsOpen()) return formats;
  platform::ListViewControl& rules = ListView(kRules);
  for (int row = 0; row < rules.GetItemCount(); ++row) formats.push_back(static_cast<int>(rules.GetItemData(row)));
  return formats;
}

void OptTonavel::EnableRules() {
  const bool on = IsDlgButtonChecked(kEnable) != 0;
  EnableDlgItem(kRules, on);
  EnableDlgItem(kResetRules, on);
}

void OptTonavel::OnRuleRightClick(const platform::Notification&) {
  platform::ListViewControl& rules = ListView(kRules);
  if (rules.GetSelectedCount() != 1) {
    ShowMessageBox("Please select one rule to change.", platform::MB_ICONINFORMATION);
    return;
  }
  const int row = rules.GetNextItem(-1, platform::LVNI_SELECTED);
  menuFormat_ = static_cast<int>(rules.GetItemData(row));
  menuChoices_.clear();
  transfer::ListConversionChoices(menuFormat_, menuChoices_, menuCurrent_);
  platform::Menu menu;
  for (std::size_t k = 0; k < menuChoices_.size(); ++k) {
    if (menuChoices_[k] == transfer::kRuleSeparator) {
      menu.AppendSeparator();
      continue;
    }
    std::string text;
    transfer::DescribeConversionRule(text, menuChoices_[k]);
    const platform::UINT check = static_cast<int>(k) == menuCurrent_ ? platform::MF_CHECKED : 0;
    menu.Append(platform::MF_STRING | check, static_cast<platform::UINT>(kFirstRuleCommand + static_cast<int>(k)),
                text);
  }
  const platform::Point at = platform::GetCursorPos();
  const platform::UINT chosen = platform::TrackPopupMenu(menu, platform::TPM_RETURNCMD | platform::TPM_RIGHTBUTTON,
                                                         at.x, at.y, TopLevel().GetSafeHwnd());
  const int k = static_cast<int>(chosen) - kFirstRuleCommand;
  if (chosen == 0 || k < 0 || k >= static_cast<int>(menuChoices_.size())) return;
  transfer::WriteConversionRule(menuFormat_, menuChoices_[static_cast<std::size_t>(k)]);
  FillRules();
}

void OptTonavel::OnResetRules() {
  transfer::DeleteConversionRules();
  FillRules();
}

void OptTonavel::OnOK() { WriteDwordSetting("Xc2_On", enabled); }

// ---- Encoding Options ----

const platform::DialogTemplate& TranscodePageTemplate() {
  using P = OptTransfersTranscode;
  auto slider = [](int id, int label, const char* name) {
    return Row({Slider(id).Label(name).Style(platform::kStyleAutoTicks).Width(26).Expand(), Text("", label).Width(9)});
  };
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Tonavel::Encoding Options",
      Column({Text("When converting from another format to MP3 or WMA, or reducing the bitrate of MP3 or WMA files, "
                   "Tonavel will encode using the following settings:")
                  .Width(72),
              Group("Converting to or Reducing MP3", {Row({Radio(P::kMp3Constant, "Constant Bitrate").GroupStart(),
                                                           Radio(P::kMp3Variable, "Variable Bitrate")}),
                                                      slider(P::kMp3Bitrate, P::kMp3BitrateLabel, "MP3 bitrate"),
                                                      slider(P::kMp3Quality, P::kMp3QualityLabel, "MP3 quality")}),
              Group("Converting to or Reducing WMA", {Row({Radio(P::kWmaConstant, "Constant Bitrate").GroupStart(),
                                                           Radio(P::kWmaVariable, "Variable Bitrate")}),
                                                      slider(P::kWmaBitrate, P::kWmaBitrateLabel, "WMA bitrate"),
                                                      slider(P::kWmaQuality, P::kWmaQualityLabel, "WMA quality")}),
              Row({Text("Only apply 'Reduce Bitrate' rule when original bitrate exceeds:"),
                   Edit(P::kThreshold).Label("Reduce Bitrate threshold").Number().Width(5), Text("kbps")})}),
      platform::kFrameChild);
  return t;
}

OptTransfersTranscode::OptTransfersTranscode() : PropertyPage(TranscodePageTemplate()) {
  mp3Constant = ReadDwordSetting("Xc_MP3_RateMode_CBR", 1);
  mp3Variable = ReadDwordSetting("Xc_MP3_RateMode_VBR", 0);
  mp3BitratePos = PositionOf(kMp3Bitrates, ReadDwordSetting("Xc_MP3_CBRBitrate", transfer::kDefaultCbrBitrate), 8);
  // Quality 0 is the best (the slider's right end); a stored value outside 0..9 is held
  // to the slider.
  mp3QualityPos = 9 - std::clamp(ReadDwordSetting("Xc_MP3_VBRQuality", transfer::kDefaultMp3VbrQuality), 0, 9);
  wmaConstant = ReadDwordSetting("Xc_WMA_RateMode_CBR", 1);
  wmaVariable = ReadDwordSetting("Xc_WMA_RateMode_VBR", 0);
  wmaBitratePos = PositionOf(kWmaBitrates, ReadDwordSetting("Xc_WMA_CBRBitrate", transfer::kDefaultCbrBitrate), 5);
  wmaQualityPos = PositionOf(kWmaQualities, ReadDwordSetting("Xc_WMA_VBRQuality", transfer::kDefaultWmaVbrQuality), 2);
  threshold = ReadDwordSetting("Xc2_RThr", 128);
  for (int id : {kMp3Constant, kMp3Variable, kWmaConstant, kWmaVariable}) {
    HandleCommand(id, [this] { OnRateModeClicked(); });
  }
  for (int id : {kMp3Bitrate, kMp3Quality, kWmaBitrate, kWmaQuality}) {
    HandleNotify(id, platform::NotifyCode::Scroll, [this](platform::Notification&) { UpdateLabels(); });
    HandleNotify(id, platform::NotifyCode::ReleasedCapture, [this](platform::Notification&) { UpdateLabels(); });
  }
}

void OptTransfersTranscode::DoDataExchange(platform::DataExchange& dx) {
  dx.Check(kMp3Constant, mp3Constant);
  dx.Check(kMp3Variable, mp3Variable);
  dx.SliderPos(kMp3Bitrate, mp3BitratePos);
  dx.SliderPos(kMp3Quality, mp3QualityPos);
  dx.Check(kWmaConstant, wmaConstant);
  dx.Check(kWmaVariable, wmaVariable);
  dx.SliderPos(kWmaBitrate, wmaBitratePos);
  dx.SliderPos(kWmaQuality, wmaQualityPos);
  dx.Int(kThreshold, threshold, 32, 320);
}

bool OptTransfersTranscode::OnInitDialog() {
  struct Range {
    int id;
    int max;
  };
  for (const Range& r : {Range{kMp3Bitrate, 13}, Range{kMp3Quality, 9}, Range{kWmaBitrate, 9}, Range{kWmaQuality, 5}}) {
    platform::SliderControl& s = Slider(r.id);
    s.SetRange(0, r.max);
    s.SetTicFreq(1);
    s.SetPageSize(1);
  }
  PropertyPage::OnInitDialog();
  UpdateLabels();
  ShowSliders();
  return true;
}

void OptTransfersTranscode::UpdateLabels() {
  SetDlgItemText(kMp3BitrateLabel, platform::Printf("%d Kbps ", TableAt(kMp3Bitrates, Slider(kMp3Bitrate).GetPos())));
  SetDlgItemText(kWmaBitrateLabel, platform::Printf("%d Kbps ", TableAt(kWmaBitrates, Slider(kWmaBitrate).GetPos())));
  SetDlgItemText(kMp3QualityLabel, platform::Printf("%d %% ", Slider(kMp3Quality).GetPos() * 10 + 10));
  SetDlgItemText(kWmaQualityLabel, platform::Printf("%d %% ", TableAt(kWmaQualities, Slider(kWmaQuality).GetPos())));
}

void OptTransfersTranscode::ShowSliders() {
  const bool mp3Constant = IsDlgButtonChecked(kMp3Constant) != 0;
  const bool mp3Variable = IsDlgButtonChecked(kMp3Variable) != 0;
  const bool wmaConstant = IsDlgButtonChecked(kWmaConstant) != 0;
  const bool wmaVariable = IsDlgButtonChecked(kWmaVariable) != 0;
  for (int id : {kMp3Bitrate, kMp3BitrateLabel}) ShowDlgItem(id, mp3Constant);
  for (int id : {kMp3Quality, kMp3QualityLabel}) ShowDlgItem(id, mp3Variable);
  for (int id : {kWmaBitrate, kWmaBitrateLabel}) ShowDlgItem(id, wmaConstant);
  for (int id : {kWmaQuality, kWmaQualityLabel}) ShowDlgItem(id, wmaVariable);
}

void OptTransfersTranscode::OnRateModeClicked() {
  // The radios' states are read as they are; the threshold is checked on leaving.
  mp3Constant = IsDlgButtonChecked(kMp3Constant);
  mp3Variable = IsDlgButtonChecked(kMp3Variable);
  wmaConstant = IsDlgButtonChecked(kWmaConstant);
  wmaVariable = IsDlgButtonChecked(kWmaVariable);
  ShowSliders();
}

void OptTransfersTranscode::OnOK() {
  WriteDwordSetting("Xc_MP3_RateMode_CBR", mp3Constant);
  WriteDwordSetting("Xc_MP3_RateMode_VBR", mp3Variable);
  WriteDwordSetting("Xc_MP3_CBRBitrate", TableAt(kMp3Bitrates, mp3BitratePos));
  WriteDwordSetting("Xc_MP3_VBRQuality", 9 - std::clamp(mp3QualityPos, 0, 9));
  WriteDwordSetting("Xc_WMA_RateMode_CBR", wmaConstant);
  WriteDwordSetting("Xc_WMA_RateMode_VBR", wmaVariable);
  WriteDwordSetting("Xc_WMA_CBRBitrate", TableAt(kWmaBitrates, wmaBitratePos));
  WriteDwordSetting("Xc_WMA_VBRQuality", TableAt(kWmaQualities, wmaQualityPos));
  WriteDwordSetting("Xc2_RThr", threshold);
}

}  // namespace options
