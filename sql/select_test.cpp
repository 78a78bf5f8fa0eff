#include "sql/select.h"

#include <gtest/gtest.h>

#include "sql/query_engine.h"
#include "sql/sql_exception.h"
#include "testing/sql_tables.h"

namespace sql {

using namespace device;

namespace {

using sqltest::RunSql;
using Rows = std::vector<std::string>;

std::vector<std::string> IterationOrder(const CResultRow& row) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < row.Size(); ++i) names.push_back(row.NameAt(i));
  return names;
}

TEST(SelectAll, ColumnsComeInTheRowsIterationOrder) {
  MemoryDevice device;
  const KernelId t = device.AddTrack({.title = "T"});
  device.AddDataFile(KernelId(), "f.txt", "x");
  device.AddPlaylist("P", {t});
  const struct {
    const char* table;
    Rows names;
  } cases[] = {
      {"audio",
       {"codec", "title", "composer", "size", "length", "artist", "album", "id", "bitrate", "comment", "year",
        "genre", "tracknum"}},
      {"data", {"size", "id", "name"}},
      {"playlist", {"id", "name"}},
      {"plitem", {"aid", "plid", "id", "pos"}},
  };
  for (const auto& c : cases) {
    auto out = RunSql(device, std::string("SELECT * FROM ") + c.table);
    ASSERT_EQ(out->table.GetCount(), 1u) << c.table;
    EXPECT_EQ(IterationOrder(*out->table.GetRow(0)), c.names) << c.table;
  }

  auto joined = RunSql(device, "SELECT * FROM playlist, plitem");
  ASSERT_EQ(joined->table.GetCount(), 1u);
  const CResultRow& row = *joined->table.GetRow(0);
  EXPECT_EQ(row.Size(), 6u);
  EXPECT_EQ(*row.Find("playlist.name"), "P");
  EXPECT_EQ(*row.Find("plitem.aid"), std::to_string(t.GetItemId()));
}

TEST(SelectList, SameNameTwiceKeepsTheLaterValue) {
  MemoryDevice device;
  device.AddTrack({.artist = "A", .title = "T"});
  auto out = RunSql(device, "SELECT artist AS x, title AS x, length * 2, 'lit' FROM audio");
  EXPECT_EQ(out->names, Rows({"x", "x", "length * 2", "lit"}));
  const CResultRow& row = *out->table.GetRow(0);
  EXPECT_EQ(row.Size(), 3u);
  EXPECT_EQ(*row.Find("x"), "T");
}

class JoinTest : public ::testing::Test {
 protected:
  JoinTest() {
    source_.Add("t1", {"a"}, {{"1"}, {"2"}});
    source_.Add("t2", {"b"}, {{"x"}, {"y"}});
    source_.Add("none", {"c"}, {});
    // Keys repeat, differ in case, or match nothing.
    source_.Add("l", {"k", "n"}, {{"abc", "1"}, {"B", "2"}, {"zz", "3"}, {"ABC", "4"}, {"", "5"}});
    source_.Add("r", {"k", "v"},
                {{"b", "r1"}, {"Abc", "r2"}, {"q", "r3"}, {"abc", "r4"}, {"", "r5"}, {"b", "r6"}});
    source_.Add("m", {"v", "w"}, {{"r4", "m1"}, {"r2", "m2"}, {"r6", "m3"}, {"r2", "m4"}});
  }
  sqltest::FakeSource source_;
};

TEST_F(JoinTest, CrossProductWithTheFirstTableOutermost) {
  EXPECT_EQ(RunSql(source_, "SELECT t1.a, t2.b FROM t1, t2")->Rows(), Rows({"1|x", "1|y", "2|x", "2|y"}));
  EXPECT_EQ(RunSql(source_, "SELECT t1.a, t2.b FROM t1, t2 WHERE t2.b = 'y'")->Rows(), Rows({"1|y", "2|y"}));
  EXPECT_EQ(RunSql(source_, "SELECT t1.a FROM t1, none")->table.GetCount(), 0u);
  EXPECT_EQ(RunSql(source_, "SELECT t1.a FROM none, t1")->table.GetCount(), 0u);
}

