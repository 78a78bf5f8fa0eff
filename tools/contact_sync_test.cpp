// Contact synchronisation on the in-memory player from a fixture contacts folder.
#include "tools/contact_sync.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/ui/scripted_host.h"
#include "transfer/log_file.h"

using namespace device;

namespace {

namespace fs = std::filesystem;
using platform::IDNO;
using platform::IDOK;
using platform::IDYES;

constexpr const char* kConfirm = "Synchronizing will clear all contacts entries on your device";

// A player whose contact operations stop working after a number of new contacts: it
// refuses the next one (`unplug` false) or is pulled out (every later call fails).
class FlakyPlayer : public MemoryDeviceBase {
 public:
  int createsLeft = 1 << 30;
  bool unplug = false;
  bool gone = false;

  int CreateContact(std::string_view name, const ContactRecord& record, const KernelId& folder,
                    KernelId& made) override {
    Check();
    if (createsLeft-- == 0) {  // one refusal, or the end of the player
      if (!unplug) return 8;  // the player's storage is full
      gone = true;
      Check();
    }
    return MemoryDeviceBase::CreateContact(name, record, folder, made);
  }
  int DeleteContact(const KernelId& item) override {
    Check();
    return MemoryDeviceBase::DeleteContact(item);
  }
  int CommitChanges() override {
    Check();
    return MemoryDeviceBase::CommitChanges();
  }

