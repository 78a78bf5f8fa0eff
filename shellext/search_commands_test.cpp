// The search, Quodrel, note, contact and skip commands on the in-memory player.
#include "shellext/search_commands.h"

#include <gtest/gtest.h>

#include <mutex>

#include "common/settings.h"
#include "testing/shell_commands.h"
#include "tools/item_editors.h"
#include "tools/quodrel_edit_dialog.h"
#include "tools/search_dialogs.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;
using platform::DialogDriver;
using platform::IDOK;

const bool kIsolated = platform::testing::IsolateNamespace();

class SearchCommandsTest : public CommandsTest {
 protected:
  void SetUp() override {
    CommandsTest::SetUp();
    rnb_ = device_.AddTrack({.artist = "Vela", .album = "It's Late", .title = "50% Off", .genre = "R&B", .number = 1,
                             .year = 2020, .length = 190});
  }
  std::vector<std::uint32_t> Results() {
    std::lock_guard<std::mutex> lock(g_SearchResultsLock);
    return Words(g_SearchResults);
  }
  std::string LastQuery() {
    std::string q = "(none)";
    ReadSettingString("SQL_LastSearchQuery", q);
    return q;
  }
  void ExpectSimpleSearch(std::optional<std::string> text) {
    host_.ExpectDialog(tools::CSearchSimpleDlg::kTemplateId, [text](DialogDriver& d) {
      if (!text) {
        d.Cancel();
        return;
      }
      d.Type(tools::CSearchSimpleDlg::kTextId, *text).Ok();
    });
  }

  KernelId rnb_;
};

