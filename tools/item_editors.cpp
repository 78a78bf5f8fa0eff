#include "tools/item_editors.h"

#include "device/device_client_error.h"
#include "platform/text/text.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/host.h"

using namespace device;

namespace tools {

using namespace platform::layout;

const EditContactDialog::Box EditContactDialog::kBoxes[22] = {
    {1217, kContactFirstName},     {1218, kContactLastName},       {1198, kContactJobTitle},
    {1197, kContactOrganization},  {1199, kContactHomeStreet},     {1200, kContactHomeCity},
    {1201, kContactHomeState},     {1202, kContactHomePostalCode}, {1207, kContactHomeCountry},
    {1215, kContactHomePhone},     {1210, kContactHomeFax},        {1203, kContactWorkStreet},
    {1204, kContactWorkCity},      {1205, kContactWorkState},      {1206, kContactWorkPostalCode},
    {1208, kContactWorkCountry},   {1211, kContactWorkPhone},      {1212, kContactWorkFax},
    {1219, kContactMobilePhone},   {1214, kContactEmail},          {1213, kContactWebAddress},
    {1216, kContactNote},
};

namespace {

// A labelled line of one box.
platform::LayoutNode Line(const char* label, int id, int width = 24) {
  return Row({Text(label), Edit(id).Width(width)});
}

// One address column: street, city and state, postal code and country, telephone, fax.
platform::LayoutNode Address(const char* title, const char* side, int street, int city, int state, int postal,
                             int country, int phone, int fax) {
  const std::string s = side;
  return Column({Text(title),
                 Edit(street).Width(30).Label(s + " street"),
                 Row({Edit(city).Width(20).Label(s + " city"), Edit(state).Width(6).Label(s + " state")}),
                 Row({Edit(postal).Width(8).Label(s + " postal code"), Edit(country).Width(18).Label(s + " country")}),
                 Row({Text("Telephone:"), Edit(phone).Width(22).Label(s + " telephone")}),
                 Row({Text("Fax:"), Edit(fax).Width(22).Label(s + " fax")})});
}

}  // namespace

const platform::DialogTemplate& EditContactTemplate() {
  static const platform::DialogTemplate t = platform::MakeTemplate(
      EditContactDialog::kTemplateId, "Edit Contact",
      Column({Group("Name && Organization", {Row({Column({Line("First Name:", 1217), Line("Last Name:", 1218)}),
                                                  Column({Line("Title:", 1198), Line("Organization:", 1197)})})}),
              Group("Home && Work", {Row({Address("Home Address:", "Home", 1199, 1200, 1201, 1202, 1207, 1215, 1210),
                                          Address("Work Address:", "Work", 1203, 1204, 1205, 1206, 1208, 1211, 1212)})}),
              Group("Other", {Row({Column({Line("Mobile:", 1219), Line("E-mail:", 1214)}),
                                   Column({Line("URL:", 1213), Line("Note:", 1216)})})}),
              Buttons({DefaultButton(platform::IDOK, "OK"), Button(platform::IDCANCEL, "Cancel")})}));
  return t;
}

const platform::DialogTemplate& EditNoteTemplate() {
  static const platform::DialogTemplate t = platform::MakeTemplate(
      EditNoteDialog::kTemplateId, "Edit Note",
      Column({Edit(EditNoteDialog::kTextId).MultiLine().Style(platform::kStyleWantReturn).Width(60).Lines(16)
                  .Expand().Label("Note"),
              Buttons({DefaultButton(platform::IDOK, "OK"), Button(platform::IDCANCEL, "Cancel")})}),
      platform::kFrameDialog | platform::kFrameThick);
  return t;
}

EditContactDialog::EditContactDialog(ContactRecord* record, platform::HWND parent)
    : Dialog(EditContactTemplate(), parent), record_(record) {
  for (std::size_t i = 0; i < std::size(kBoxes); ++i) texts[i] = record_->field[kBoxes[i].field].Str();
}

void EditContactDialog::DoDataExchange(platform::DataExchange& dx) {
  for (std::size_t i = 0; i < std::size(kBoxes); ++i) {
    dx.Text(kBoxes[i].id, texts[i]);
    if (dx.IsSaving()) record_->field[kBoxes[i].field].Set(texts[i]);
  }
}

EditNoteDialog::EditNoteDialog(platform::HWND parent) : Dialog(EditNoteTemplate(), parent) {}

void EditNoteDialog::DoDataExchange(platform::DataExchange& dx) { dx.Text(kTextId, text); }

namespace {

std::size_t Characters(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

}  // namespace

void EditNoteDialog::OnOK() {
  if (!UpdateData(true)) return;
  if (maxBytes != 0 && text.size() > maxBytes) {
    // Never cut without a word: the person sees how much fits and chooses.
    const std::size_t fit = platform::Utf8PrefixLength(text, maxBytes);
    const std::string kept = std::to_string(Characters(std::string_view(text).substr(0, fit)));
    const int answer = ShowMessageBox("This note has " + std::to_string(Characters(text)) +
                                          " characters; the player holds " + kept + " of them.\n\nStore only the first " +
                                          kept + " characters?",
                                      platform::MB_YESNO | platform::MB_ICONQUESTION | platform::MB_DEFBUTTON2);
    if (answer != platform::IDYES) return;  // the whole text stays in the editor
    text.resize(fit);
  }
  EndDialog(platform::IDOK);
}

}  // namespace tools
