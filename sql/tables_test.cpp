#include "sql/jukebox_tables.h"

#include <gtest/gtest.h>

#include "device/device_error.h"
#include "sql/sql_exception.h"
#include "testing/sql_tables.h"

namespace sql {

using namespace device;

namespace {

using sqltest::RunSql;
using Rows = std::vector<std::string>;

KernelId AddFullTrack(sqltest::RecordDevice& device, int rating) {
  TrackRecord r;
  r.artist.Set("Artist");
  r.album.Set("Album");
  r.title.Set("Title");
  r.genre.Set("Genre");
  r.comment.Set("Comment");
  r.composer.Set("Composer");
  r.trackNumber = 7;
  r.year = 1999;
  r.length = 245;
  r.codec = kCodecFlac;
  r.bitrate = 900;
  r.fileSize = 12345;
  r.playOnly = 1;
  r.rating = static_cast<std::uint8_t>(rating);
  r.playCount = 3;
  return device.AddTrack(r);
}

TEST(AudioTable, EveryColumn) {
  sqltest::RecordDevice device;
  const KernelId id = AddFullTrack(device, 99);
  auto out = RunSql(device,
                 "SELECT id, artist, album, tracknum, title, genre, composer, year, comment, length, codec, "
                 "bitrate, size, locked, rating, playcount FROM audio");
  EXPECT_EQ(out->Rows(),
            Rows({std::to_string(id.GetItemId()) +
                  "|Artist|Album|7|Title|Genre|Composer|1999|Comment|245|flac|900|12345|1|4|3"}));
}

TEST(AudioTable, RatingIsStars) {
  sqltest::RecordDevice device;
  for (int rating : {0, 19, 20, 99, 100}) AddFullTrack(device, rating);
  EXPECT_EQ(RunSql(device, "SELECT rating FROM audio")->Rows(), Rows({"0", "0", "1", "4", "5"}));
}

TEST(AudioTable, SelectAllYieldsThirteenColumns) {
  sqltest::RecordDevice device;
  AddFullTrack(device, 100);
  auto out = RunSql(device, "SELECT * FROM audio");
  EXPECT_TRUE(out->names.empty());
  ASSERT_EQ(out->table.GetCount(), 1u);
  const CResultRow& row = *out->table.GetRow(0);
  EXPECT_EQ(row.Size(), 13u);
  EXPECT_TRUE(row.Find("size"));
  EXPECT_FALSE(row.Find("locked"));
  EXPECT_FALSE(row.Find("rating"));
  EXPECT_FALSE(row.Find("playcount"));
}

TEST(AudioTable, NameFaults) {
  MemoryDevice device;
  device.AddTrack({.artist = "A", .title = "T"});
  device.AddPlaylist("P", {});
  const struct {
    const char* sql;
    const char* description;
  } cases[] = {
      {"SELECT Artist FROM audio", "No such field.\n\nArtist\n0"},
      {"SELECT audio.artist FROM audio", "No such field.\n\naudio.artist\n0"},
      {"SELECT artist FROM audio, playlist", "Bad join row field.\n\nartist\n0"},
      {"SELECT data.name FROM audio, playlist", "No such field.\n\ndata.name\n0"},
      {"SELECT audio.nosuch FROM audio, playlist", "No such field.\n\nnosuch\n0"},
      {"SELECT id FROM songs", "No such table.\n\nsongs\n0"},
      {"SELECT id FROM Audio", "No such table.\n\nAudio\n0"},
  };
  for (const auto& c : cases) {
    try {
      RunSql(device, c.sql);
      ADD_FAILURE() << "no exception: " << c.sql;
    } catch (const COmbrixSQLException& e) {
      EXPECT_EQ(e.GetDescription(), c.description) << c.sql;
    }
  }
}

TEST(AudioTable, EmptyPlayerGivesNoRowsAndNoError) {
  MemoryDevice device;
  EXPECT_EQ(RunSql(device, "SELECT nosuch FROM audio WHERE other = 1")->table.GetCount(), 0u);
  EXPECT_EQ(RunSql(device, "SELECT * FROM audio, plitem, data, playlist")->table.GetCount(), 0u);
}

TEST(AudioTable, OneRequestPerRowWhateverTheFields) {
  sqltest::RecordDevice device;
  device.AddTrack({.artist = "A1", .album = "B1", .title = "T1", .year = 1991});
  device.AddTrack({.artist = "A2", .album = "B2", .title = "T2", .year = 1985});
  device.AddTrack({.artist = "A3", .album = "B3", .title = "T3", .year = 2001});

  // The whole record once per row, whether the statement reads one field or several; the
  // id needs none.
  EXPECT_EQ(RunSql(device, "SELECT id FROM audio WHERE year > 1990")->table.GetCount(), 2u);
  EXPECT_EQ(device.trackInfoCalls, 3);
  device.trackInfoCalls = 0;
  EXPECT_EQ(RunSql(device, "SELECT artist, album, title FROM audio WHERE year > 1990")->Rows(),
            Rows({"A1|B1|T1", "A3|B3|T3"}));
  EXPECT_EQ(device.trackInfoCalls, 3);
  device.trackInfoCalls = 0;
  EXPECT_EQ(RunSql(device, "SELECT id FROM audio")->table.GetCount(), 3u);
  EXPECT_EQ(device.trackInfoCalls, 0);
  EXPECT_EQ(device.singleFieldCalls, 0);
}

// A device on which reading one track fails: quietly (an answer that is not 0) or with the
// device layer's error.
class FailingTrackDevice : public sqltest::RecordDevice {
 public:
  KernelId failing;
  bool quiet = true;

