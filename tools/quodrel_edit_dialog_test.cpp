// The Quodrel editor on the in-memory player: what it shows, how OK refills the playlist
// and keeps the rule, what it refuses, and that a failing player loses no track.
#include "tools/quodrel_edit_dialog.h"

#include <filesystem>

#include "common/folders.h"
#include "common/short_hash.h"
#include "device/sortable.h"
#include "testing/tools.h"

using namespace device;

namespace tools {
namespace {

using platform::DialogDriver;
using platform::IDOK;
using toolstest::Tracks;
using D = QuodrelEditDialog;

const bool kIsolated = platform::testing::IsolateNamespace();

class QuodrelEditTest : public toolstest::ToolsTest {
 protected:
  void SetUp() override {
    ToolsTest::SetUp();
    tracks_ = toolstest::SeedTracks(device_);
    party_ = device_.AddPlaylist("QL: Party", {tracks_.neon});
  }
  std::string RuleFile(const std::string& listName) {
    return root_ + "/appdata/qlists/" + RuleFileName(GetShortSha1Hex(device_.Info().uniqueId), listName);
  }
  // The playlist of that name now (a refill makes it anew), and its tracks.
  std::vector<KernelId> TracksOf(const std::string& name) {
    KernelId p;
    for (int n = device_.GetFirstPlaylist(p); n != 0; n = device_.GetNextPlaylist(p)) {
      if (device_.GetPlaylistName(p) == name) return device_.PlaylistItems(p);
    }
    ADD_FAILURE() << "no playlist " << name;
    return {};
  }
  std::vector<std::string> PlaylistNames() {
    std::vector<std::string> names;
    KernelId p;
    for (int n = device_.GetFirstPlaylist(p); n != 0; n = device_.GetNextPlaylist(p)) names.push_back(device_.GetPlaylistName(p));
    return names;
  }
  // Runs the editor on a playlist with a script.
  int Edit(const KernelId& playlist, const std::function<void(DialogDriver&)>& script) {
    D dialog(&device_, playlist);
    host_.ExpectDialog(D::kTemplateId, script);
    return dialog.DoModal();
  }

  MemoryDevice device_;
  Tracks tracks_;
  KernelId party_;
};

TEST_F(QuodrelEditTest, ItShowsTheDefaultsAndTheFieldsOfTheProduct) {
  const struct {
    int variant;
    std::vector<std::string> extra;
  } kCases[] = {{1, {}}, {4, {"Composer", "Rating", "PlayCount"}}, {7, {"Composer", "Rating"}}, {8, {"Composer", "Rating"}}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.variant);
    g_ProductIdentity.variantCode = c.variant;
    Edit(party_, [&](DialogDriver& d) {
      EXPECT_EQ(d.Caption(), "Edit Quodrel - Party");
      EXPECT_EQ(d.Text(D::kLimitId), "90");
      EXPECT_EQ(d.Items(D::kUnitId), (std::vector<std::string>{"minutes", "hours", "tracks", "MB"}));
      EXPECT_EQ(d.Text(D::kUnitId), "minutes");
      EXPECT_EQ(d.Text(D::kMatchId), "all");
      std::vector<std::string> first = {"Artist", "Album", "Track Number", "Track Title", "Genre",
                                        "Year",   "Minutes", "Bitrate",    "Bytes"};
      first.insert(first.end(), c.extra.begin(), c.extra.end());
      EXPECT_EQ(d.Items(D::kFieldIds[0]), first);
      std::vector<std::string> sorted = first;
      sorted.push_back("(not used)");
      std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
        return CompareStringsNoCase(a, b) < 0;
      });
      EXPECT_EQ(d.Items(D::kFieldIds[1]), sorted);
      EXPECT_EQ(d.Items(D::kFieldIds[2]).front(), "(not used)");
      EXPECT_EQ(d.Text(D::kFieldIds[0]), "Artist");
      EXPECT_EQ(d.Text(D::kFieldIds[1]), "(not used)");
      EXPECT_EQ(d.Text(D::kOperatorIds[0]), "contains");
      EXPECT_EQ(d.Text(D::kOrderId), "randomly");
      for (int row : {1, 2}) {
        EXPECT_FALSE(d.Enabled(D::kOperatorIds[row]));
        EXPECT_FALSE(d.Enabled(D::kValueIds[row]));
      }
      d.Select(D::kFieldIds[2], "Year");
      EXPECT_TRUE(d.Enabled(D::kOperatorIds[2]));
      EXPECT_TRUE(d.Enabled(D::kValueIds[2]));
      EXPECT_FALSE(d.Enabled(D::kValueIds[1]));
      d.Select(D::kFieldIds[2], "(not used)");
      EXPECT_FALSE(d.Enabled(D::kValueIds[2]));
      d.Cancel();
    });
  }
  EXPECT_FALSE(std::filesystem::exists(RuleFile("Party")));  // Cancel keeps nothing
  EXPECT_EQ(TracksOf("QL: Party"), std::vector<KernelId>{tracks_.neon});
}