TEST_F(JoinTest, EqualityLookupGivesWhatTheFullWalkGives) {
  // A division keeps the engine from using an index, so the second statement of each pair
  // walks every combination.
  const struct {
    const char* indexed;
    const char* walked;
  } cases[] = {
      {"SELECT l.n, r.v FROM l, r WHERE l.k = r.k",
       "SELECT l.n, r.v FROM l, r WHERE l.k = r.k AND 1/1 = 1"},
      {"SELECT l.n, r.v FROM l, r WHERE r.k = l.k AND l.n > 1",
       "SELECT l.n, r.v FROM l, r WHERE r.k = l.k AND l.n > 1 AND 1/1 = 1"},
      {"SELECT r.v, l.n FROM r, l WHERE l.k = r.k",
       "SELECT r.v, l.n FROM r, l WHERE l.k = r.k AND 1/1 = 1"},
      {"SELECT l.n, r.v, m.w FROM l, r, m WHERE l.k = r.k AND m.v = r.v",
       "SELECT l.n, r.v, m.w FROM l, r, m WHERE l.k = r.k AND m.v = r.v AND 1/1 = 1"},
      {"SELECT l.n, r.v FROM l, r WHERE l.k = r.k OR l.n = 5",
       "SELECT l.n, r.v FROM l, r WHERE (l.k = r.k OR l.n = 5) AND 1/1 = 1"},
  };
  for (const auto& c : cases) {
    const Rows indexed = RunSql(source_, c.indexed)->Rows();
    EXPECT_EQ(indexed, RunSql(source_, c.walked)->Rows()) << c.indexed;
    EXPECT_FALSE(indexed.empty()) << c.indexed;
  }
  EXPECT_EQ(RunSql(source_, "SELECT l.n, r.v FROM l, r WHERE l.k = r.k")->Rows(),
            Rows({"1|r2", "1|r4", "2|r1", "2|r6", "4|r2", "4|r4", "5|r5"}));
}

TEST_F(JoinTest, FaultsOfTheFullWalkSurvive) {
  // The walk meets the unknown name at once; an index must not hide it.
  EXPECT_THROW(RunSql(source_, "SELECT l.n FROM l, r WHERE l.nosuch = 1 AND l.k = r.k"),
               COmbrixSQLNoSuchFieldException);
  EXPECT_THROW(RunSql(source_, "SELECT l.n FROM l, r WHERE l.k = r.k AND k = 1"),
               COmbrixSQLBadJoinRowFieldException);
  // And is not met where the left operand already decides.
  EXPECT_EQ(RunSql(source_, "SELECT l.n FROM l, r WHERE 1 = 0 AND l.nosuch = r.k")->table.GetCount(), 0u);
}

TEST(Join, TableNamedTwiceAnswersFromTheFirst) {
  MemoryDevice device;
  device.AddTrack({.title = "A"});
  device.AddTrack({.title = "B"});
  EXPECT_EQ(RunSql(device, "SELECT audio.title FROM audio, audio")->Rows(), Rows({"A", "A", "B", "B"}));
}

TEST(Join, PlaylistItemsWithTheirTracks) {
  MemoryDevice device;
  const KernelId a = device.AddTrack({.artist = "X", .title = "A"});
  const KernelId b = device.AddTrack({.artist = "Y", .title = "B"});
  device.AddPlaylist("Mix", {b, a, b});
  device.AddPlaylist("Other", {a});
  EXPECT_EQ(RunSql(device,
                   "SELECT playlist.name, plitem.pos, audio.title FROM playlist, plitem, audio "
                   "WHERE playlist.id = plitem.plid AND plitem.aid = audio.id AND playlist.name = 'mix'")
                ->Rows(),
            Rows({"Mix|0|B", "Mix|1|A", "Mix|2|B"}));
}

TEST(Distinct, ComparesWholeValueLists) {
  sqltest::FakeSource source;
  source.Add("t", {"x", "y"}, {{"ab", "c"}, {"a", "bc"}, {"ab", "c"}, {"AB", "c"}, {"a", "bc"}});
  EXPECT_EQ(RunSql(source, "SELECT DISTINCT x, y FROM t")->Rows(), Rows({"ab|c", "a|bc", "AB|c"}));
  EXPECT_EQ(RunSql(source, "SELECT x, y FROM t")->table.GetCount(), 5u);
  EXPECT_EQ(RunSql(source, "SELECT DISTINCT y FROM t")->Rows(), Rows({"c", "bc"}));
}

TEST(Sort, CannedTracklistOrder) {
  MemoryDevice device;
  device.AddTrack({.artist = "abba", .album = "Gold", .title = "One", .number = 1});
  device.AddTrack({.artist = "Zed", .album = "Z", .title = "Ten", .number = 10});
  device.AddTrack({.artist = "Zed", .album = "Z", .title = "Two", .number = 2});
  device.AddTrack({.artist = "Zed", .album = "Y", .title = "Last", .number = 30});
  auto out = RunSql(device,
                    "SELECT artist, album, tracknum, title, codec, length, size, bitrate, year, genre, comment, "
                    "locked FROM audio ORDER BY artist, album, tracknum, title");
  EXPECT_EQ(out->Rows({"artist", "album", "tracknum"}), Rows({"Zed|Y|30", "Zed|Z|2", "Zed|Z|10", "abba|Gold|1"}));
}

