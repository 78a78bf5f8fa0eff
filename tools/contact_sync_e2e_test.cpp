// Contact synchronisation against a real trayhub with the simulated player (contacts are
// the player driver's contact tracks), through the library's proxy: a fixture folder, a
// folder that cannot be read, and a player pulled out while the new contacts are made.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/trayhub.h"
#include "platform/paths/paths.h"
#include "platform/ui/scripted_host.h"
#include "tools/contact_sync.h"
#include "transfer/log_file.h"

using namespace device;

namespace {

namespace fs = std::filesystem;
using platform::IDOK;
using platform::IDYES;

const bool kIsolated = platform::testing::IsolateNamespace();
constexpr const char* kConfirm = "Synchronizing will clear all contacts entries on your device";

class ContactSyncE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    (void)kIsolated;
    home_ = std::getenv("TOVARIN_HOME");
    trayhubtest::PrepareManagerHome(home_, "2000,20000");
    fs::remove_all(home_ + "/appdata/player");  // each test's own demo player
    ::unsetenv("TOVARIN_DEVICE");
    ::unsetenv("LAUNCHER_TEST_UNPLUG");
    ::setenv("XDG_DATA_HOME", home_.c_str(), 1);
    folder_ = home_ + "/contacts";
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    // Folded lines, escapes, UTF-8, a photo, a malformed card.
    Write("ada.vcf",
          "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ada\r\n  Lind\r\nN:Lind;Ada;;;\r\nORG:Harbour\\, Lights\r\n"
          "TEL;TYPE=CELL:+44 2\r\nEMAIL:ada@example.org\r\n"
          "PHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk\r\n"
          " +M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==\r\nEND:VCARD\r\n");
    Write("zoe.vcf", "BEGIN:VCARD\nVERSION:4.0\nFN:Zoë Ŝtar\nNICKNAME:Zo\nEND:VCARD\n");
    Write("broken.vcf", "BEGIN:VCARD\nVERSION:3.0\nFN:Never Ends\n");
  }
  void TearDown() override {
    client_.reset();
    Stop();
    ::unsetenv("LAUNCHER_TEST_UNPLUG");
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << text;
  }
  void Start(const char* tool) {
    manager_ = trayhubtest::StartTool(tool);
    ASSERT_NE(trayhubtest::WaitForManager(0, 2000), 0u) << tool;
    client_ = std::make_unique<KernelDeviceClient>();
    ASSERT_EQ(client_->ConnectToManager(0, KernelId(1), KernelId(1), 0), 1);
    for (int i = 0; i < 1000 && client_->IsConnected() == 0; ++i) platform::Sleep(10);
    ASSERT_NE(client_->IsConnected(), 0);
  }
  void Stop() {
    client_.reset();
    if (!manager_) return;
    manager_->Kill(SIGTERM);
    manager_->Wait();
    manager_.reset();
    for (int i = 0; i < 500 && platform::FindWindow(g_ProductIdentity.windowClassName) != 0; ++i) platform::Sleep(10);
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    KernelId root, c;
    client_->GetContactsRootFolder(root);
    for (int n = client_->GetFirstContact(root, c); n != 0; n = client_->GetNextContact(root, c)) {
      names.push_back(client_->GetContactName(c));
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  void AddOld() {
    KernelId root, made;
    client_->GetContactsRootFolder(root);
    ContactRecord r;
    r.field[kContactEmail].Set("old@example.org");
    ASSERT_EQ(client_->CreateContact("Old Friend", r, root, made), 0);
    ASSERT_EQ(client_->CreateContact("Ada Lind", r, root, made), 0);
    client_->CommitChanges();
  }
  std::string Log() {
    std::ifstream in(platform::ToPosixPath(transfer::GetOutlookSyncLogPath()), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string home_, folder_;
  std::unique_ptr<platform::testing::ChildProcess> manager_;
  std::unique_ptr<KernelDeviceClient> client_;
  platform::ScriptedHost host_;
};

TEST_F(ContactSyncE2E, TheFixtureFolderReplacesThePlayersContacts) {
  Start("trayhub");
  AddOld();
  // A folder that cannot be read changes nothing.
  host_.ExpectMessageBox(IDYES, kConfirm);
  host_.ExpectFolderPicker(home_ + "/no-such-folder");
  host_.ExpectMessageBox(IDOK, "Could not read the Contacts folder.");
  tools::SyncOutlookContacts(*client_, 1);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Ada Lind", "Old Friend"}));

  host_.ExpectMessageBox(IDYES, kConfirm);
  tools::SyncOutlookContacts(*client_, 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Ada Lind", "Zoë Ŝtar"}));
  KernelId root, ada;
  client_->GetContactsRootFolder(root);
  for (int n = client_->GetFirstContact(root, ada); n != 0 && client_->GetContactName(ada) != "Ada Lind";
       n = client_->GetNextContact(root, ada)) {
  }
  ContactRecord record;
  client_->GetContactRecord(ada, record);
  EXPECT_EQ(record.field[kContactMobilePhone].GetText(), "+44 2");
  EXPECT_EQ(record.field[kContactEmail].GetText(), "ada@example.org");
  EXPECT_NE(Log().find("Non-Contact item, skipping."), std::string::npos) << Log();
}

TEST_F(ContactSyncE2E, APlayerPulledOutWhileContactsAreMadeIsReportedAndNothingIsLost) {
  Start("trayhub");
  AddOld();
  Stop();
  // The same player, pulled out as soon as the first track of a new contact is stored.
  ::setenv("LAUNCHER_TEST_UNPLUG", "item", 1);
  Start("launcher_test_manager");
  host_.ExpectMessageBox(IDYES, kConfirm);
  host_.ExpectMessageBox(IDOK, "could not be put back");
  tools::SyncOutlookContacts(*client_, 0);
  const std::string log = Log();
  for (const char* line : {"2 contacts deleted from device.", "Synchronization failed", "Contact: Ada Lind",
                           "Contact: Old Friend", "  field 25: old@example.org"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
}

}  // namespace