// Three tracks by artist, album and title, capped at 1 MB: the walk stops at the first
// track past the cap and does not try the smaller ones after it.
TEST_F(QuodrelEditTest, OkRefillsThePlaylistKeepsTheRuleAndTheNextEditStartsFromIt) {
  EXPECT_EQ(Edit(party_,
                 [&](DialogDriver& d) {
                   d.Type(D::kLimitId, "1").Select(D::kUnitId, "MB").Select(D::kMatchId, "any");
                   d.Select(D::kFieldIds[0], "Genre").Select(D::kOperatorIds[0], "is equal to").Type(D::kValueIds[0], "Folk");
                   d.Select(D::kFieldIds[1], "Year").Select(D::kOperatorIds[1], "is less than").Type(D::kValueIds[1], "2000");
                   d.Select(D::kOrderId, "by artist/album/trackname");
                   d.Ok();
                 }),
            IDOK);
  // Harbour (600 KB) then Long Road (400 KB) make 1000 KB; Opening's 1024 KB passes the cap.
  EXPECT_EQ(TracksOf("QL: Party"), (std::vector<KernelId>{tracks_.harbour, tracks_.longRoad}));
  EXPECT_EQ(PlaylistNames(), std::vector<std::string>{"QL: Party"});  // no temporary playlist stays

  const std::optional<std::string> file = ReadFileBytes(platform::FromPosixPath(RuleFile("Party")));
  ASSERT_TRUE(file);
  EXPECT_EQ(DecipherRule(*file),
            "1|MB|any|Genre|is equal to|Folk|Year|is less than|2000|(not used)|contains|-|by artist/album/trackname");

  KernelId party;  // the refilled playlist, made anew under the same name
  device_.GetFirstPlaylist(party);
  Edit(party, [&](DialogDriver& d) {
    EXPECT_EQ(d.Text(D::kLimitId), "1");
    EXPECT_EQ(d.Text(D::kUnitId), "MB");
    EXPECT_EQ(d.Text(D::kMatchId), "any");
    EXPECT_EQ(d.Text(D::kFieldIds[1]), "Year");
    EXPECT_EQ(d.Text(D::kValueIds[1]), "2000");
    EXPECT_TRUE(d.Enabled(D::kValueIds[1]));  // the loaded rule enables its rows
    EXPECT_FALSE(d.Enabled(D::kValueIds[2]));
    EXPECT_EQ(d.Text(D::kValueIds[2]), "");
    EXPECT_EQ(d.Text(D::kOrderId), "by artist/album/trackname");
    d.Cancel();
  });
}