TEST(Sort, KeysDirectionsAndStability) {
  sqltest::FakeSource source;
  source.Add("t", {"k", "tag"},
             {{"10", "a"}, {"2", "b"}, {"-5", "c"}, {"3", "d"}, {"", "e"}, {"2", "f"}, {"x", "g"},
              {std::string(30, '9'), "h"}, {"0" + std::string(30, '9'), "i"}, {"1" + std::string(30, '0'), "j"},
              {"007", "k"}});
  // Digit strings (the empty one too) compare as numbers of any length, other texts by
  // bytes ("-5" before the numbers, "x" after them); equal keys keep their order.
  EXPECT_EQ(RunSql(source, "SELECT tag, k FROM t ORDER BY k")->Rows({"tag"}),
            Rows({"c", "e", "b", "f", "d", "k", "a", "h", "i", "j", "g"}));
  EXPECT_EQ(RunSql(source, "SELECT tag, k FROM t ORDER BY k DESC")->Rows({"tag"}),
            Rows({"g", "j", "h", "i", "a", "k", "d", "b", "f", "e", "c"}));
  EXPECT_EQ(RunSql(source, "SELECT k AS n, tag FROM t ORDER BY tag DESC, n")->Rows({"tag"}).front(), "k");
}

TEST(Sort, KeyMustBeAnOutputName) {
  MemoryDevice device;
  device.AddTrack({.artist = "A", .album = "X"});
  EXPECT_EQ(RunSql(device, "SELECT artist FROM audio ORDER BY album")->table.GetCount(), 1u);
  device.AddTrack({.artist = "B", .album = "Y"});
  try {
    RunSql(device, "SELECT artist FROM audio ORDER BY artist, album");
    FAIL() << "no exception";
  } catch (const COmbrixSQLNoSuchFieldException& e) {
    EXPECT_EQ(e.GetSubject(), "album");
  }
  EXPECT_THROW(RunSql(device, "SELECT title FROM audio ORDER BY audio.title"), COmbrixSQLNoSuchFieldException);
  EXPECT_EQ(RunSql(device, "SELECT audio.artist FROM audio, playlist ORDER BY audio.artist")->table.GetCount(), 0u);

  CResultTable table;
  EXPECT_THROW(table.Sort({"a"}, {}), COmbrixSQLSortException);
}

// Every kind of statement the system builds runs, and finds what it should.
TEST(ProducedStatements, RunOverTheDevice) {
  MemoryDevice device;
  const KernelId love = device.AddTrack(
      {.artist = "Lovers", .album = "Rock", .title = "Song", .genre = "Rock", .year = 1995, .length = 400});
  const KernelId dont = device.AddTrack({.artist = "Band", .title = "Don't Stop", .genre = "Pop", .year = 1980,
                                         .length = 200, .fileSize = 1000});
  auto ids = [&](const std::string& sql) {
    std::vector<std::uint64_t> out;
    auto result = RunDeviceQuery(device, sql);
    EXPECT_TRUE(result) << sql;
    if (result)
      for (const std::string& id : *result) out.push_back(std::stoull(id));
    return out;
  };
  using Ids = std::vector<std::uint64_t>;
  const std::uint64_t l = love.GetItemId(), d = dont.GetItemId();

  EXPECT_EQ(ids("SELECT id FROM audio WHERE artist?'love' OR album?'love' OR genre?'love' OR title?'love';"),
            Ids({l}));
  EXPECT_EQ(ids("SELECT id FROM audio WHERE artist?'band' AND title?'stop' AND 1=1;"), Ids({d}));
  EXPECT_EQ(ids("SELECT id FROM audio WHERE 1=1;"), Ids({l, d}));
  EXPECT_EQ(ids("SELECT id FROM audio WHERE year > 1990;"), Ids({l}));
  EXPECT_EQ(ids("SELECT id FROM audio WHERE artist?'x' OR length>300;"), Ids({l}));
  EXPECT_EQ(ids("SELECT id FROM audio WHERE genre#'rock' AND size='1000' AND length>180;"), Ids({d}));
  EXPECT_EQ(ids("SELECT id FROM audio WHERE genre!='pop' AND rating>-1 AND playcount<5 AND composer='';"),
            Ids({l}));
  const std::string t = "Don't";
  EXPECT_EQ(ids("SELECT id FROM audio WHERE artist?" + SqlStringLiteral(t) + " OR title?" + SqlStringLiteral(t) +
                ";"),
            Ids({d}));
  const std::string hostile = "x' OR 1=1 OR title?'";
  EXPECT_EQ(ids("SELECT id FROM audio WHERE title?" + SqlStringLiteral(hostile) + ";"), Ids());

  for (const char* canned :
       {"SELECT artist, album, tracknum, title, codec, length, size, bitrate, year, genre, composer, rating, "
        "playcount, comment, locked FROM audio ORDER BY artist, album, tracknum, title",
        "SELECT artist, album, tracknum, title, codec, length, size, bitrate, year, genre, comment, locked FROM "
        "audio ORDER BY artist, album, tracknum, title"})
    EXPECT_EQ(RunSql(device, canned)->table.GetCount(), 2u);
}

}  // namespace

}  // namespace sql
