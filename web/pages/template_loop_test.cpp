// The loop and qcontrol commands as text in, text out over the in-memory player.
#include "web/pages/template_loop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/settings.h"
#include "testing/temp_home.h"
#include "device/device_error.h"
#include "device/memory_device.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "web/pages/skin_files.h"
#include "web/template/template.h"

namespace web {

using namespace device;

namespace {

namespace fs = std::filesystem;

// Five tracks in the default order a..e; d is locked (play-only).
class LoopTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    key_->SetString("Gen_AppDataDir", platform::FromPosixPath(root_ + "/app"));
    fs::create_directories(root_ + "/app/skins/Default");
    ReplaceSearchResults({});
    a_ = device_.AddTrack({.artist = "AC&DC", .album = "Back", .title = "Hells Bells", .genre = "Rock",
                           .comment = "<loud>", .number = 1, .year = 1980, .length = 312, .fileSize = 3 * 1048576});
    b_ = device_.AddTrack({.artist = "AC&DC", .album = "Back", .title = "Shoot", .genre = "Rock", .number = 2,
                           .year = 1980, .length = 190});
    c_ = device_.AddTrack({.artist = "Bjork", .album = "Post", .title = "Army of Me", .genre = "Pop", .number = 1,
                           .year = 1995, .length = 235});
    d_ = device_.AddTrack({.artist = "O'Brien", .album = "Irish", .title = "Love Song", .genre = "Folk",
                           .year = 2001, .length = 200, .locked = true});
    e_ = device_.AddTrack({.artist = "Zed", .title = "love me", .genre = "Pop", .year = 1990, .length = 61});
  }
  void TearDown() override {
    ReplaceSearchResults({});
    TempHome::TearDown();
  }

  std::string Run(std::string_view text, PageVariables variables = {}) {
    StringTemplateOutput output;
    TemplatePage page("page", output, ResolveSkinRequest);
    try {
      DevicePageContext context(device_);
      RunTemplateText(text, page, variables, context);
    } catch (...) {
      variables_ = variables;
      throw;
    }
    variables_ = variables;
    return output.text();
  }

  static std::string Id(const KernelId& id) { return std::to_string(id.GetItemId()); }

  std::optional<platform::SettingsKey> key_;
  MemoryDevice device_;
  PageVariables variables_;
  KernelId a_, b_, c_, d_, e_;
};

TEST_F(LoopTest, TrackVariables) {
  const std::string out =
      Run("<?loop(AUDIOSINGLE,from_url)?><?print(id)?>|<?print(displayname)?>|<?print(codec)?>|<?print(stream_url)?>|"
          "<?print(title)?>|<?print(album)?>|<?print(artist)?>|<?print(genre)?>|<?print(length_secs)?>|"
          "<?print(length_ms)?>|<?print(tracknum)?>|<?print(comment)?>|<?print(year)?>|<?print(filesize)?><?endloop?>",
          {{"larg1", Id(a_)}});
  EXPECT_EQ(out, Id(a_) + "|AC&amp;DC - Back - 01 - Hells Bells|mp3|/stream/" + Id(a_) +
                     "/AC&DC%20-%20Back%20-%2001%20-%20Hells%20Bells.mp3|Hells Bells|Back|AC&amp;DC|Rock|312|5:12|01|"
                     "&lt;loud&gt;|1980|3.00 MB\r\n");
}