TEST_F(QuodrelEditTest, TracksAndMinutesCapTheWalk) {
  const struct {
    const char* limit;
    const char* unit;
    std::vector<KernelId> expected;
  } kCases[] = {
      {"3", "tracks", {tracks_.harbour, tracks_.longRoad, tracks_.opening}},
      {"1", "minutes", {tracks_.harbour, tracks_.longRoad}},  // 40 + 20 = 60 seconds
      {"1", "hours", {tracks_.harbour, tracks_.longRoad, tracks_.opening, tracks_.mirror, tracks_.neon}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.limit) + " " + c.unit);
    KernelId party;
    device_.GetFirstPlaylist(party);
    Edit(party, [&](DialogDriver& d) {
      d.Type(D::kLimitId, c.limit).Select(D::kUnitId, c.unit);
      d.Select(D::kFieldIds[0], "Track Title").Type(D::kValueIds[0], "");  // contains '': every track
      d.Select(D::kOrderId, "by artist/album/trackname").Ok();
    });
    EXPECT_EQ(TracksOf("QL: Party"), c.expected);
  }
  // A first track past the cap gives an empty playlist.
  KernelId party;
  device_.GetFirstPlaylist(party);
  Edit(party, [&](DialogDriver& d) {
    d.Type(D::kLimitId, "1").Select(D::kUnitId, "minutes");
    d.Select(D::kFieldIds[0], "Artist").Type(D::kValueIds[0], "Brass").Ok();
  });
  EXPECT_TRUE(TracksOf("QL: Party").empty());
}

TEST_F(QuodrelEditTest, RandomOrderTakesTheCapsShareOfTheMatches) {
  Edit(party_, [&](DialogDriver& d) {
    d.Type(D::kLimitId, "2").Select(D::kUnitId, "tracks");
    d.Select(D::kFieldIds[0], "Minutes").Select(D::kOperatorIds[0], "is less than").Type(D::kValueIds[0], "3");
    d.Ok();  // length < 180: Harbour, Long Road, Opening, Mirror's Edge
  });
  const std::vector<KernelId> got = TracksOf("QL: Party");
  ASSERT_EQ(got.size(), 2u);
  for (const KernelId& t : got) EXPECT_NE(t.word[0], tracks_.neon.word[0]);
  EXPECT_NE(got[0].word[0], got[1].word[0]);
}

