#include "platform/contacts/vcard_folder.h"
#include "platform/kernel/shared_library.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

namespace fs = std::filesystem;
using platform::ContactItem;

class ContactFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("vdir-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
  }
  std::vector<ContactItem> Read() {
    std::vector<ContactItem> items;
    std::string error;
    EXPECT_TRUE(platform::ReadContactFolder(folder_.string(), items, error)) << error;
    return items;
  }
  fs::path folder_;
};

// One card of each kind a contacts application writes, and things that are no card.
TEST_F(ContactFolder, CardsOfEveryVersionAreReadWhole) {
  // vCard 3.0: folded lines (a blank or a tab continues the line), escaped separators,
  // typed numbers and addresses, CR LF line ends, and a photo folded over many lines.
  Write("a-ada.vcf",
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ada \r\n Lind-Okafor\r\nN:Lind-Okafor;Ada;;Dr.;\r\n"
        "NICKNAME:Addie,A\r\nORG:Harbour\\, Lights;Sound\r\nTITLE:Head of\\nSound\r\n"
        "TEL;TYPE=WORK,VOICE:+44 20 7946 0001\r\nTEL;TYPE=HOME:+44 20 7946 0002\r\n"
        "TEL;TYPE=CELL:+44 7700 900003\r\nTEL;TYPE=WORK,FAX:+44 20 7946 0004\r\nTEL;TYPE=HOME,FAX:0005\r\n"
        "ADR;TYPE=HOME:PO 7;Flat 2;12 Quay St;Bristol;Avon;BS1 4DJ;UK\r\n"
        "ADR;TYPE=WORK:;;1 Dock Rd;Leeds;;LS1;UK\r\nURL:https://ada.example\r\nURL;TYPE=WORK:https://work.example\r\n"
        "EMAIL;TYPE=INTERNET:ada@example.org\r\nEMAIL:other@example.org\r\n"
        "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQEASABIAAD/2wBDAP//////////////////////\r\n"
        " ////////////////////////////////////////////////////////////////////\r\n"
        "\t/////////////////////wgALCAABAAEBAREA/8QAFBABAAAAAAAAAAAAAAAAAAAAAP/aAAgBAQABPxA=\r\n"
        "END:VCARD\r\n");
  // vCard 2.1: bare types, quoted-printable in another character set, soft line breaks.
  Write("b-juergen.vcf",
        "BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=FCrgen\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BC=\nller\nTEL;HOME;VOICE:030 1234\n"
        "TEL;CELL:0170 5555\nEND:VCARD\n");
  // vCard 4.0 in UTF-8, two cards in one file, lower-case types; a name only in N.
  Write("c-two.vcf",
        "BEGIN:VCARD\nVERSION:4.0\nFN:Zoë Ŝtar ★\nTEL;TYPE=\"work,voice\";VALUE=uri:tel:+1-555-0100\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:4.0\nN:Okafor;Chidi;;;\nTEL:+234 1 000\nADR:;;5 Marina;Lagos;;;NG\nEND:VCARD\n");
  // Text in the desktop's 8-bit character set without saying so.
  Write("d-latin.vcf", "BEGIN:VCARD\nVERSION:3.0\nFN:Ren\xE9 Fa\xE7on\nEND:VCARD\n");
  // Not a card, a card without an end, a card without any name.
  Write("e-junk.vcf", "this is not a card\n");
  Write("f-cut.vcf", "BEGIN:VCARD\nVERSION:3.0\nFN:Cut Short\n");
  Write("g-noname.vcf", "BEGIN:VCARD\nVERSION:3.0\nNOTE:nobody\nEND:VCARD\n");
  // Files that are not contacts of this folder.
  Write("displayname", "Family");
  Write(".hidden.vcf", "BEGIN:VCARD\nFN:Hidden\nEND:VCARD\n");
  fs::create_directories(folder_ / "sub");
  Write("sub/deep.vcf", "BEGIN:VCARD\nFN:Deep\nEND:VCARD\n");

  const std::vector<ContactItem> items = Read();
  ASSERT_EQ(items.size(), 8u);
  const platform::VCardContact& ada = items[0].contact;
  EXPECT_TRUE(items[0].isContact);
  EXPECT_EQ(ada.fullName, "Ada Lind-Okafor");
  EXPECT_EQ(ada.familyName, "Lind-Okafor");
  EXPECT_EQ(ada.givenName, "Ada");
  EXPECT_EQ(ada.nickname, "Addie");
  EXPECT_EQ(ada.organization, "Harbour, Lights");
  EXPECT_EQ(ada.title, "Head of, Sound");  // a contact's boxes are one line
  EXPECT_EQ(ada.workPhone, "+44 20 7946 0001");
  EXPECT_EQ(ada.homePhone, "+44 20 7946 0002");
  EXPECT_EQ(ada.mobilePhone, "+44 7700 900003");
  EXPECT_EQ(ada.workFax, "+44 20 7946 0004");
  EXPECT_EQ(ada.homeFax, "0005");
  EXPECT_EQ(ada.home.poBox, "PO 7");
  EXPECT_EQ(ada.home.street, "12 Quay St");
  EXPECT_EQ(ada.home.city, "Bristol");
  EXPECT_EQ(ada.home.region, "Avon");
  EXPECT_EQ(ada.home.postalCode, "BS1 4DJ");
  EXPECT_EQ(ada.home.country, "UK");
  EXPECT_EQ(ada.work.street, "1 Dock Rd");
  EXPECT_EQ(ada.work.city, "Leeds");
  EXPECT_EQ(ada.url, "https://work.example");
  EXPECT_EQ(ada.email, "ada@example.org");
  EXPECT_TRUE(ada.hasPhoto);

  const platform::VCardContact& juergen = items[1].contact;
  EXPECT_EQ(juergen.familyName, "Müller");
  EXPECT_EQ(juergen.givenName, "Jürgen");
  EXPECT_EQ(juergen.fullName, "Jürgen Müller");
  EXPECT_EQ(juergen.homePhone, "030 1234");
  EXPECT_EQ(juergen.mobilePhone, "0170 5555");

  EXPECT_EQ(items[2].contact.fullName, "Zoë Ŝtar ★");
  EXPECT_EQ(items[2].contact.workPhone, "+1-555-0100");
  EXPECT_EQ(items[3].contact.fullName, "Chidi Okafor");
  EXPECT_EQ(items[3].contact.homePhone, "+234 1 000");  // a number of no kind is the home number
  EXPECT_EQ(items[3].contact.home.city, "Lagos");
  EXPECT_EQ(items[4].contact.fullName, "René Façon");
  for (std::size_t i : {5u, 6u, 7u}) EXPECT_FALSE(items[i].isContact) << items[i].origin;
  EXPECT_EQ(items[7].origin, (folder_ / "g-noname.vcf").string());
}