TEST_F(LoopTest, TrackLists) {
  const std::string body = "<?print(id)?>=<?print(length_secs)?>;";
  auto ids = [&](std::initializer_list<KernelId> list) {
    std::string s;
    for (const KernelId& id : list) s += Id(id) + "=" + std::to_string(device_.RecordOf(id).length) + ";";
    return s + "\r\n";
  };
  struct Case {
    std::string loop;
    PageVariables vars;
    std::string out;
  };
  const Case cases[] = {
      // Sorted by the default order, locked tracks left out.
      {"AUDIOALL", {}, ids({a_, b_, c_, e_})},
      {" AUDIOALL ", {}, ids({a_, b_, c_, e_})},
      // from_url values are unescaped before use.
      {"AUDIOBYARTIST,from_url", {{"larg1", "AC&amp;DC"}}, ids({a_, b_})},
      // A blank before from_url makes both literal: an artist nobody has.
      {"AUDIOBYARTIST, from_url", {{"larg1", "AC&amp;DC"}}, "\r\n"},
      {"AUDIOBYARTIST,O'Brien", {}, "\r\n"},  // locked
      {"AUDIOBYALBUM,Back", {}, ids({a_, b_})},
      {"AUDIOBYALBUM,Back,Bjork", {}, "\r\n"},
      {"AUDIOBYALBUM,Post,Bjork", {}, ids({c_})},
      {"AUDIOBYGENRE,Pop", {}, ids({c_, e_})},
      {"AUDIOBYGENRE", {}, "\r\n"},  // no tag at all matches nothing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run("<?loop(" + c.loop + ")?>" + body + "<?endloop?>", c.vars), c.out) << c.loop;
  }
}