TEST_F(SearchCommandsTest, TheSimpleSearchLooksForItsWordAsTextInFourFields) {
  const struct {
    const char* word;
    std::vector<KernelId> hits;  // empty: "Search produced no matches."
  } kCases[] = {
      {"ada", {catalogue_.harbour, catalogue_.longRoad}},
      {"jazz", {catalogue_.opening}},
      {"It's", {rnb_}},
      {"R&B", {rnb_}},
      {"50%", {rnb_}},
      {"' OR 1=1 OR artist?'", {}},
      {"x'; SELECT", {}},
      {"nothing here", {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.word);
    Settings().SetString("SQL_LastSearchQuery", "before");
    ExpectSimpleSearch(c.word);
    if (c.hits.empty()) host_.ExpectMessageBox(IDOK, "Search produced no matches.");
    Invoke(3027, {"Search"});
    EXPECT_EQ(Results(), Words(c.hits));
    EXPECT_EQ(LastQuery(), c.hits.empty() ? "before" : SimpleSearchCondition(c.word));
  }
  EXPECT_EQ(SimpleSearchCondition("it's"), "artist?'it''s' OR album?'it''s' OR genre?'it''s' OR title?'it''s'");
}

TEST_F(SearchCommandsTest, ABlankWordAsksAgainAndCancelEndsWithoutSearching) {
  ExpectSimpleSearch("");
  ExpectSimpleSearch("  ");
  ExpectSimpleSearch(std::nullopt);
  Invoke(3027, {"Search"});
  EXPECT_TRUE(Results().empty());
  // The Search folder's own toolbar and the root's menu run the same command.
  ExpectSimpleSearch("Cyra");
  Invoke(3027, {});
  EXPECT_EQ(Results(), Words({catalogue_.mirror}));
}

TEST_F(SearchCommandsTest, TheAdvancedSearchStartsFromTheLastSearchWritten) {
  const struct {
    const char* stored;  // nullptr: none
    const char* shown;
  } kCases[] = {
      {"SELECT id FROM audio WHERE year > 2000;", "year > 2000"},   // as the web pages store it
      {"artist?'Ada' OR album?'Ada'", "artist?'Ada' OR album?'Ada'"},  // as the simple search stores it
      {"title?'WHERE;'", "title?'WHERE;'"},
      {"genre='x';;", "genre='x'"},
      {nullptr, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.shown);
    Settings().DeleteValue("SQL_LastSearchQuery");
    Settings().DeleteValue("Last Search Query");
    if (c.stored) Settings().SetString("SQL_LastSearchQuery", c.stored);
    host_.ExpectDialog(tools::CSearchDlg::kTemplateId, [&](DialogDriver& d) {
      EXPECT_EQ(d.Text(tools::CSearchDlg::kConditionId), c.shown);
      d.Cancel();
    });
    Invoke(3026, {"Search"});
  }
}

TEST_F(SearchCommandsTest, AnAdvancedConditionThatDoesNotReadIsShownAndAskedAgain) {
  host_.ExpectDialog(tools::CSearchDlg::kTemplateId, [](DialogDriver& d) {
    d.Type(tools::CSearchDlg::kConditionId, "year > (").Ok();
  });
  host_.ExpectMessageBox(IDOK, "The search condition cannot be read:");
  host_.ExpectDialog(tools::CSearchDlg::kTemplateId, [](DialogDriver& d) {
    EXPECT_EQ(d.Text(tools::CSearchDlg::kConditionId), "year > (");  // kept for mending
    d.Type(tools::CSearchDlg::kConditionId, "").Ok();
  });
  host_.ExpectDialog(tools::CSearchDlg::kTemplateId, [](DialogDriver& d) {
    d.Type(tools::CSearchDlg::kConditionId, "year >= 2004 AND genre = 'Folk'").Ok();
  });
  Invoke(3026, {"Search"});
  EXPECT_EQ(Results(), Words({catalogue_.harbour, catalogue_.longRoad}));
  EXPECT_EQ(LastQuery(), "year >= 2004 AND genre = 'Folk'");
}

TEST_F(SearchCommandsTest, APlayerThatFailsDuringASearchIsReported) {
  device_.FailWithError(DeviceOp::QueryFirst, platform::E_FAIL, "Memory Device", "The player went away.", 1);
  ExpectSimpleSearch("Ada");
  host_.ExpectMessageBox(IDOK, "Could not search the player.");
  Invoke(3027, {"Search"});
  EXPECT_TRUE(Results().empty());
}

TEST_F(SearchCommandsTest, NewQuodrelMakesItsPrefixedPlaylist) {
  ExpectName("type name here", "  ", "Rule Playlist Name");
  ExpectName("  ", "Party");
  Invoke(3047, {"Playlists"});
  EXPECT_NE(PlaylistNamed("QL: Party").word[0], 0u);
  ExpectName("type name here", "Party");
  host_.ExpectMessageBox(IDOK, "Playlist 'QL: Party' already exists.");
  Invoke(3047, {"Playlists"});
  ExpectName("type name here", std::string(tools::kMaxListNameBytes + 1, 'x'));
  host_.ExpectMessageBox(IDOK, "at most 119 bytes");
  ExpectName(std::string(tools::kMaxListNameBytes + 1, 'x'), std::nullopt);
  Invoke(3047, {"Playlists"});
  EXPECT_EQ(PlaylistNames(), (std::vector<std::string>{"Evening", "Jazz Mix", "QL: Party"}));
}

TEST_F(SearchCommandsTest, EditQuodrelTakesExactlyOnePlaylist) {
  device_.AddPlaylist("QL: Party");
  host_.ExpectMessageBox(IDOK, "Please edit one Quodrel at a time.");
  Invoke(3052, {"Playlists"}, {"QL: Party", "Evening"});
  host_.ExpectDialog(tools::QuodrelEditDialog::kTemplateId, [](DialogDriver& d) {
    EXPECT_EQ(d.Caption(), "Edit Quodrel - Party");
    d.Type(tools::QuodrelEditDialog::kValueIds[0], "Cyra").Ok();
  });
  Invoke(3052, {"Playlists"}, {"QL: Party"});
  EXPECT_EQ(Words(TracksOf("QL: Party")), Words({catalogue_.mirror}));
}

TEST_F(SearchCommandsTest, NotesAndContactsAreReadEditedAndWrittenBack) {
  const platform::LPITEMIDLIST notes = At({"Notes"});
  CPidlList note;
  note.emplace_back(Child(notes, "Shopping"));
  host_.ExpectDialog(tools::EditNoteDialog::kTemplateId, [](DialogDriver& d) {
    EXPECT_EQ(d.Text(tools::EditNoteDialog::kTextId), "Strings, picks.");
    d.Type(tools::EditNoteDialog::kTextId, "Strings, picks,\ncapo.").Ok();
  });
  EditNote(note);
  EXPECT_EQ(device_.GetNoteText(note.front().GetId()), "Strings, picks,\ncapo.");
  host_.ExpectDialog(tools::EditNoteDialog::kTemplateId, [](DialogDriver& d) {
    d.Type(tools::EditNoteDialog::kTextId, "gone").Cancel();
  });
  EditNote(note);
  EXPECT_EQ(device_.GetNoteText(note.front().GetId()), "Strings, picks,\ncapo.");

  // Longer than the player holds: the editor says how much fits; No keeps the whole text
  // in it, Yes stores the part that fits.
  const std::string longer = std::string(4100, 'n') + "é";  // 4101 characters in 4102 bytes
  host_.ExpectDialog(tools::EditNoteDialog::kTemplateId, [&](DialogDriver& d) {
    d.Type(tools::EditNoteDialog::kTextId, longer);
    host_.ExpectNextMessageBox(platform::IDNO, "This note has 4101 characters; the player holds 4099 of them.");
    d.Ok();
    EXPECT_EQ(d.Text(tools::EditNoteDialog::kTextId), longer);
    host_.ExpectNextMessageBox(platform::IDYES, "Store only the first 4099 characters?");
    d.Ok();
  });
  EditNote(note);
  EXPECT_EQ(device_.GetNoteText(note.front().GetId()), std::string(4099, 'n'));

  CPidlList contact;
  contact.emplace_back(Child(At({"Contacts"}), "Mara Quill"));
  host_.ExpectDialog(tools::EditContactDialog::kTemplateId, [](DialogDriver& d) {
    EXPECT_EQ(d.Text(1214), "");
    d.Type(1217, "Mara").Type(1214, "mara@example.org").Type(1219, "+1 555 0101").Ok();
  });
  EditContact(contact);
  ContactRecord record;
  device_.GetContactRecord(contact.front().GetId(), record);
  EXPECT_EQ(record.field[kContactEmail].Str(), "mara@example.org");
  EXPECT_EQ(record.field[kContactMobilePhone].Str(), "+1 555 0101");
  EXPECT_EQ(record.field[kContactFirstName].Str(), "Mara");
}

TEST_F(SearchCommandsTest, SkipToTrackPlaysTheTracksFirstQueueEntry) {
  for (const KernelId& t : {catalogue_.harbour, catalogue_.mirror, catalogue_.opening, catalogue_.mirror}) {
    device_.EnqueueTrack(t);
  }
  Invoke(3022, {"Active Queue"}, {"Cyra - Glass Rooms - 07 - Mirror"});
  EXPECT_EQ(device_.GetQueuePosition(), 1);
  EXPECT_EQ(Words(device_.PlayLog()), Words({catalogue_.mirror}));
  host_.ExpectMessageBox(IDOK, "No track selected.");
  SkipToTrack(CPidlList());
  device_.FailWithError(DeviceOp::PlayQueueCurrent, platform::E_FAIL, "Memory Device", "The player went away.", 1);
  host_.ExpectMessageBox(IDOK, "Could not skip to track.");
  Invoke(3022, {"Active Queue"}, {"Brass Fold - Metal Hours - 01 - Opening"});
}

}  // namespace
}  // namespace shellexttest