// Values a card writes in ways a one-line box and a name cannot take as they stand.
TEST(VCardValues, NumbersNamesAndAddressesComeOutAsOneLineOfText) {
  const struct {
    const char* what;
    std::string property;
    std::function<std::string(const platform::VCardContact&)> field;
    std::string expected;
  } kCases[] = {
      {"a tel: address loses its scheme and keeps its extension", "TEL;VALUE=uri;TYPE=work:tel:+45-3333-4444;ext=12",
       [](const auto& c) { return c.workPhone; }, "+45-3333-4444;ext=12"},
      {"an upper-case scheme", "TEL;VALUE=uri:TEL:+45 1234", [](const auto& c) { return c.homePhone; }, "+45 1234"},
      {"a plain number with a ';'", "TEL;TYPE=CELL:555 0100;ext=9", [](const auto& c) { return c.mobilePhone; },
       "555 0100;ext=9"},
      {"a name holding ';'", "FN:Smith; Jones & Partners", [](const auto& c) { return c.fullName; },
       "Smith; Jones & Partners"},
      {"an escaped ';' in a name", "FN:A\\;B", [](const auto& c) { return c.fullName; }, "A;B"},
      {"a quoted-printable street with a line break", "ADR;HOME;ENCODING=QUOTED-PRINTABLE:;;Hauptstr. 1=0D=0AHinterhaus;Berlin;;10115;DE",
       [](const auto& c) { return c.home.street + "|" + c.home.city; }, "Hauptstr. 1, Hinterhaus|Berlin"},
      {"an escaped line break and a tab in a title", "TITLE:Head\\nof\tSound", [](const auto& c) { return c.title; },
       "Head, of Sound"},
      {"a control byte in an e-mail", "EMAIL:a\x07" "b@example.org", [](const auto& c) { return c.email; },
       "a b@example.org"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::vector<ContactItem> items =
        platform::ParseVCardText("BEGIN:VCARD\nVERSION:3.0\nN:Lind;Ada;;;\n" + c.property + "\nEND:VCARD\n");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(c.field(items[0].contact), c.expected);
  }
}

TEST_F(ContactFolder, AFolderOrFileThatCannotBeReadFailsTheWholeRead) {
  Write("a.vcf", "BEGIN:VCARD\nFN:Fine\nEND:VCARD\n");
  std::vector<ContactItem> items;
  std::string error;
  EXPECT_TRUE(platform::ReadContactFolder(folder_.string(), items, error));
  EXPECT_EQ(items.size(), 1u);
  // A card whose file is gone under its name (a link to nowhere).
  fs::create_symlink(folder_ / "nowhere", folder_ / "b.vcf");
  EXPECT_FALSE(platform::ReadContactFolder(folder_.string(), items, error));
  EXPECT_TRUE(items.empty());
  EXPECT_NE(error.find("b.vcf"), std::string::npos) << error;
  EXPECT_FALSE(platform::ReadContactFolder((folder_ / "missing").string(), items, error));
  EXPECT_NE(error.find("Could not open the folder"), std::string::npos) << error;
  EXPECT_FALSE(platform::ReadContactFolder((folder_ / "a.vcf").string(), items, error));
}

// What a folder may hold under a card's name: nothing of it hangs the read or fills the
// memory; the read fails, naming the file and the reason.
TEST_F(ContactFolder, AFileThatIsNoCardOrTooLargeFailsTheReadAtOnce) {
  Write("a.vcf", "BEGIN:VCARD\nFN:Fine\nEND:VCARD\n");
  struct Case { const char* name; const char* reason; };
  const Case cases[] = {
      {"b.vcf", "not a regular file"},  // a FIFO: opening it for reading would wait for a writer
      {"c.vcf", "not a regular file"},  // a link to a device that never ends
      {"d.vcf", "larger than 16 MB"},
  };
  for (const Case& c : cases) {
    if (std::string(c.name) == "b.vcf") {
      ASSERT_EQ(::mkfifo((folder_ / c.name).c_str(), 0600), 0);
    }
    if (std::string(c.name) == "c.vcf") fs::create_symlink("/dev/zero", folder_ / c.name);
    if (std::string(c.name) == "d.vcf") {
      Write(c.name, "BEGIN:VCARD\nFN:Big\n");
      fs::resize_file(folder_ / c.name, (16u << 20) + 1);
    }
    std::vector<ContactItem> items;
    std::string error;
    EXPECT_FALSE(platform::ReadContactFolder(folder_.string(), items, error)) << c.name;
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(error, "Could not read " + (folder_ / c.name).string() + ": " + c.reason + ".");
    fs::remove(folder_ / c.name);
  }
  EXPECT_EQ(Read().size(), 1u);
}

// A computer without the vCard library (it is loaded when first needed): the read fails
// with the reason, nothing is taken for a source without contacts, and once the library
// is there again the same folder reads.
TEST_F(ContactFolder, WithoutTheVCardLibraryTheReadFailsWithTheReason) {
  Write("a.vcf", "BEGIN:VCARD\nFN:Fine\nEND:VCARD\n");
  platform::SharedLibrary::Redirect(platform::kVCardLibraryName, "/nonexistent/libebook-contacts.so");
  std::vector<ContactItem> items;
  std::string error;
  EXPECT_FALSE(platform::ReadContactFolder(folder_.string(), items, error));
  EXPECT_TRUE(items.empty());
  EXPECT_NE(error.find("The contacts library could not be loaded: "), std::string::npos) << error;
  EXPECT_NE(error.find("/nonexistent/libebook-contacts.so"), std::string::npos) << error;
  EXPECT_FALSE(platform::ParseVCardText("BEGIN:VCARD\nFN:Fine\nEND:VCARD\n").at(0).isContact);
  platform::SharedLibrary::Redirect(platform::kVCardLibraryName, "");
  ASSERT_EQ(Read().size(), 1u);
  EXPECT_EQ(Read()[0].contact.fullName, "Fine");
}

TEST(DefaultContactFolder, FollowsTheDesktopsDataFolder) {
  ::setenv("XDG_DATA_HOME", "/data/home", 1);
  EXPECT_EQ(platform::DefaultContactFolder(), "/data/home/contacts");
  ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored, as the desktop does
  ::setenv("HOME", "/home/me", 1);
  EXPECT_EQ(platform::DefaultContactFolder(), "/home/me/.local/share/contacts");
}

}  // namespace
