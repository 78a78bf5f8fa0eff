#include "platform/contacts/vcard_folder.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <libebook-contacts/libebook-contacts.h>

#include "platform/kernel/shared_library.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"

namespace platform {

namespace {

// A card with a large photo runs to a few megabytes; beyond this no file is a card.
constexpr std::uint64_t kMaxVCardFileBytes = 16u << 20;

// The vCard library, loaded when contacts are first read (it and the libraries under it
// would otherwise be loaded at every start of every program that links this code).
struct VCardLibrary {
  decltype(&e_vcard_new_from_string) newFromString = nullptr;
  decltype(&e_vcard_get_attributes) attributes = nullptr;
  decltype(&e_vcard_attribute_get_name) name = nullptr;
  decltype(&e_vcard_attribute_get_values_decoded) valuesDecoded = nullptr;
  decltype(&e_vcard_attribute_has_type) hasType = nullptr;
  decltype(&e_vcard_attribute_get_param) param = nullptr;
  decltype(&g_object_unref) unref = nullptr;  // from the object system it loads
};

bool ResolveVCardLibrary(const SharedLibrary& library, VCardLibrary& api) {
  return library.Resolve("e_vcard_new_from_string", api.newFromString) &&
         library.Resolve("e_vcard_get_attributes", api.attributes) &&
         library.Resolve("e_vcard_attribute_get_name", api.name) &&
         library.Resolve("e_vcard_attribute_get_values_decoded", api.valuesDecoded) &&
         library.Resolve("e_vcard_attribute_has_type", api.hasType) &&
         library.Resolve("e_vcard_attribute_get_param", api.param) && library.Resolve("g_object_unref", api.unref);
}

// The library's functions; null, with the reason in `error`, when it cannot be loaded.
const VCardLibrary* LoadVCardLibrary(std::string* error = nullptr) {
  static auto* functions =
      new LibraryFunctions<VCardLibrary>(kVCardLibraryName, "contacts library", &ResolveVCardLibrary);
  return functions->Get(error);
}

// Owns a GLib string.
struct GFreeText {
  void operator()(gchar* p) const { g_free(p); }
};

// Valid UTF-8 as it is; otherwise the bytes as the desktop's usual 8-bit text (a card
// written without its CHARSET parameter).
std::string AsUtf8(std::string_view text) {
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return std::string(text);
  gsize written = 0;
  gchar* converted = g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-8", "WINDOWS-1252", nullptr,
                               &written, nullptr);
  if (converted == nullptr) {
    converted = g_convert(text.data(), static_cast<gssize>(text.size()), "UTF-8", "ISO-8859-1", nullptr, &written,
                          nullptr);
  }
  if (converted == nullptr) return {};
  std::string out(converted, written);
  g_free(converted);
  return out;
}

// A value as one line of text, for the one-line boxes of a contact: line breaks (also the
// =0D=0A of quoted-printable) become ", ", other control characters blanks.
std::string Clean(std::string_view text) {
  const std::string utf8 = AsUtf8(text);
  std::string joined;
  std::size_t at = 0;
  while (at <= utf8.size()) {
    const std::size_t cut = std::min(utf8.find_first_of("\r\n", at), utf8.size());
    const std::string_view line = TrimView(std::string_view(utf8).substr(at, cut - at));
    if (!line.empty()) {
      if (!joined.empty()) joined += ", ";
      joined += line;
    }
    at = cut + 1;
  }
  return Trim(BlankControls(joined));
}

// The attribute's values (the parts between ";"), decoded, as the card holds them.
std::vector<std::string> Values(const VCardLibrary& api, EVCardAttribute* attribute) {
  std::vector<std::string> out;
  GList* values = api.valuesDecoded(attribute);
  for (GList* v = values; v != nullptr; v = v->next) {
    const auto* s = static_cast<const GString*>(v->data);
    out.push_back(s != nullptr ? std::string(s->str, s->len) : std::string());
  }
  return out;
}

std::string Part(const std::vector<std::string>& values, std::size_t index) {
  return index < values.size() ? Clean(values[index]) : std::string();
}

// A property of one value whose text may hold ";" (a name, a number with ";ext="): the
// library splits it at every ";" that is not escaped.
std::string Whole(const std::vector<std::string>& values) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) text += (i == 0 ? "" : ";") + values[i];
  return Clean(text);
}