// Quotes, "R&B" and the words of the query language in a value are only text.
TEST_F(QuodrelEditTest, ValuesAreTextsNotPiecesOfTheStatement) {
  const struct {
    const char* field;
    const char* value;
    std::vector<KernelId> expected;  // empty: no match, the playlist keeps Neon Rain
  } kCases[] = {
      {"Track Title", "Mirror's", {tracks_.mirror}},
      {"Genre", "R&B", {tracks_.mirror}},
      {"Artist", "' OR artist?'", {}},
      {"Album", "x' OR 1=1 OR album='", {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    KernelId party;
    device_.GetFirstPlaylist(party);
    Edit(party, [&](DialogDriver& d) {
      d.Select(D::kFieldIds[0], c.field).Type(D::kValueIds[0], c.value);
      if (c.expected.empty()) host_.ExpectNextMessageBox(IDOK, "Conditions produced no matches.");
      d.Ok();
    });
    EXPECT_EQ(TracksOf("QL: Party"), c.expected.empty() ? std::vector<KernelId>{tracks_.neon} : c.expected);
    if (!c.expected.empty()) {
      // Back to one track for the next case.
      device_.GetFirstPlaylist(party);
      Edit(party, [&](DialogDriver& d) { d.Select(D::kFieldIds[0], "Track Title").Type(D::kValueIds[0], "Neon").Ok(); });
    }
  }
}

TEST_F(QuodrelEditTest, NoMatchKeepsThePlaylistButStoresTheRule) {
  host_.ExpectDialog(D::kTemplateId, [&](DialogDriver& d) {
    d.Type(D::kValueIds[0], "nobody");
    host_.ExpectNextMessageBox(IDOK, "Conditions produced no matches.");
    d.Ok();
  });
  D dialog(&device_, party_);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(TracksOf("QL: Party"), std::vector<KernelId>{tracks_.neon});
  EXPECT_TRUE(std::filesystem::exists(RuleFile("Party")));
}

TEST_F(QuodrelEditTest, ValuesTheRuleCannotUseOrKeepAreRefusedAndNothingChanges) {
  const struct {
    const char* field;
    const char* value;
    const char* limit;
    const char* message;
  } kCases[] = {
      {"Artist", "a|b", "90", "cannot hold the character \"|\""},
      {"Year", "nineteen", "90", "(Year) must be a whole number"},
      {"Minutes", "abc", "90", "(Minutes) must be a whole number"},
      {"Artist", "x", "0", "between 1 and 9999"},
      {"Artist", "x", "10000", "between 1 and 9999"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.message);
    Edit(party_, [&](DialogDriver& d) {
      d.Type(D::kLimitId, c.limit).Select(D::kFieldIds[0], c.field).Type(D::kValueIds[0], c.value);
      host_.ExpectNextMessageBox(IDOK, c.message);
      d.Ok();
      EXPECT_FALSE(d.Ended());
      d.Cancel();
    });
  }
  EXPECT_EQ(TracksOf("QL: Party"), std::vector<KernelId>{tracks_.neon});
  EXPECT_FALSE(std::filesystem::exists(RuleFile("Party")));
}

TEST_F(QuodrelEditTest, ANameTooLongForItsRuleFileIsRefusedNotCut) {
  const KernelId longest = device_.AddPlaylist("QL: " + std::string(kMaxListNameBytes, 'x'));
  const KernelId tooLong = device_.AddPlaylist("QL: " + std::string(kMaxListNameBytes + 1, 'x'));
  Edit(tooLong, [&](DialogDriver& d) {
    host_.ExpectNextMessageBox(IDOK, "at most 119 bytes");
    d.Ok();
    EXPECT_FALSE(d.Ended());
    d.Cancel();
  });
  EXPECT_TRUE(device_.PlaylistItems(tooLong).empty());
  Edit(longest, [&](DialogDriver& d) { d.Type(D::kValueIds[0], "Cyra").Ok(); });
  EXPECT_TRUE(std::filesystem::exists(RuleFile(std::string(kMaxListNameBytes, 'x'))));
  EXPECT_EQ(TracksOf("QL: " + std::string(kMaxListNameBytes, 'x')), std::vector<KernelId>{tracks_.mirror});
}

// The player fails while the playlist is rebuilt: the old playlist keeps its tracks, no
// temporary playlist stays, the rule is not stored and the editor stays open.
TEST_F(QuodrelEditTest, APlayerThatFailsMidwayLosesNoTrack) {
  for (DeviceOp op : {DeviceOp::AddPendingToPlaylist, DeviceOp::DeletePlaylist, DeviceOp::CreatePlaylist}) {
    SCOPED_TRACE(static_cast<int>(op));
    device_.FailWithError(op, platform::E_FAIL, "Memory Device", "The player went away.", 1);
    Edit(party_, [&](DialogDriver& d) {
      d.Type(D::kValueIds[0], "Ada");
      host_.ExpectNextMessageBox(IDOK, "Could not fill the Quodrel.");
      d.Ok();
      EXPECT_FALSE(d.Ended());
      d.Cancel();
    });
    EXPECT_EQ(PlaylistNames(), std::vector<std::string>{"QL: Party"});
    EXPECT_EQ(TracksOf("QL: Party"), std::vector<KernelId>{tracks_.neon});
    EXPECT_FALSE(std::filesystem::exists(RuleFile("Party")));
  }
  // A refusal by status (not a thrown error) keeps the old playlist too.
  device_.FailWithStatus(DeviceOp::AddPendingToPlaylist, 8, "Storage full.", 1);
  Edit(party_, [&](DialogDriver& d) {
    d.Type(D::kValueIds[0], "Ada");
    host_.ExpectNextMessageBox(IDOK, "Could not fill the Quodrel.");
    d.Ok();
    d.Cancel();
  });
  EXPECT_EQ(PlaylistNames(), std::vector<std::string>{"QL: Party"});
  EXPECT_EQ(TracksOf("QL: Party"), std::vector<KernelId>{tracks_.neon});
}

// Rule files that are not a rule: the editor starts from the defaults.
TEST_F(QuodrelEditTest, DamagedRuleFilesGiveTheDefaults) {
  std::filesystem::create_directories(root_ + "/appdata/qlists");
  const std::string path = platform::FromPosixPath(RuleFile("Party"));
  for (const std::string& bytes :
       {std::string("not enciphered"), EncipherRule("1|tracks|all"),
        EncipherRule("5|hours|all|Album|contains|a|b|(not used)|contains|-|(not used)|contains|-|randomly"),
        std::string()}) {
    ASSERT_TRUE(ReplaceFileBytes(path, bytes));
    Edit(party_, [&](DialogDriver& d) {
      EXPECT_EQ(d.Text(D::kLimitId), "90");
      EXPECT_EQ(d.Text(D::kUnitId), "minutes");
      d.Cancel();
    });
  }
}

// A rule file whose choices the lists do not hold opens with nothing chosen there: OK
// names the first one to choose and stores nothing until every choice is made, and the
// rule then stored loads again.
TEST_F(QuodrelEditTest, ARuleFileWithForeignChoicesIsNotStoredUntilEachIsChosen) {
  std::filesystem::create_directories(root_ + "/appdata/qlists");
  const std::string path = platform::FromPosixPath(RuleFile("Party"));
  const std::string hostile = EncipherRule("5|weeks|some|Mood|near|x|Year|about|1990|(not used)|maybe|-|sideways");
  ASSERT_TRUE(ReplaceFileBytes(path, hostile));
  const struct {
    const char* message;
    std::function<void(DialogDriver&)> choose;
  } kSteps[] = {
      {"Please choose what the limit counts", [](DialogDriver& d) { d.Select(D::kUnitId, "tracks"); }},
      {"all or any", [](DialogDriver& d) { d.Select(D::kMatchId, "any"); }},
      {"field for condition 1", [](DialogDriver& d) { d.Select(D::kFieldIds[0], "Artist").Type(D::kValueIds[0], "Ada"); }},
      {"operator for condition 1", [](DialogDriver& d) { d.Select(D::kOperatorIds[0], "contains"); }},
      {"operator for condition 2", [](DialogDriver& d) { d.Select(D::kOperatorIds[1], "is greater than"); }},
      {"how the tracks are sorted", [](DialogDriver& d) { d.Select(D::kOrderId, "randomly"); }},
  };
  Edit(party_, [&](DialogDriver& d) {
    EXPECT_EQ(d.Text(D::kLimitId), "5");
    EXPECT_EQ(d.Text(D::kUnitId), "");
    EXPECT_EQ(d.Text(D::kFieldIds[1]), "Year");
    for (const auto& step : kSteps) {
      SCOPED_TRACE(step.message);
      host_.ExpectNextMessageBox(IDOK, step.message);
      d.Ok();
      EXPECT_FALSE(d.Ended());
      EXPECT_EQ(ReadFileBytes(path), hostile);
      step.choose(d);
    }
    d.Ok();
    EXPECT_TRUE(d.Ended());
  });
  QuodrelRule stored;
  ASSERT_TRUE(ParseRuleRecord(DecipherRule(*ReadFileBytes(path)).value_or(""), stored));
  EXPECT_EQ(FormatRuleRecord(stored),
            "5|tracks|any|Artist|contains|Ada|Year|is greater than|1990|(not used)|contains|-|randomly");
}

// A device that names its own folder for rule files.
class RuleFolderPlayer : public MemoryDeviceBase {
 public:
  std::string folder;
  std::string GetRulePlaylistFolder() override { return folder; }
};

TEST_F(QuodrelEditTest, TheDevicesOwnRuleFolderWinsAndDoubledSeparatorsCollapse) {
  RuleFolderPlayer player;
  player.folder = platform::FromPosixPath(root_ + "/device") + "\\\\rules\\";
  toolstest::SeedTracks(player);
  const KernelId mix = player.AddPlaylist("QL: Mix");
  D dialog(&player, mix);
  EXPECT_EQ(dialog.GetRuleFilePath(), platform::FromPosixPath(root_ + "/device/rules/") +
                                          RuleFileName(GetShortSha1Hex(player.Info().uniqueId), ""));
  host_.ExpectDialog(D::kTemplateId, [&](DialogDriver& d) { d.Type(D::kValueIds[0], "Cyra").Ok(); });
  dialog.DoModal();
  EXPECT_TRUE(std::filesystem::exists(root_ + "/device/rules/" + RuleFileName(GetShortSha1Hex(player.Info().uniqueId), "Mix")));
}

}  // namespace
}  // namespace tools
