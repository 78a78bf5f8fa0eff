#include "tools/contact_sync.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "common/shell_utilities.h"
#include "device/device_client_error.h"
#include "device/kernel_device.h"
#include "device/kernel_device_client.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "platform/window/wait.h"
#include "tools/name_dlg.h"
#include "transfer/log_file.h"

using namespace device;

namespace tools {

namespace {

// The player's answers to a contact it will not take because one of that name exists.
constexpr int kNameExists = 7;
constexpr int kNameExistsToo = 11;

// A contact as the player held it before the run.
struct Kept {
  std::string name;
  ContactRecord record;
};

// The run: its log, its pop-up, and what it has changed on the player so far.
class Sync {
 public:
  explicit Sync(KernelDevice& device) : device_(device), popup_(platform::CurrentHost().GetOwnerWindow()) {}

  void Run(int pickFolder) {
    if (ShowMessageBox("Synchronizing will clear all contacts entries on your device and\nrepopulate it with the "
                       "current contents of your Contacts folder.  Do you wish to proceed?",
                       platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES) {
      return;
    }
    log_.Open();
    Log("User confirmed sync, existing contacts on-board music device will be deleted.\n");

    // The source, read whole before anything on the player changes.
    std::string folder = platform::DefaultContactFolder();
    if (pickFolder != 0) {
      Log("Selecting Contacts folder.");
      const std::optional<std::string> picked = platform::PickFolder(
          platform::CurrentHost().GetOwnerWindow(), "Select the Contacts folder to synchronize with:", platform::FromPosixPath(folder));
      if (!picked) return Quit("Could not open selected Contacts folder.");
      folder = platform::ToPosixPath(*picked);
    } else {
      Log("Opening default Contacts folder.");
    }
    Log("Folder name: " + folder);
    Log("\nReading Contacts items...");
    std::vector<platform::ContactItem> items;
    std::string error;
    if (!platform::ReadContactFolder(folder, items, error)) {
      return Quit("Could not read the Contacts folder.\n" + error + "\nNothing on your device was changed.");
    }
    int contacts = 0;
    for (const platform::ContactItem& item : items) contacts += item.isContact ? 1 : 0;
    Log(platform::Printf("%d items found, %d of them contacts.", static_cast<int>(items.size()), contacts));
    if (contacts == 0 &&
        ShowMessageBox("The Contacts folder\n" + folder + "\nholds no contacts.\n\nDelete every contact on your "
                       "device all the same?",
                       platform::MB_YESNO | platform::MB_ICONQUESTION | platform::MB_DEFBUTTON2) != platform::IDYES) {
      Log("User kept the contacts on the device.");
      log_.Close();
      return;
    }

    try {
      Log("Searching for existing contacts...");
      device_.GetContactsRootFolder(root_);
      std::vector<KernelId> ids;
      KernelId id;
      for (int n = device_.GetFirstContact(root_, id); n != 0; n = device_.GetNextContact(root_, id)) ids.push_back(id);
      // Kept whole in memory: the player takes no second contact of one name, so these go
      // before the new ones come, and come back should the new ones fail.
      for (const KernelId& c : ids) {
        Kept k;
        k.name = device_.GetContactName(c);
        device_.GetContactRecord(c, k.record);
        old_.push_back({c, k});
      }
    } catch (const std::exception& e) {
      Log(std::string("Could not read the contacts on the device: ") + e.what());
      Log("Quitting.");
      log_.Close();
      KernelDeviceClient::ReportError("Could not read the contacts on your device.", e);
      return;
    }
    Log(platform::Printf("%d contacts found on device.", static_cast<int>(old_.size())));

    popup_.Start("Synchronizing contacts...", static_cast<int>(old_.size()));
    Status("Deleting existing contacts...");
    try {
      for (auto& [id, kept] : old_) {
        if (const int status = device_.DeleteContact(id); status != 0) {
          return Fail(platform::Printf("The device did not delete \"%s\" (error %d).", kept.name.c_str(), status), nullptr);
        }
        ++deleted_;
        popup_.Step();
        platform::PumpMessages(0);
      }
    } catch (const std::exception& e) {
      return Fail(e.what(), &e);
    }
    Log(platform::Printf("%d contacts deleted from device.", deleted_));

    if (popup_.progress != nullptr) {
      popup_.progress->SetRange32(0, static_cast<int>(items.size()));
      popup_.progress->SetPos(0);
    }
    Status("Beginning synchronization.");
    Log("\nBeginning synchronization.\n");
    int handled = 0;
    try {
      for (const platform::ContactItem& item : items) {
        popup_.Step();
        platform::PumpMessages(0);
        if (!item.isContact) {
          Log("Non-Contact item, skipping.");
          continue;
        }
        const std::string& name = item.contact.fullName;
        Log("Found contact: " + name);
        Status(name);
        ContactRecord record;
        FillContactRecord(item.contact, record);
        KernelId made;
        const int status = device_.CreateContact(name, record, root_, made);
        ++handled;
        if (status == 0) {
          created_.push_back(made);
        } else if (status == kNameExists || status == kNameExistsToo) {
          // Two contacts of one name in the folder: the player keeps the first.
          Log(platform::Printf("Could not create contact on device, error %d.", status));
        } else {
          std::string text;
          int code = 0;
          LastDeviceError(device_, code, text);
          Log(platform::Printf("Could not create contact on device, error %d.", status));
          return Fail(platform::Printf("The device refused \"%s\" (error %d). ", name.c_str(), status) + text, nullptr);
        }
      }
    } catch (const std::exception& e) {
      return Fail(e.what(), &e);
    }
    Log(platform::Printf("\n%d items created on device.", handled));
    Log("Synchronization complete.");
    log_.Close();
    Commit();
    RefreshFolderViews();
    popup_.Close();
  }

 private:
  void Log(const std::string& line) { log_.WriteString(line); }
  void Status(const std::string& text) {
    popup_.SetItemText(text);
    platform::PumpMessages(0);
  }
  void Quit(const std::string& message) {
    Log(message);
    Log("Quitting.");
    log_.Close();
    ShowMessageBox(message, platform::MB_OK | platform::MB_ICONINFORMATION);
  }
  void Commit() {
    try {
      device_.CommitChanges();
    } catch (const std::exception&) {
      // What was made is on the player; a later commit keeps it.
    }
  }

  // Creating or deleting failed part way: the new contacts go and the old ones come back.
  void Fail(const std::string& why, const std::exception* error) {
    Log("Synchronization failed: " + why);
    Log("Restoring the contacts the device held before...");
    Status("Restoring the contacts the device held before...");
    std::vector<const Kept*> lost;
    bool gone = false;
    for (const KernelId& made : created_) {
      try {
        if (!gone) device_.DeleteContact(made);
      } catch (const std::exception&) {
        gone = true;
      }
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(deleted_); ++i) {
      const Kept& k = old_[i].second;
      int status = -1;
      try {
        if (!gone) {
          KernelId again;
          status = device_.CreateContact(k.name, k.record, root_, again);
        }
      } catch (const std::exception&) {
        gone = true;
      }
      if (status != 0) lost.push_back(&k);
    }
    if (lost.empty()) {
      Log(platform::Printf("%d contacts restored; the device has its contacts as before.", deleted_));
    } else {
      // Nothing is lost: what could not go back to the player is written out here.
      Log(platform::Printf("%d of the device's earlier contacts could not be put back:", static_cast<int>(lost.size())));
      for (const Kept* k : lost) {
        Log("Contact: " + k->name);
        for (int f = 0; f < ContactRecord::kFieldCount; ++f) {
          const std::string_view text = k->record.field[f].GetText();
          if (!text.empty()) Log(platform::Printf("  field %d: ", f) + std::string(text));
        }
      }
    }
    Log("Quitting.");
    log_.Close();
    Commit();
    RefreshFolderViews();
    popup_.Close();
    const std::string context =
        lost.empty() ? "Could not synchronize the contacts. Your device keeps the contacts it had."
                     : platform::Printf("Could not synchronize the contacts, and %d of your device's earlier contacts could not "
                              "be put back; the synchronization log lists them in full.",
                              static_cast<int>(lost.size()));
    if (error != nullptr) {
      KernelDeviceClient::ReportError(context.c_str(), *error);
    } else {
      ShowMessageBox(context + "\n\n" + why, platform::MB_OK | platform::MB_ICONINFORMATION);
    }
  }

  KernelDevice& device_;
  transfer::OutlookSyncLogFile log_;
  shellext::CDeleteDialog popup_;
  KernelId root_;
  std::vector<std::pair<KernelId, Kept>> old_;
  int deleted_ = 0;
  std::vector<KernelId> created_;
};

}  // namespace

void FillContactRecord(const platform::VCardContact& card, ContactRecord& record) {
  record.Clear();
  const std::pair<ContactField, const std::string*> fields[] = {
      {kContactFirstName, &card.givenName},       {kContactLastName, &card.familyName},
      {kContactNickname, &card.nickname},         {kContactOrganization, &card.organization},
      {kContactJobTitle, &card.title},            {kContactHomePoBox, &card.home.poBox},
      {kContactHomeStreet, &card.home.street},    {kContactHomeCity, &card.home.city},
      {kContactHomeState, &card.home.region},     {kContactHomePostalCode, &card.home.postalCode},
      {kContactHomeCountry, &card.home.country},  {kContactWorkPoBox, &card.work.poBox},
      {kContactWorkStreet, &card.work.street},    {kContactWorkCity, &card.work.city},
      {kContactWorkState, &card.work.region},     {kContactWorkPostalCode, &card.work.postalCode},
      {kContactWorkCountry, &card.work.country},  {kContactWorkPhone, &card.workPhone},
      {kContactHomePhone, &card.homePhone},       {kContactMobilePhone, &card.mobilePhone},
      {kContactWorkFax, &card.workFax},           {kContactHomeFax, &card.homeFax},
      {kContactWebAddress, &card.url},            {kContactEmail, &card.email},
  };
  for (const auto& [field, text] : fields) record.field[field].Set(*text);
}

void SyncOutlookContacts(KernelDevice& device, int pickFolder) {
  Sync sync(device);
  sync.Run(pickFolder);
}

}  // namespace tools