// A number written as a "tel:" address (vCard 4) is the number after it, extension and
// all.
std::string PhoneNumber(const std::vector<std::string>& values) {
  std::string number = Whole(values);
  if (StartsWithNoCase(number, "tel:")) number = Trim(std::string_view(number).substr(4));
  return number;
}

// Whether the attribute is of a kind: "TEL;HOME:", "TEL;TYPE=HOME,FAX:" and, as newer cards
// write it, "TEL;TYPE=\"home,fax\":".
bool HasType(const VCardLibrary& api, EVCardAttribute* attribute, std::string_view type) {
  if (api.hasType(attribute, std::string(type).c_str()) != 0) return true;
  for (GList* v = api.param(attribute, EVC_TYPE); v != nullptr; v = v->next) {
    const char* text = static_cast<const char*>(v->data);
    std::string_view rest = text != nullptr ? text : "";
    while (!rest.empty()) {
      const std::size_t comma = rest.find(',');
      if (EqualsNoCase(TrimView(rest.substr(0, comma)), type)) return true;
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
  }
  return false;
}

void SetOnce(std::string& field, const std::string& value) {
  if (field.empty()) field = value;
}

VCardAddress Address(const std::vector<std::string>& v) {
  return {Part(v, 0), Part(v, 1), Part(v, 2), Part(v, 3), Part(v, 4), Part(v, 5), Part(v, 6)};
}

bool Empty(const VCardAddress& a) {
  return a.poBox.empty() && a.extended.empty() && a.street.empty() && a.city.empty() && a.region.empty() &&
         a.postalCode.empty() && a.country.empty();
}

// The contact of one whole card ("BEGIN:VCARD" to "END:VCARD").
ContactItem ReadCard(std::string_view card, const std::string& origin) {
  ContactItem item;
  item.origin = origin;
  const VCardLibrary* api = LoadVCardLibrary();
  if (api == nullptr) return item;
  // The library takes UTF-8: a card in the desktop's 8-bit set is converted first. Lines
  // end in LF alone: a CR that ends no line is no text, and the library's parser loses
  // memory over one. A NUL is no text either, and the parser reads past the end of a
  // quoted-printable value that a NUL cuts short.
  std::string text = AsUtf8(card);
  std::erase(text, '\r');
  std::erase(text, '\0');
  EVCard* vcard = api->newFromString(text.c_str());
  if (vcard == nullptr) return item;
  VCardContact& c = item.contact;
  // Numbers and addresses without a kind go where nothing of a kind went.
  std::string plainPhone;
  VCardAddress plainAddress;
  for (GList* a = api->attributes(vcard); a != nullptr; a = a->next) {
    auto* attribute = static_cast<EVCardAttribute*>(a->data);
    const char* nameText = api->name(attribute);
    if (nameText == nullptr) continue;
    const std::string name = ToUpperAscii(nameText);
    if (name == EVC_PHOTO) {
      c.hasPhoto = true;
      continue;
    }
    const std::vector<std::string> v = Values(*api, attribute);
    if (name == EVC_FN) {
      SetOnce(c.fullName, Whole(v));
    } else if (name == EVC_N) {
      SetOnce(c.familyName, Part(v, 0));
      SetOnce(c.givenName, Part(v, 1));
    } else if (name == EVC_NICKNAME) {
      // A list of nicknames: the first.
      std::string first = Whole(v);
      SetOnce(c.nickname, Trim(first.substr(0, first.find(','))));
    } else if (name == EVC_ORG) {
      SetOnce(c.organization, Part(v, 0));
    } else if (name == EVC_TITLE) {
      SetOnce(c.title, Whole(v));
    } else if (name == EVC_ADR) {
      const VCardAddress address = Address(v);
      if (HasType(*api, attribute, "WORK")) {
        if (Empty(c.work)) c.work = address;
      } else if (HasType(*api, attribute, "HOME")) {
        if (Empty(c.home)) c.home = address;
      } else if (Empty(plainAddress)) {
        plainAddress = address;
      }
    } else if (name == EVC_TEL) {
      const std::string number = PhoneNumber(v);
      const bool fax = HasType(*api, attribute, "FAX");
      if (HasType(*api, attribute, "CELL")) {
        SetOnce(c.mobilePhone, number);
      } else if (HasType(*api, attribute, "WORK")) {
        SetOnce(fax ? c.workFax : c.workPhone, number);
      } else if (HasType(*api, attribute, "HOME")) {
        SetOnce(fax ? c.homeFax : c.homePhone, number);
      } else if (!fax) {
        SetOnce(plainPhone, number);
      }
    } else if (name == EVC_URL) {
      // The work page first, as the record's field is the business one.
      if (HasType(*api, attribute, "WORK")) c.url = Whole(v);
      SetOnce(c.url, Whole(v));
    } else if (name == EVC_EMAIL) {
      SetOnce(c.email, Whole(v));
    }
  }
  api->unref(vcard);
  SetOnce(c.homePhone, plainPhone);
  if (Empty(c.home)) c.home = plainAddress;
  if (c.fullName.empty()) c.fullName = Trim(c.givenName + " " + c.familyName);
  SetOnce(c.fullName, c.organization);
  SetOnce(c.fullName, c.email);
  item.isContact = !c.fullName.empty();
  return item;
}

bool IsLine(std::string_view line, std::string_view what) {
  line = TrimView(line);
  return line.size() == what.size() && EqualsNoCase(line, what);
}

}  // namespace