 private:
  void Check() const {
    if (gone) throw DeviceError(platform::E_FAIL, "Test Player", "The player is not connected.");
  }
};

// The fixture contacts folder: folded lines, escapes, UTF-8, a photo, a malformed card.
const char* const kAda =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ada\r\n  Lind\r\nN:Lind;Ada;;;\r\nORG:Harbour\\, Lights\r\n"
    "TITLE:Sound\\nEngineer\r\nTEL;TYPE=WORK:+44 1\r\nTEL;TYPE=CELL:+44 2\r\nEMAIL:ada@example.org\r\n"
    "ADR;TYPE=HOME:;;12 Quay St;Bristol;;BS1;UK\r\nURL:https://ada.example\r\n"
    "PHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk\r\n"
    " +M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==\r\nEND:VCARD\r\n";
const char* const kZoe = "BEGIN:VCARD\nVERSION:4.0\nFN:Zoë Ŝtar\nN:Ŝtar;Zoë;;;\nNICKNAME:Zo\nEND:VCARD\n";
const char* const kBroken = "BEGIN:VCARD\nVERSION:3.0\nFN:Never Ends\n";

class ContactSync : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    g_ProductIdentity.InitFromPath("/opt/tovarin/ombrixj1.so");
    platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    folder_ = root_ + "/contacts";
    fs::create_directories(folder_);
    ::setenv("XDG_DATA_HOME", root_.c_str(), 1);
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << text;
  }
  void Fixture() {
    Write("ada.vcf", kAda);
    Write("zoe.vcf", kZoe);
    Write("broken.vcf", kBroken);
  }
  static std::vector<std::string> Names(MemoryDeviceBase& memory) {
    KernelDevice& player = memory;
    const KernelId root = memory.ContactsRoot();
    std::vector<std::string> names;
    KernelId c;
    for (int n = player.GetFirstContact(root, c); n != 0; n = player.GetNextContact(root, c)) {
      names.push_back(player.GetContactName(c));
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  static ContactRecord RecordOf(MemoryDeviceBase& memory, const std::string& name) {
    KernelDevice& player = memory;
    const KernelId root = memory.ContactsRoot();
    KernelId c;
    ContactRecord record;
    for (int n = player.GetFirstContact(root, c); n != 0; n = player.GetNextContact(root, c)) {
      if (player.GetContactName(c) == name) player.GetContactRecord(c, record);
    }
    return record;
  }
  std::string Log() {
    std::ifstream in(platform::ToPosixPath(transfer::GetOutlookSyncLogPath()), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // A player with two contacts of its own, one named like a card of the folder.
  template <class Player>
  void SeedOld(Player& player) {
    ContactRecord r;
    r.field[kContactEmail].Set("old@example.org");
    player.AddContact(KernelId(), "Ada Lind", r);
    player.AddContact(KernelId(), "Old Friend", r);
  }

  std::string folder_;
  platform::ScriptedHost host_;
};

TEST_F(ContactSync, ThePlayersContactsAreReplacedByTheFolders) {
  Fixture();
  MemoryDevice player;
  SeedOld(player);
  host_.ExpectMessageBox(IDYES, kConfirm);
  tools::SyncOutlookContacts(player, 0);
  EXPECT_EQ(Names(player), (std::vector<std::string>{"Ada Lind", "Zoë Ŝtar"}));
  const ContactRecord ada = RecordOf(player, "Ada Lind");
  const std::pair<ContactField, std::string> fields[] = {
      {kContactFirstName, "Ada"},          {kContactLastName, "Lind"},      {kContactOrganization, "Harbour, Lights"},
      {kContactJobTitle, "Sound, Engineer"}, {kContactWorkPhone, "+44 1"},  {kContactMobilePhone, "+44 2"},
      {kContactEmail, "ada@example.org"},  {kContactHomeStreet, "12 Quay St"}, {kContactHomeCity, "Bristol"},
      {kContactHomePostalCode, "BS1"},     {kContactHomeCountry, "UK"},     {kContactWebAddress, "https://ada.example"},
      {kContactNote, ""},                  {kContactHomePhone, ""},
  };
  for (const auto& [field, text] : fields) EXPECT_EQ(ada.field[field].GetText(), text) << field;
  EXPECT_EQ(RecordOf(player, "Zoë Ŝtar").field[kContactNickname].GetText(), "Zo");
  const std::string log = Log();
  for (const char* line : {"2 contacts found on device.", "2 contacts deleted from device.", "Found contact: Ada Lind",
                           "Non-Contact item, skipping.", "2 items created on device.", "Synchronization complete."}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
}

TEST_F(ContactSync, AFolderThatCannotBeReadChangesNothing) {
  MemoryDevice player;
  SeedOld(player);
  // The person picks a folder that is not there, then the default one holds a card whose
  // file cannot be read.
  host_.ExpectMessageBox(IDYES, kConfirm);
  host_.ExpectFolderPicker(root_ + "/nowhere", "Contacts folder");
  host_.ExpectMessageBox(IDOK, "Could not read the Contacts folder.");
  tools::SyncOutlookContacts(player, 1);
  Fixture();
  fs::create_symlink(folder_ + "/missing", folder_ + "/gone.vcf");
  host_.ExpectMessageBox(IDYES, kConfirm);
  host_.ExpectMessageBox(IDOK, "gone.vcf");
  tools::SyncOutlookContacts(player, 0);
  EXPECT_EQ(Names(player), (std::vector<std::string>{"Ada Lind", "Old Friend"}));
  EXPECT_EQ(RecordOf(player, "Ada Lind").field[kContactEmail].GetText(), "old@example.org");
  // Cancelling the picker, or answering No, changes nothing either.
  host_.ExpectMessageBox(IDYES, kConfirm);
  host_.ExpectFolderPicker(std::nullopt);
  host_.ExpectMessageBox(IDOK, "Could not open selected Contacts folder.");
  tools::SyncOutlookContacts(player, 1);
  host_.ExpectMessageBox(IDNO, kConfirm);
  tools::SyncOutlookContacts(player, 0);
  EXPECT_EQ(Names(player).size(), 2u);
}

TEST_F(ContactSync, AnEmptyFolderAsksBeforeDeleting) {
  Write("notes.txt", "no cards here");
  MemoryDevice player;
  SeedOld(player);
  host_.ExpectMessageBox(IDYES, kConfirm);
  host_.ExpectMessageBox(IDNO, "holds no contacts");
  tools::SyncOutlookContacts(player, 0);
  EXPECT_EQ(Names(player).size(), 2u);
  host_.ExpectMessageBox(IDYES, kConfirm);
  host_.ExpectMessageBox(IDYES, "holds no contacts");
  tools::SyncOutlookContacts(player, 0);
  EXPECT_TRUE(Names(player).empty());
}

TEST_F(ContactSync, TwoCardsOfOneNameKeepTheFirst) {
  Write("a.vcf", "BEGIN:VCARD\nFN:Same Name\nEMAIL:first@example.org\nEND:VCARD\n");
  Write("b.vcf", "BEGIN:VCARD\nFN:Same Name\nEMAIL:second@example.org\nEND:VCARD\n");
  MemoryDevice player;
  host_.ExpectMessageBox(IDYES, kConfirm);
  tools::SyncOutlookContacts(player, 0);
  EXPECT_EQ(RecordOf(player, "Same Name").field[kContactEmail].GetText(), "first@example.org");
  EXPECT_NE(Log().find("Could not create contact on device, error 7."), std::string::npos) << Log();
  EXPECT_NE(Log().find("2 items created on device."), std::string::npos);
}

TEST_F(ContactSync, APlayerThatRefusesPartWayGetsItsOldContactsBack) {
  Fixture();
  Write("more.vcf", "BEGIN:VCARD\nFN:Third One\nEND:VCARD\n");
  FlakyPlayer player;
  SeedOld(player);
  player.createsLeft = 1;  // Ada is made, Zoë is refused
  host_.ExpectMessageBox(IDYES, kConfirm);
  host_.ExpectMessageBox(IDOK, "Your device keeps the contacts it had.");
  tools::SyncOutlookContacts(player, 0);
  EXPECT_EQ(Names(player), (std::vector<std::string>{"Ada Lind", "Old Friend"}));
  EXPECT_EQ(RecordOf(player, "Ada Lind").field[kContactEmail].GetText(), "old@example.org");
}

TEST_F(ContactSync, APlayerPulledOutPartWayLeavesTheOldContactsInTheLog) {
  Fixture();
  FlakyPlayer player;
  SeedOld(player);
  player.createsLeft = 1;
  player.unplug = true;
  host_.ExpectMessageBox(IDYES, kConfirm);
  host_.ExpectMessageBox(IDOK, "2 of your device's earlier contacts could not be put back");
  tools::SyncOutlookContacts(player, 0);
  const std::string log = Log();
  for (const char* line : {"Synchronization failed: The player is not connected.", "Contact: Ada Lind",
                           "Contact: Old Friend", "  field 25: old@example.org"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
}

}  // namespace
