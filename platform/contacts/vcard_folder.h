// The contacts application's stand-in: a contact source over a folder of vCard files (the
// "vdir" layout: one file per contact, ".vcf"), read with the desktop's vCard library,
// which unfolds lines, undoes escapes and quoted-printable, and converts character sets.
//
// A source is read whole before anyone acts on it: a folder or a file that cannot be read
// makes the whole read fail, so a caller never mistakes a partly read source for the
// person's contacts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct VCardAddress {
  std::string poBox, extended, street, city, region, postalCode, country;
};

// The properties of one card that a contact record can hold, as UTF-8 text.
struct VCardContact {
  std::string fullName;  // FN; else the given and family names; else the organisation or e-mail
  std::string givenName, familyName, nickname, organization, title;
  VCardAddress home, work;
  std::string workPhone, homePhone, mobilePhone, workFax, homeFax;
  std::string url, email;
  bool hasPhoto = false;
};

// One card of a source: a contact, or something that is not one (no whole card, or a card
// without any name); `origin` is the file it came from.
struct ContactItem {
  bool isContact = false;
  VCardContact contact;
  std::string origin;
};

// The vCard library, loaded on first use (SharedLibrary::Redirect points it elsewhere).
inline constexpr const char* kVCardLibraryName = "libebook-contacts-1.2.so.4";

// Every card of a vCard text, in order (a file may hold several); a text without a whole
// card is one item that is not a contact. Never fails: without the vCard library every
// card is one that is not a contact (ReadContactFolder reports the library missing).
std::vector<ContactItem> ParseVCardText(std::string_view text, const std::string& origin = {});

// Every ".vcf" file directly in the folder (POSIX path), by file name; other files,
// hidden files and sub-folders are not looked at. False with `error` (and no items) when
// the folder or any of its ".vcf" files cannot be read (also one that is no regular file,
// such as a FIFO or a link to a device, or one larger than 16 MB), or the vCard library
// cannot be loaded.
bool ReadContactFolder(const std::string& folder, std::vector<ContactItem>& items, std::string& error);

// The person's contacts folder: $XDG_DATA_HOME/contacts, else ~/.local/share/contacts.
std::string DefaultContactFolder();

}  // namespace platform