 protected:
  int GetTrackInfo(const KernelId& track, TrackRecord& record) override {
    if (track != failing) return RecordDevice::GetTrackInfo(track, record);
    if (quiet) return 1;
    throw DeviceError(platform::E_FAIL, "Device Error", "The track could not be read.");
  }
};

TEST(AudioTable, AFailedTrackReadFailsTheStatementAndNeverGivesAMixedRow) {
  const char* const statements[] = {
      "SELECT artist, title FROM audio",
      "SELECT title FROM audio",
      "SELECT id FROM audio WHERE year > 1990",
      // An equi-join on a track field: with its index, and walked in full (the division
      // keeps the index out).
      "SELECT audio.title FROM playlist, audio WHERE playlist.name = audio.title AND audio.year > 0",
      "SELECT audio.title FROM playlist, audio WHERE playlist.name = audio.title AND audio.year / 1 > 0",
  };
  for (const bool quiet : {true, false}) {
    for (const char* sql : statements) {
      SCOPED_TRACE(std::string(sql) + (quiet ? " (quiet failure)" : " (thrown failure)"));
      FailingTrackDevice device;
      device.AddTrack({.artist = "A1", .title = "T1", .year = 1991});
      const KernelId second = device.AddTrack({.artist = "A2", .title = "T2", .year = 1995});
      device.AddTrack({.artist = "A3", .title = "T3", .year = 2001});
      device.AddPlaylist("T3", {});
      EXPECT_NO_THROW(RunSql(device, sql));
      device.failing = second;
      device.quiet = quiet;
      EXPECT_ANY_THROW(RunSql(device, sql));
    }
  }
  // The quiet failure names the track and the device's answer.
  FailingTrackDevice device;
  device.failing = device.AddTrack({.title = "T"});
  try {
    RunSql(device, "SELECT title FROM audio");
    ADD_FAILURE() << "no exception";
  } catch (const COmbrixSQLException& e) {
    EXPECT_EQ(e.GetDescription(), "Device read failed.\n\n" + std::to_string(device.failing.GetItemId()) + "\n1");
  }
}

TEST(DataTable, ListsTheRootFolderOnly) {
  MemoryDevice device;
  device.AddDataFile(KernelId(), "a.txt", "12345");
  const KernelId sub = device.AddDataFolder(KernelId(), "Sub");
  device.AddDataFile(sub, "b.txt", "xy");
  EXPECT_EQ(RunSql(device, "SELECT name, size FROM data ORDER BY name")->Rows(), Rows({"Sub|0", "a.txt|5"}));
}

TEST(PlaylistTables, ItemsCarryPlaylistAndPosition) {
  MemoryDevice device;
  const KernelId a = device.AddTrack({.title = "A"});
  const KernelId b = device.AddTrack({.title = "B"});
  const KernelId twice = device.AddPlaylist("Twice", {a, a, b});
  device.AddPlaylist("Empty", {});
  const std::string plid = std::to_string(twice.GetItemId());
  const std::string aid = std::to_string(a.GetItemId());
  const std::string bid = std::to_string(b.GetItemId());

  EXPECT_EQ(RunSql(device, "SELECT name FROM playlist")->Rows(), Rows({"Empty", "Twice"}));
  EXPECT_EQ(RunSql(device, "SELECT id, plid, pos, aid FROM plitem")->Rows(),
            Rows({plid + "0|" + plid + "|0|" + aid, plid + "1|" + plid + "|1|" + aid,
                  plid + "2|" + plid + "|2|" + bid}));
}

TEST(JoinedRow, NamesAndFaults) {
  sqltest::FakeTable left("audio", {"id", "artist"}, {{"1", "A"}});
  sqltest::FakeTable right("plitem", {"id", "aid", "pos"}, {{"9", "1", "0"}});
  left.Fill();
  right.Fill();
  CRow l(0, &left), r(0, &right);
  CRowJoined joined;
  joined.AddRow(&l);
  joined.AddRow(&r);
  EXPECT_EQ(joined.GetColumnCount(), 5);
  EXPECT_EQ(joined.GetColumnName(1), "audio.artist");
  EXPECT_EQ(joined.GetColumnName(4), "plitem.pos");
  EXPECT_EQ(joined.GetFieldText("plitem.aid"), "1");
  EXPECT_EQ(joined.GetTableName(), "joined");
  EXPECT_THROW(joined.GetFieldText("aid"), COmbrixSQLBadJoinRowFieldException);
  joined.RemoveRow();
  joined.RemoveRow();
  EXPECT_THROW(joined.RemoveRow(), COmbrixSQLJoinRowUnderflowException);
  joined.AddRow(nullptr);
  EXPECT_THROW(joined.GetColumnCount(), COmbrixSQLJoinRowException);
  EXPECT_THROW(left.GetColumnName(2), COmbrixSQLNoSuchColumnException);
}

}  // namespace

}  // namespace sql