std::vector<ContactItem> ParseVCardText(std::string_view text, const std::string& origin) {
  std::vector<ContactItem> items;
  int depth = 0;
  std::size_t cardStart = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    if (IsLine(line, "BEGIN:VCARD")) {
      if (depth == 0) cardStart = at;
      ++depth;  // a card inside a card (an agent of an old card) stays part of it
    } else if (depth > 0 && IsLine(line, "END:VCARD")) {
      if (--depth == 0) items.push_back(ReadCard(text.substr(cardStart, end - cardStart), origin));
    }
    at = end + 1;
  }
  if (depth > 0 || items.empty()) {
    ContactItem broken;
    broken.origin = origin;
    items.push_back(broken);
  }
  return items;
}

bool ReadContactFolder(const std::string& folder, std::vector<ContactItem>& items, std::string& error) {
  items.clear();
  if (LoadVCardLibrary(&error) == nullptr) return false;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    error = "Could not open the folder " + folder + ": " + std::strerror(errno) + ".";
    return false;
  }
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    if (name.size() < 5 || !EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".vcf")) continue;
    names.push_back(name);
  }
  const int readError = errno;
  ::closedir(dir);
  if (readError != 0) {
    error = "Could not read the folder " + folder + ": " + std::strerror(readError) + ".";
    return false;
  }
  std::sort(names.begin(), names.end());
  std::vector<ContactItem> found;
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;  // a folder that happens to end in ".vcf"
    // A FIFO would block the read forever, a link to a device would never end it.
    const ReadFileResult read = ReadRegularFile(FromPosixPath(path), kMaxVCardFileBytes);
    if (!read.ok()) {
      error = "Could not read " + path + ": " + OpenFileErrorText(read.error, kMaxVCardFileBytes) + ".";
      return false;
    }
    const std::string& content = read.bytes;
    for (ContactItem& item : ParseVCardText(content, path)) found.push_back(std::move(item));
  }
  items = std::move(found);
  return true;
}

std::string DefaultContactFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + "/contacts";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.local/share/contacts";
}

}  // namespace platform