TEST_F(LoopTest, TrackTablePagesAndSorts) {
  const std::string page = "<?loop(AUDIOALL,from_url,from_url,2)?><?print(num)?>.<?print(title)?>;<?endloop?>"
                           "[<?print(firstnum)?>-<?print(lastnum)?>/<?print(total)?> p<?print(page)?>/<?print(pages)?>"
                           " <<?print(prevpage)?>|<?print(nextpage)?>>]";
  struct Case {
    const char* column;
    const char* page;
    const char* out;
  };
  const Case cases[] = {
      {"", "", "1.Hells Bells;2.Shoot;[1-2/4 p1/2 <|2>]\r\n"},
      {"title", "1", "1.Army of Me;2.Hells Bells;[1-2/4 p1/2 <|2>]\r\n"},
      {"title", "2", "3.love me;4.Shoot;[3-4/4 p2/2 <1|>]\r\n"},
      {"title", "9", "3.love me;4.Shoot;[3-4/4 p2/2 <1|>]\r\n"},   // beyond the end: the last page
      {"title", "-3", "1.Army of Me;2.Hells Bells;[1-2/4 p1/2 <|2>]\r\n"},
      {"length", "1", "1.love me;2.Shoot;[1-2/4 p1/2 <|2>]\r\n"},
      {"nonsense", "2", "3.Army of Me;4.love me;[3-4/4 p2/2 <1|>]\r\n"},  // the default order
      {"-title", "1", "1.Shoot;2.love me;[1-2/4 p1/2 <|2>]\r\n"},         // the reverse order
      {"-year", "1", "1.Army of Me;2.love me;[1-2/4 p1/2 <|2>]\r\n"},
      {"-year", "2", "3.Shoot;4.Hells Bells;[3-4/4 p2/2 <1|>]\r\n"},  // the year order read backwards
      {"-", "1", "1.Hells Bells;2.Shoot;[1-2/4 p1/2 <|2>]\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(page, {{"larg1", c.column}, {"larg2", c.page}}), c.out) << c.column << " " << c.page;
  }
  // What the headings link to, and what they announce.
  const std::string headings = "<?print(sortnext_title)?> <?print(ariasort_title)?> <?print(sortnext_year)?> "
                               "<?print(ariasort_year)?>";
  auto after = [](const std::string& text) { return text.substr(text.find(']') + 1); };
  EXPECT_EQ(after(Run(page + headings, {{"larg1", "title"}})), "-title ascending year none\r\n");
  EXPECT_EQ(after(Run(page + headings, {{"larg1", "-title"}})), "title descending year none\r\n");
  EXPECT_EQ(after(Run(page + headings, {{"larg1", ""}})), "title none year none\r\n");
  // Without a size: one page of everything.
  EXPECT_EQ(Run("<?loop(AUDIOALL,year)?><?print(year)?>,<?endloop?><?print(pages)?>"), "1980,1980,1990,1995,1\r\n");

  MemoryDevice empty;
  StringTemplateOutput output;
  TemplatePage run("page", output, ResolveSkinRequest);
  PageVariables vars;
  DevicePageContext context(empty);
  RunTemplateText("<?loop(AUDIOALL,title,1,50)?>x<?endloop?><?print(total)?> <?print(firstnum)?> <?print(pages)?>",
                  run, vars, context);
  EXPECT_EQ(output.text(), "0 0 1\r\n");
}

TEST_F(LoopTest, NameLists) {
  device_.AddPlaylist("Mix <1>", {a_, c_, d_});
  device_.AddPlaylist("Empty");
  const KernelId mix = device_.AddPlaylist("Another", {e_});
  struct Case {
    const char* page;
    PageVariables vars;
    std::string out;
  };
  const Case cases[] = {
      // Playlists by name, with their entry count (locked ones included) and id.
      {"<?loop(PLAYLISTS)?><?print(name)?>=<?print(count)?>#<?print(id)?>;<?endloop?>", {},
       "Another=1#" + Id(mix) + ";Empty=0#" + Id(KernelId(mix.word[0] - 1)) + ";Mix &lt;1&gt;=3#" +
           Id(KernelId(mix.word[0] - 2)) + ";\r\n"},
      {"<?loop(ARTISTS)?><?print(name)?>=<?print(count)?>;<?endloop?>", {},
       "AC&amp;DC=2;Bjork=1;O&#39;Brien=1;Zed=1;\r\n"},
      {"<?loop(ALBUMS)?><?print(name)?>=<?print(count)?>;<?endloop?>", {}, "Back=2;Irish=1;Post=1;\r\n"},
      {"<?loop(ALBUMS,from_url)?><?print(name)?>=<?print(count)?>;<?endloop?>", {{"larg1", "AC&amp;DC"}},
       "Back=2;\r\n"},
      {"<?loop(GENRES)?><?print(name)?>=<?print(count)?>;<?endloop?>", {}, "Folk=1;Pop=2;Rock=2;\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.page, c.vars), c.out) << c.page;
}

TEST_F(LoopTest, PlaylistNumbersKeepGapsOfLockedEntries) {
  const KernelId list = device_.AddPlaylist("Mix", {c_, d_, a_});
  EXPECT_EQ(Run("<?loop(PLAYLIST,from_url)?><?print(plnum)?>:<?print(id)?>;<?endloop?>", {{"larg1", Id(list)}}),
            "1:" + Id(c_) + ";3:" + Id(a_) + ";\r\n");
}

TEST_F(LoopTest, QueueStatus) {
  for (const KernelId& t : {a_, c_, e_}) device_.EnqueueTrack(t);
  device_.SetQueuePosition(1);
  EXPECT_EQ(Run("<?loop(QUEUE)?><?print(aqnum)?>:<?print(id)?>:<?print(statuscode)?>:<?print(status)?>;<?endloop?>"),
            "1:" + Id(a_) + ":q_alreadyplayed:Already Played;2:" + Id(c_) + ":q_current:Current;3:" + Id(e_) +
                ":q_notyetplayed:Not Yet Played;\r\n");
}

// A page of the queue: numbers and states as in the whole queue, the walk stops at the
// page's end, "current" (or nothing) picks the page of the current entry.
TEST_F(LoopTest, QueuePages) {
  for (const KernelId& t : {a_, b_, c_, e_, a_}) device_.EnqueueTrack(t);
  device_.SetQueuePosition(3);
  const std::string body = "<?print(aqnum)?>:<?print(statuscode)?>;";
  const std::string paging = "|<?print(total)?> <?print(page)?>/<?print(pages)?> <?print(firstnum)?>-<?print(lastnum)?> "
                             "<?print(prevpage)?>,<?print(nextpage)?> <?print(currentnum)?>";
  struct Case {
    std::string args;
    PageVariables vars;
    std::string out;
  };
  const Case cases[] = {
      {"current,1", {}, "4:q_current;|5 4/5 4-4 3,5 4"},
      {"2,2", {}, "3:q_alreadyplayed;4:q_current;|5 2/3 3-4 1,3 4"},
      {"from_url,2", {}, "3:q_alreadyplayed;4:q_current;|5 2/3 3-4 1,3 4"},
      {"from_url,2", {{"larg1", "3"}}, "5:q_notyetplayed;|5 3/3 5-5 2, 4"},
      {"9,2", {}, "5:q_notyetplayed;|5 3/3 5-5 2, 4"},
      {"0,2", {}, "1:q_alreadyplayed;2:q_alreadyplayed;|5 1/3 1-2 ,2 4"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run("<?loop(QUEUE," + c.args + ")?>" + body + "<?endloop?>" + paging, c.vars), c.out + "\r\n") << c.args;
  }
  // The first page does not walk the rest of the queue.
  device_.FailWithError(DeviceOp::GetNextQueueEntry);
  EXPECT_EQ(Run("<?loop(QUEUE,1,1)?>" + body + "<?endloop?>"), "1:q_alreadyplayed;\r\n");
  EXPECT_THROW(Run("<?loop(QUEUE)?>" + body + "<?endloop?>"), DeviceError);
  // An empty queue: no body, one empty page.
  device_.ClearFailures();
  device_.ClearQueue();
  EXPECT_EQ(Run("<?loop(QUEUE,current,1)?>x<?endloop?>" + paging), "|0 1/1 0-0 , \r\n");
}

TEST_F(LoopTest, DataItems) {
  const KernelId docs = device_.AddDataFolder(KernelId(), "Docs & <More>");
  device_.AddDataFolder(docs, "Inner");
  const KernelId notes = device_.AddDataFile(docs, "50% #1 \"notes\".TXT", std::string(1048576 / 2, 'x'));
  const KernelId bare = device_.AddDataFile(docs, "README", "r");
  device_.AddDataFile(KernelId(), "top.bin", "t");
  const std::string body = "<?print(filename)?>|<?print(ext)?>|<?print(filesize)?>|<?print(dl_url)?>;";

  EXPECT_EQ(Run("<?loop(DATAFOLDERS)?><?print(id)?>=<?print(filename)?>;<?endloop?>"),
            Id(docs) + "=Docs &amp; &lt;More&gt;;\r\n");
  EXPECT_EQ(Run("<?loop(DATAFILES)?><?print(filename)?>;<?endloop?>"), "top.bin;\r\n");
  EXPECT_EQ(Run("<?loop(DATAFOLDERS,from_url)?><?print(filename)?>;<?endloop?>", {{"larg1", Id(docs)}}), "Inner;\r\n");
  EXPECT_EQ(Run("<?loop(DATAFILES,from_url)?>" + body + "<?endloop?>", {{"larg1", Id(docs)}}),
            "50% #1 &quot;notes&quot;.TXT|.TXT|0.50 MB|/data/" + Id(notes) +
                "/50%25%20%231%20%22notes%22.TXT;README||0.00 MB|/data/" + Id(bare) + "/README;\r\n");
  EXPECT_EQ(Run("<?loop(DATASINGLE," + Id(bare) + ")?><?print(id)?> <?print(filename)?><?endloop?>"),
            Id(bare) + " README\r\n");
}

TEST_F(LoopTest, Skins) {
  const std::string skins = root_ + "/app/skins/";
  fs::create_directories(skins + "dark & <Light>");
  fs::create_directories(skins + "Zebra");
  std::ofstream(skins + "Packed.OSK") << "zip";
  std::ofstream(skins + "notes.txt") << "not a skin";
  std::ofstream(skins + "alpha.osk") << "zip";
  const std::string page = "<?loop(SKINS)?><?print(name)?>=<?print(selected)?>|<?endloop?>";
  // Sorted by name without regard to case, whatever order the file system gives.
  EXPECT_EQ(Run(page), "alpha.osk=|dark &amp; &lt;Light&gt;=|Default=selected|Packed.OSK=|Zebra=|\r\n");
  key_->SetString("VX_Skin", "dark & <Light>");
  EXPECT_EQ(Run(page), "alpha.osk=|dark &amp; &lt;Light&gt;=selected|Default=|Packed.OSK=|Zebra=|\r\n");

  fs::remove_all(root_ + "/app/skins");
  EXPECT_EQ(Run(page), "\r\n");
}

TEST_F(LoopTest, Search) {
  const std::string body = "<?print(displayname)?>;";
  struct Case {
    std::string args;
    PageVariables vars;
    std::string out;
    std::string error;
    std::string lastQuery;  // the stored SQL_LastSearchQuery, when the search found tracks
  };
  const Case cases[] = {
      {"simple", {}, "AC&amp;DC - Back - 01 - Hells Bells;AC&amp;DC - Back - 02 - Shoot;Bjork - Post - 01 - Army of Me;"
                     "O&#39;Brien - Irish - 00 - Love Song;Zed - Unknown - 00 - love me;",
       "", "SELECT id FROM audio WHERE 1=1;"},
      {"quick,love", {}, "O&#39;Brien - Irish - 00 - Love Song;Zed - Unknown - 00 - love me;", "",
       "SELECT id FROM audio WHERE artist?'love' OR album?'love' OR genre?'love' OR title?'love';"},
      {"simple,from_url,from_url,from_url", {{"larg2", "ac&amp;dc"}, {"larg3", ""}, {"larg4", " BELL "}},
       "AC&amp;DC - Back - 01 - Hells Bells;", "", "SELECT id FROM audio WHERE artist?'ac&dc' AND title?'BELL' AND 1=1;"},
      // A quote in a value stays inside its literal.
      {"simple,O'Brien", {}, "O&#39;Brien - Irish - 00 - Love Song;", "",
       "SELECT id FROM audio WHERE artist?'O''Brien' AND 1=1;"},
      {"quick,x' OR 1=1 OR title?'", {}, "", "No search results found.", ""},
      // The body runs in the default order.
      {"advanced,year+>+1990", {}, "Bjork - Post - 01 - Army of Me;O&#39;Brien - Irish - 00 - Love Song;", "",
       "SELECT id FROM audio WHERE year > 1990;"},
      {"advanced", {}, "", "", ""},
      {"", {}, "", "", ""},
      {"fuzzy", {}, "", "Invalid search type: fuzzy", ""},
      {"from_url", {{"larg1", "&lt;b&gt;"}}, "", "Invalid search type: &lt;b&gt;", ""},
      {"advanced,nosuch > 1", {}, "", "SQL Error: No such field.\n\nnosuch\n0", ""},
      {"advanced,year > '<x>", {}, "", "Invalid Query: &#39;SELECT id FROM audio WHERE year &gt; &#39;&lt;x&gt;;&#39;",
       ""},
  };
  for (const Case& c : cases) {
    key_->DeleteValue("SQL_LastSearchQuery");
    SCOPED_TRACE(c.args);
    std::string out = Run("<?loop(SEARCH," + c.args + ")?>" + body + "<?endloop?>", c.vars);
    EXPECT_EQ(out, c.out + "\r\n");
    EXPECT_EQ(GetPageVariable(variables_, "search_error"), c.error);
    std::string stored;
    ReadSettingString("SQL_LastSearchQuery", stored);
    EXPECT_EQ(stored, c.lastQuery);
  }
  Run("<?loop(SEARCH,advanced,title ? '<' OR 1=1)?><?endloop?>");
  EXPECT_EQ(variables_.at("last_sqlquery"), "title ? &#39;&lt;&#39; OR 1=1");
  // The count of the results is set before the first body.
  EXPECT_EQ(Run("<?loop(SEARCH,quick,love)?><?print(total)?>;<?endloop?>"), "2;2;\r\n");
}

// In an advanced search "+" stands for a blank only in a condition written in the page; a
// condition from the request keeps its "+".
TEST_F(LoopTest, PlusIsABlankOnlyInAConditionWrittenInThePage) {
  const KernelId cpp = device_.AddTrack({.artist = "Ann", .title = "C++ Primer", .year = 2020});
  const std::string body = "<?print(id)?>;";
  EXPECT_EQ(Run("<?loop(SEARCH,advanced,from_url)?>" + body + "<?endloop?>", {{"larg2", "title ? &#39;C++&#39;"}}),
            Id(cpp) + ";\r\n");
  EXPECT_EQ(variables_.at("last_sqlquery"), "title ? &#39;C++&#39;");
  EXPECT_EQ(Run("<?loop(SEARCH,advanced,from_url)?>" + body + "<?endloop?>", {{"larg2", "year = 2019+1"}}),
            Id(cpp) + ";\r\n");
  EXPECT_EQ(Run("<?loop(SEARCH,advanced,year+>+2019)?>" + body + "<?endloop?>"), Id(cpp) + ";\r\n");
}

TEST_F(LoopTest, SearchResultsKeepTheEnginesOrder) {
  EXPECT_EQ(Run("<?loop(SEARCHRESULTS)?>x<?endloop?>"), "\r\n");
  Run("<?loop(SEARCH,advanced,year > 1985 ORDER BY id DESC)?><?endloop?>");
  EXPECT_EQ(GetPageVariable(variables_, "search_error"), "");
  EXPECT_EQ(Run("<?loop(SEARCHRESULTS)?><?print(id)?>;<?endloop?>"), Id(e_) + ";" + Id(d_) + ";" + Id(c_) + ";\r\n");
  // A failed search empties the list.
  Run("<?loop(SEARCH,quick,nothing like this)?><?endloop?>");
  EXPECT_EQ(Run("<?loop(SEARCHRESULTS)?>x<?endloop?>"), "\r\n");
}

TEST_F(LoopTest, KindsAndVariables) {
  EXPECT_EQ(Run("<?loop(FOO)?>x<?endloop?>"), "Unknown loop type: 'FOO'.\r\n");
  EXPECT_EQ(Run("<?loop(audioall)?>x<?endloop?>"), "Unknown loop type: 'audioall'.\r\n");
  // A loop without items sets nothing; after a loop the variables hold the last item's.
  EXPECT_EQ(Run("<?set(id,keep)?><?loop(QUEUE)?>x<?endloop?><?print(id)?>"), "keep\r\n");
  EXPECT_EQ(Run("<?loop(AUDIOBYGENRE,Rock)?><?endloop?><?print(id)?>"), Id(b_) + "\r\n");
  // Bodies run after the walk: a nested walk of the same kind does not cut the outer one.
  device_.AddPlaylist("One", {a_});
  device_.AddPlaylist("Two", {b_});
  EXPECT_EQ(Run("<?loop(PLAYLISTS)?><?print(name)?>[<?loop(PLAYLISTS)?><?print(name)?><?endloop?>]<?endloop?>"),
            "One[OneTwo]Two[OneTwo]\r\n");
  EXPECT_EQ(Run("<?loop(ARTISTS)?><?loop(ALBUMS)?><?endloop?><?endloop?><?print(name)?>"), "Post\r\n");
}

TEST_F(LoopTest, DeviceErrorsEndThePage) {
  device_.FailWithError(DeviceOp::GetTrackLength);
  EXPECT_THROW(Run("<?loop(AUDIOALL)?>x<?endloop?>"), DeviceError);
  EXPECT_THROW(Run("<?loop(SEARCH,simple)?>x<?endloop?>"), DeviceError);
  device_.ClearFailures();
  device_.FailWithError(DeviceOp::PlayNextInQueue);
  EXPECT_THROW(Run("<?qcontrol(next)?>"), DeviceError);
  EXPECT_EQ(variables_.count("qresult"), 0u);
}

TEST(TemplateIds, Parsing) {
  struct Case {
    const char* text;
    std::uint64_t id;
  };
  const Case cases[] = {
      {"123", 123},
      {"  42x", 42},
      {"+7", 7},
      {"-1", UINT64_MAX},
      {"", 0},
      {"abc", 0},
      {"4294967397", 4294967397ULL},  // words 0 and 1: 101 and 1
      {"18446744073709551615", UINT64_MAX},
      {"18446744073709551616", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseTemplateId(c.text).GetItemId(), c.id) << c.text;
  EXPECT_EQ(ParseTemplateId("4294967397").word[1], 1u);
  EXPECT_EQ(ParseTemplateNumber("99999999999999999999999"), LLONG_MAX);
  EXPECT_EQ(ParseTemplateNumber(" -12.5"), -12);
}

// ---- qcontrol ----

TEST_F(LoopTest, QueueControlCommands) {
  for (const KernelId& t : {a_, b_, c_}) device_.EnqueueTrack(t);
  struct Case {
    const char* command;
    const char* result;
  };
  const Case cases[] = {
      {"PLAY", "Playback started."},
      {"pause", "Playback paused."},
      {" Pause ", "Playback unpaused."},
      {"next", "Skipped to next track."},
      {"prev", "Skipped to previous track."},
      {"stop", "Playback stopped."},
      {"volume,150", "Volume set to 100%."},
      {"volume,-5", "Volume set to 0%."},
      {"volume, 42 ", "Volume set to 42%."},
      {"volume,loud", "Volume set to 0%."},
      {"dance", "Unknown queue control command: 'dance'."},
      {"<b>", "Unknown queue control command: '&lt;b&gt;'."},
      {"shuffle", "Active Queue shuffled."},
      {"clear", "Active Queue cleared."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(std::string("<?qcontrol(") + c.command + ")?><?print(qresult)?>"), c.result + std::string("\r\n"))
        << c.command;
    if (std::string_view(c.command) == "volume, 42 ") {
      EXPECT_EQ(device_.GetVolume(), 42);
    }
  }
  EXPECT_EQ(device_.GetQueue().size(), 0u);
  EXPECT_EQ(device_.PlayLog().size(), 3u);  // play, next and prev
  EXPECT_EQ(device_.PlayLog()[1].word[0], b_.word[0]);

  EXPECT_EQ(Run("<?qcontrol(from_url)?>[<?print(qresult)?>]"), "[]\r\n");
  EXPECT_EQ(variables_.at("qresult"), "");
}

// Commands that play say so when nothing of the queue plays after them.
TEST_F(LoopTest, QueueControlSaysWhenThereIsNothingToPlay) {
  auto run = [&](const char* command) { return Run(std::string("<?qcontrol(") + command + ")?><?print(qresult)?>"); };
  for (const char* command : {"prev", "play", "next", "skipto,1"}) {
    EXPECT_EQ(run(command), "Nothing to play: the queue is empty.\r\n") << command;
  }
  device_.EnqueueTrack(a_);
  device_.SetQueuePosition(0);
  EXPECT_EQ(run("play"), "Playback started.\r\n");
  EXPECT_EQ(run("next"), "Nothing to play: the end of the queue was reached.\r\n");
  EXPECT_EQ(run("prev"), "Skipped to previous track.\r\n");
  EXPECT_EQ(run("prev"), "Nothing to play: the start of the queue was reached.\r\n");
  EXPECT_EQ(device_.PlayLog().size(), 2u);
}

TEST_F(LoopTest, QueueControlSkipTo) {
  for (const KernelId& t : {a_, b_, c_}) device_.EnqueueTrack(t);
  EXPECT_EQ(Run("<?qcontrol(skipto,from_url)?><?print(qresult)?>", {{"qarg1", Id(b_)}}),
            "Skipped to: AC&amp;DC - Back - 02 - Shoot.\r\n");
  EXPECT_EQ(device_.GetQueuePosition(), 1);
  EXPECT_EQ(device_.PlayLog().back().word[0], b_.word[0]);
}

TEST_F(LoopTest, QueueControlEnqueue) {
  const KernelId list = device_.AddPlaylist("Mix", {e_, d_, a_});
  auto queued = [&] {
    std::string s;
    for (const KernelId& id : device_.GetQueue()) s += Id(KernelId(id.word[0])) + ";";
    device_.ClearQueue();
    return s;
  };
  struct Case {
    std::string args;
    PageVariables vars;
    std::string result;
    std::string queue;
  };
  const Case cases[] = {
      {"AUDIOALL", {}, "4 track(s) enqueued.", Id(a_) + ";" + Id(b_) + ";" + Id(c_) + ";" + Id(e_) + ";"},
      {"audioall", {}, "Unknown enqueue loop type: 'audioall'.", ""},
      {"FOO<", {}, "Unknown enqueue loop type: 'FOO&lt;'.", ""},
      {"AUDIOSINGLE,from_url", {{"qarg2", Id(c_)}}, "1 track(s) enqueued.", Id(c_) + ";"},
      // An id that is no track of the player enqueues nothing.
      {"AUDIOSINGLE,999999", {}, "0 track(s) enqueued.", ""},
      {"AUDIOSINGLE,from_url", {{"qarg2", "x"}}, "0 track(s) enqueued.", ""},
      {"SEARCHRESULTS", {}, "0 track(s) enqueued.", ""},
      {"from_url,from_url", {{"qarg1", "AUDIOBYARTIST"}, {"qarg2", "O&#39;Brien"}}, "1 track(s) enqueued.",
       Id(d_) + ";"},  // no lock filter here
      {"AUDIOBYALBUM,Back", {}, "2 track(s) enqueued.", Id(a_) + ";" + Id(b_) + ";"},
      {"AUDIOBYALBUM,Back,Zed", {}, "0 track(s) enqueued.", ""},
      {"AUDIOBYGENRE,Pop", {}, "2 track(s) enqueued.", Id(c_) + ";" + Id(e_) + ";"},
      {"PLAYLIST,from_url", {{"qarg2", Id(list)}}, "3 track(s) enqueued.", Id(e_) + ";" + Id(d_) + ";" + Id(a_) + ";"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run("<?qcontrol(enqueue," + c.args + ")?><?print(qresult)?>", c.vars), c.result + "\r\n") << c.args;
    EXPECT_EQ(queued(), c.queue) << c.args;
  }

  // Search results are enqueued in the default order.
  Run("<?loop(SEARCH,advanced,year > 1985 ORDER BY id DESC)?><?endloop?>");
  EXPECT_EQ(Run("<?qcontrol(enqueue,SEARCHRESULTS)?><?print(qresult)?>"), "3 track(s) enqueued.\r\n");
  EXPECT_EQ(queued(), Id(c_) + ";" + Id(d_) + ";" + Id(e_) + ";");

  // Ids are 64-bit: word 1 survives (the in-memory player knows its tracks by word 0).
  Run("<?qcontrol(enqueue,AUDIOSINGLE," + std::to_string((1ull << 32) + a_.word[0]) + ")?>");
  ASSERT_EQ(device_.GetQueue().size(), 1u);
  EXPECT_EQ(device_.GetQueue()[0].word[0], a_.word[0]);
  EXPECT_EQ(device_.GetQueue()[0].word[1], 1u);
}

}  // namespace

}  // namespace web
