// The loop command of the page-template language: argument resolution, the body runner,
// every loop kind over the player's content, and the search through the SQL engine.
//
// Each kind first collects its items and only then runs the bodies, so that a body (which
// may hold loops of its own and qcontrol commands) never disturbs a device walk that is
// still going on. Texts from the player and from requests are HTML-escaped where they are
// stored; ids and numbers are stored as they are.
#include "web/pages/template_loop.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <mutex>
#include <span>

#include "common/escape.h"
#include "common/settings.h"
#include "device/codec.h"
#include "device/device_client_error.h"
#include "device/device_error.h"
#include "device/kernel_device.h"
#include "device/records.h"
#include "device/track_names.h"
#include "platform/text/text.h"
#include "sql/jukebox_tables.h"
#include "sql/query_engine.h"
#include "sql/result.h"
#include "sql/select.h"
#include "sql/small_parser.h"
#include "sql/sql_exception.h"
#include "web/pages/skin_files.h"
#include "web/template/template.h"

namespace web {

using namespace sql;

using namespace device;

namespace {

std::mutex g_searchMutex;
std::vector<KernelId>& SearchResultList() {
  static std::vector<KernelId> list;
  return list;
}

std::string Megabytes(double bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f MB", bytes / 1048576.0);
  return text;
}

// The extension of a file name as a path splitter gives it: from the last "." after the
// last folder separator, dot included; empty when there is none.
std::string ExtensionOf(std::string_view name) {
  const std::size_t slash = name.find_last_of("\\/");
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return std::string(name.substr(dot));
}

// ---- Item variables ----

std::string StreamUrl(KernelDevice& device, const KernelId& track) {
  std::string name;
  GetTrackStreamName(name, device, track);
  return FormatStreamPath(track.GetItemId(), name);
}

std::string DisplayName(KernelDevice& device, const KernelId& track) {
  std::string name;
  GetTrackDisplayName(name, device, track);
  return HtmlEscape(name);
}

// Tracks in lists.
void SetQueueTrackVariables(PageVariables& v, KernelDevice& device, const KernelId& track) {
  v["id"] = FormatTemplateId(track);
  v["displayname"] = DisplayName(device, track);
  v["stream_url"] = StreamUrl(device, track);
  v["length_secs"] = platform::Printf("%d", device.GetTrackLength(track));
}

// One track with all its fields.
void SetTrackVariables(PageVariables& v, KernelDevice& device, const KernelId& track) {
  v["id"] = FormatTemplateId(track);
  v["displayname"] = DisplayName(device, track);
  v["codec"] = GetCodecExtension(device.GetTrackCodec(track));
  v["stream_url"] = StreamUrl(device, track);
  v["title"] = HtmlEscape(device.GetTrackTitle(track));
  v["album"] = HtmlEscape(device.GetTrackAlbum(track));
  v["artist"] = HtmlEscape(device.GetTrackArtist(track));
  v["genre"] = HtmlEscape(device.GetTrackGenre(track));
  const int length = device.GetTrackLength(track);
  v["length_secs"] = platform::Printf("%d", length);
  v["length_ms"] = platform::Printf("%d", length / 60) + platform::Printf(":%02d", length % 60);
  v["tracknum"] = platform::Printf("%02d", device.GetTrackNumber(track));
  v["comment"] = HtmlEscape(device.GetTrackComment(track));
  v["year"] = platform::Printf("%d", device.GetTrackYear(track));
  v["filesize"] = Megabytes(static_cast<double>(device.GetTrackSize(track)));
}

// Data files and folders. The download address carries the name URL-escaped, so that any
// name (blanks, "#", "%", non-ASCII) comes back whole at the data handler, and the whole
// address HTML-escaped, so that it can stand in an attribute.
void SetDataItemVariables(PageVariables& v, KernelDevice& device, const KernelId& item) {
  const std::string name = device.GetDataItemName(item);
  v["id"] = FormatTemplateId(item);
  v["filename"] = HtmlEscape(name);
  v["dl_url"] = HtmlEscape("/data/" + FormatTemplateId(item) + "/" + CanonicalizeUrlName(name, std::string::npos));
  v["ext"] = HtmlEscape(ExtensionOf(name));
  v["filesize"] = Megabytes(static_cast<double>(device.GetDataFileSize(item)));
}

void SetListVariables(PageVariables& v, std::string_view name, int count) {
  v["name"] = HtmlEscape(name);
  v["count"] = platform::Printf("%d", count);
}

// Every track of the device in the device's order.
SortableKernelIdArray AudioTracks(KernelDevice& device) {
  SortableKernelIdArray tracks(&device);
  KernelId track;
  for (int r = device.GetFirstAudioTrack(track); r > 0; r = device.GetNextAudioTrack(track)) tracks.push_back(track);
  return tracks;
}

// ---- The loop kinds ----

// One run of a loop node.
struct LoopRun {
  ExpLoop& loop;
  TemplateOutput& output;
  PageVariables& vars;
  KernelDevice& device;
  TemplateContext& context;

  const std::string& arg(int index) const { return loop.arg(index); }
  void Body() { loop.RunBody(output, vars, context); }
};

using LoopKind = void (*)(LoopRun&);

void LoopAudioSingle(LoopRun& run) {
  SetTrackVariables(run.vars, run.device, ParseTemplateId(run.arg(1)));
  run.Body();
}

void LoopDataSingle(LoopRun& run) {
  SetDataItemVariables(run.vars, run.device, ParseTemplateId(run.arg(1)));
  run.Body();
}

void LoopDataItems(LoopRun& run, bool folders) {
  KernelId folder;
  if (run.arg(1).empty()) {
    run.device.GetDataRootFolder(folder);
  } else {
    folder = ParseTemplateId(run.arg(1));
  }
  std::vector<KernelId> items;
  KernelId item;
  for (int r = run.device.GetFirstDataItem(folder, item); r > 0; r = run.device.GetNextDataItem(folder, item)) {
    items.push_back(item);
  }
  for (const KernelId& each : items) {
    if ((run.device.IsDataFolder(each) != 0) != folders) continue;
    SetDataItemVariables(run.vars, run.device, each);
    run.Body();
  }
}

void LoopDataFolders(LoopRun& run) { LoopDataItems(run, true); }
void LoopDataFiles(LoopRun& run) { LoopDataItems(run, false); }

void LoopSearchResults(LoopRun& run) {
  for (const KernelId& track : GetSearchResults()) {
    SetQueueTrackVariables(run.vars, run.device, track);
    run.Body();
  }
}

// Sorted tracks without the locked ones, each with the list variables.
void RunUnlockedTracks(LoopRun& run, const std::vector<KernelId>& tracks) {
  for (const KernelId& track : tracks) {
    if (run.device.IsTrackLocked(track) != 0) continue;
    SetQueueTrackVariables(run.vars, run.device, track);
    run.Body();
  }
}

// One page of a list: items [first, end) of `total`, page `page` of `pages`.
struct Paging {
  long long total = 0;
  long long page = 1;
  long long pages = 1;
  long long first = 0;
  long long end = 0;
};

// Pages of `size` items (size 0 or less: one page of all); the page number is clamped to
// the pages there are.
Paging MakePaging(long long total, long long page, long long size) {
  Paging p;
  p.total = total;
  p.end = total;
  if (size > 0) {
    p.pages = total == 0 ? 1 : (total - 1) / size + 1;
    p.page = std::clamp(page, 1LL, p.pages);
    p.first = (p.page - 1) * size;
    p.end = p.first + std::min(size, total - p.first);
  }
  return p;
}

// "total", "page", "pages", "firstnum", "lastnum" (1-based, 0 and 0 for an empty list),
// "prevpage" and "nextpage" (empty on the first and the last page).
void SetPagingVariables(PageVariables& v, const Paging& p) {
  v["total"] = std::to_string(p.total);
  v["page"] = std::to_string(p.page);
  v["pages"] = std::to_string(p.pages);
  v["firstnum"] = std::to_string(p.first < p.end ? p.first + 1 : 0);
  v["lastnum"] = std::to_string(p.end);
  v["prevpage"] = p.page > 1 ? std::to_string(p.page - 1) : std::string();
  v["nextpage"] = p.page < p.pages ? std::to_string(p.page + 1) : std::string();
}

// The column names the track table sorts by.
constexpr struct {
  const char* name;
  int key;
} kSortColumns[] = {
    {"artist", kSortArtist}, {"album", kSortAlbum},     {"tracknum", kSortTrackNumber},
    {"title", kSortTitle},   {"codec", kSortCodec},     {"bitrate", kSortBitrate},
    {"length", kSortLength}, {"year", kSortYear},       {"genre", kSortGenre},
    {"comment", kSortComment}, {"size", kSortFileSize},
};

int SortKeyOf(std::string_view name) {
  for (const auto& k : kSortColumns) {
    if (name == k.name) return k.key;
  }
  return -1;
}

// For each column c the table sorts by: "sortnext_c", what a heading's link passes as
// the column (the reverse order when the table is sorted by c already, else c), and
// "ariasort_c" ("ascending", "descending" or "none").
void SetSortVariables(PageVariables& v, std::string_view column, bool descending) {
  for (const auto& k : kSortColumns) {
    const bool sorted = column == k.name;
    const std::string name = k.name;
    v["sortnext_" + name] = sorted && !descending ? "-" + name : name;
    v["ariasort_" + name] = !sorted ? "none" : descending ? "descending" : "ascending";
  }
}

// loop(AUDIOALL, column, page, size): the track table of a skin. The tracks are sorted by
// the column first ("-column": the reverse order; unknown or empty: the default order),
// locked tracks are left out, and with a size above 0 only that page of them runs the
// body. Every track gets the whole set of track variables plus "num" (its place in the
// table); before the first body the loop sets "total", "page", "pages", "firstnum",
// "lastnum", "prevpage" / "nextpage" (empty on the first / last page), and the sort
// variables of the headings (SetSortVariables).
void RunTrackTable(LoopRun& run, const std::vector<KernelId>& tracks) {
  std::string_view column = platform::TrimView(run.arg(1));
  const bool descending = column.starts_with('-');
  if (descending) column.remove_prefix(1);
  const int key = SortKeyOf(column);
  const int keys[1] = {key};
  const std::span<const int> order = key >= 0 ? std::span<const int>(keys) : std::span<const int>();
  SetSortVariables(run.vars, key >= 0 ? column : std::string_view(), descending && key >= 0);

  // One record per track serves the sort and the lock filter; a record that cannot be
  // read sorts as an empty one.
  std::vector<TrackRecord> records(tracks.size());
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    try {
      run.device.GetTrackInfo(tracks[i], records[i]);
    } catch (const DeviceError&) {
    } catch (const KernelDeviceClientException&) {
    }
  }
  std::vector<std::size_t> rows;
  rows.reserve(tracks.size());
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    if (records[i].playOnly == 0) rows.push_back(i);
  }
  // The reverse order is the sorted order read backwards (rows equal in every key keep
  // the walk's order).
  std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) {
    const int c = CompareTrackRecords(records[a], records[b], order);
    return descending && key >= 0 ? c > 0 : c < 0;
  });

  const Paging paging = MakePaging(static_cast<long long>(rows.size()), ParseTemplateNumber(run.arg(2)),
                                   ParseTemplateNumber(run.arg(3)));
  SetPagingVariables(run.vars, paging);
  for (long long i = paging.first; i < paging.end; ++i) {
    SetTrackVariables(run.vars, run.device, tracks[rows[static_cast<std::size_t>(i)]]);
    run.vars["num"] = std::to_string(i + 1);
    run.Body();
  }
}

void LoopAudioAll(LoopRun& run) {
  if (run.arg(1).empty() && run.arg(2).empty() && run.arg(3).empty()) {
    RunUnlockedTracks(run, CollectAllTracks(run.device));
  } else {
    RunTrackTable(run, AudioTracks(run.device));  // sorts by itself
  }
}

void LoopAudioByArtist(LoopRun& run) { RunUnlockedTracks(run, CollectTracksByTags(run.device, run.arg(1), "", "")); }

void LoopAudioByAlbum(LoopRun& run) {
  RunUnlockedTracks(run, CollectTracksByTags(run.device, run.arg(2), run.arg(1), ""));
}

void LoopAudioByGenre(LoopRun& run) { RunUnlockedTracks(run, CollectTracksByTags(run.device, "", "", run.arg(1))); }

void LoopPlaylists(LoopRun& run) {
  std::vector<KernelId> playlists;
  KernelId playlist;
  for (int r = run.device.GetFirstPlaylist(playlist); r > 0; r = run.device.GetNextPlaylist(playlist)) {
    playlists.push_back(playlist);
  }
  for (const KernelId& each : playlists) {
    const std::string name = run.device.GetPlaylistName(each);
    KernelId item;
    const int count = run.device.GetFirstPlaylistItem(each, item);
    SetListVariables(run.vars, name, count);
    run.vars["id"] = FormatTemplateId(each);
    run.Body();
  }
}

// ARTISTS, ALBUMS and GENRES: the names first, then per name its track count and the body.
template <typename First, typename Next, typename Count>
void RunNames(LoopRun& run, First first, Next next, Count count) {
  std::vector<std::string> names;
  FixedString256 name;
  for (int r = first(name); r > 0; r = next(name)) names.push_back(name.Str());
  for (const std::string& each : names) {
    KernelId track;
    SetListVariables(run.vars, each, count(each, track));
    run.Body();
  }
}

void LoopArtists(LoopRun& run) {
  KernelDevice& d = run.device;
  RunNames(
      run, [&](FixedString256& n) { return d.GetFirstArtist(n); }, [&](FixedString256& n) { return d.GetNextArtist(n); },
      [&](const std::string& artist, KernelId& t) { return d.GetFirstTrackByTags(t, artist, "", ""); });
}

void LoopAlbums(LoopRun& run) {
  KernelDevice& d = run.device;
  const std::string artist = run.arg(1);
  RunNames(
      run, [&](FixedString256& n) { return d.GetFirstAlbum(n, artist); },
      [&](FixedString256& n) { return d.GetNextAlbum(n); },
      [&](const std::string& album, KernelId& t) { return d.GetFirstTrackByTags(t, artist, album, ""); });
}

void LoopGenres(LoopRun& run) {
  KernelDevice& d = run.device;
  RunNames(
      run, [&](FixedString256& n) { return d.GetFirstGenre(n); }, [&](FixedString256& n) { return d.GetNextGenre(n); },
      [&](const std::string& genre, KernelId& t) { return d.GetFirstTrackByTags(t, "", "", genre); });
}

// loop(QUEUE) walks the whole queue. loop(QUEUE, page, size) runs the body for one page
// of `size` entries, and walks the queue only up to that page's end: page is a number,
// or "current" (also when empty) for the page that holds the current entry. Before the
// first body it sets the paging variables of the track table ("total" ... "nextpage")
// and "currentnum", the number of the current entry (empty when the position lies
// outside the queue). loop(QUEUE, current, 1) is the current entry alone.
void LoopQueue(LoopRun& run) {
  const int position = run.device.GetQueuePosition();
  const std::string page = platform::Trim(run.arg(1));
  const bool paged = !page.empty() || !platform::TrimView(run.arg(2)).empty();
  std::vector<KernelId> entries;
  std::size_t first = 0;
  KernelId track;
  int r = run.device.GetFirstQueueEntry(track);
  if (paged) {
    const long long total = std::max(r, 0);
    const long long size = ParseTemplateNumber(run.arg(2));
    const bool current = page.empty() || page == "current";
    const long long wanted = current && size > 0 ? position / size + 1 : ParseTemplateNumber(page);
    const Paging paging = MakePaging(total, wanted, size);
    SetPagingVariables(run.vars, paging);
    run.vars["currentnum"] = position >= 0 && position < total ? std::to_string(position + 1) : std::string();
    first = static_cast<std::size_t>(paging.first);
    for (long long i = 0; r > 0 && i < paging.end; ++i) {
      if (i >= paging.first) entries.push_back(track);
      if (i + 1 < paging.end) r = run.device.GetNextQueueEntry(track);
    }
  } else {
    for (; r > 0; r = run.device.GetNextQueueEntry(track)) entries.push_back(track);
  }
  for (std::size_t e = 0; e < entries.size(); ++e) {
    SetQueueTrackVariables(run.vars, run.device, entries[e]);
    const int number = static_cast<int>(first + e);
    run.vars["aqnum"] = platform::Printf("%d", number + 1);
    const bool before = number < position;
    const bool current = number == position;
    run.vars["status"] = before ? "Already Played" : current ? "Current" : "Not Yet Played";
    run.vars["statuscode"] = before ? "q_alreadyplayed" : current ? "q_current" : "q_notyetplayed";
    run.Body();
  }
}

void LoopPlaylist(LoopRun& run) {
  const std::vector<KernelId> items = CollectPlaylistItems(run.device, ParseTemplateId(run.arg(1)));
  for (std::size_t i = 0; i < items.size(); ++i) {
    // Locked entries are left out but keep their number.
    if (run.device.IsTrackLocked(items[i]) != 0) continue;
    SetQueueTrackVariables(run.vars, run.device, items[i]);
    run.vars["plnum"] = platform::Printf("%d", static_cast<int>(i) + 1);
    run.Body();
  }
}

void LoopSkins(LoopRun& run) {
  const std::string current = GetSelectedSkin();
  for (const std::string& skin : ListSkins()) {
    run.vars["name"] = HtmlEscape(skin);
    run.vars["selected"] = skin == current ? "selected" : "";
    run.Body();
  }
}

// ---- Search ----

// Builds the condition of a search; false (with "search_error" set where the search
// reports a problem) when there is nothing to search.
bool SearchCondition(LoopRun& run, const std::string (&a)[6], std::string& condition) {
  const std::string& type = a[1];
  if (type == "simple") {
    static const char* const kFields[] = {"artist", "album", "title", "genre"};
    for (int i = 0; i < 4; ++i) {
      if (!a[2 + i].empty()) condition += std::string(kFields[i]) + "?" + SqlStringLiteral(a[2 + i]) + " AND ";
    }
    condition += "1=1";
  } else if (type == "quick") {
    const std::string t = SqlStringLiteral(a[2]);
    condition = "artist?" + t + " OR album?" + t + " OR genre?" + t + " OR title?" + t;
  } else if (type == "advanced") {
    // A condition written in a page may spell its blanks "+" (year+>+1990); one from the
    // request arrives decoded already, and its "+" is meant ("C++", "year = 2019+1").
    condition = run.loop.argFromUrl(2) ? a[2] : platform::ReplaceAll(a[2], "+", " ");
    if (condition.empty()) return false;
    run.vars["last_sqlquery"] = HtmlEscape(condition);
  } else {
    run.vars["search_error"] = HtmlEscape("Invalid search type: " + type);
    return false;
  }
  return true;
}

void LoopSearch(LoopRun& run) {
  std::string a[6];
  for (int i = 1; i < 6; ++i) a[i] = platform::Trim(run.arg(i));
  if (a[1].empty()) return;
  std::string condition;
  if (!SearchCondition(run, a, condition)) return;
  const std::string query = "SELECT id FROM audio WHERE " + condition + ";";

  ReplaceSearchResults({});
  SortableKernelIdArray found(&run.device);
  auto fail = [&](std::string text) { run.vars["search_error"] = std::move(text); };
  try {
    CSmallParser parser;
    parser.Parse(query);
    if (parser.GetStatementType() != CSmallParser::kSelect) return fail("Only SELECT statements are supported.");
    CTableSourceJukebox source(&run.device);
    CSelectStatement statement(query, parser.GetStatement(), &source);
    statement.Build();
    CResultTable result;
    statement.Execute(result);
    if (result.GetCount() == 0) return fail("No search results found.");
    for (std::size_t i = 0; i < result.GetCount(); ++i) {
      const CResultRow* row = result.GetRow(i);
      const std::string* id = row != nullptr ? row->Find("id") : nullptr;
      found.push_back(ParseTemplateId(id != nullptr ? *id : std::string()));
    }
  } catch (const COmbrixSQLException& e) {
    return fail(HtmlEscape("SQL Error: " + e.GetDescription()));
  } catch (const DeviceError&) {
    throw;  // the player failed: the page ends, as with every loop
  } catch (const KernelDeviceClientException&) {
    throw;
  } catch (const std::exception&) {
    return fail(HtmlEscape("Invalid Query: '" + query + "'"));
  }
  ReplaceSearchResults(found);
  found.SortByTrackInfo(-1);
  run.vars["total"] = std::to_string(found.size());  // for "N tracks found" above the list
  for (const KernelId& track : found) {
    SetQueueTrackVariables(run.vars, run.device, track);
    run.Body();
  }
  WriteSettingString("SQL_LastSearchQuery", query);
}

struct KindEntry {
  std::string_view name;
  LoopKind run;
};

constexpr KindEntry kKinds[] = {
    {"AUDIOSINGLE", LoopAudioSingle},     {"DATASINGLE", LoopDataSingle},     {"DATAFOLDERS", LoopDataFolders},
    {"DATAFILES", LoopDataFiles},         {"SEARCHRESULTS", LoopSearchResults}, {"AUDIOALL", LoopAudioAll},
    {"AUDIOBYARTIST", LoopAudioByArtist}, {"AUDIOBYALBUM", LoopAudioByAlbum}, {"AUDIOBYGENRE", LoopAudioByGenre},
    {"PLAYLISTS", LoopPlaylists},         {"ARTISTS", LoopArtists},           {"ALBUMS", LoopAlbums},
    {"GENRES", LoopGenres},               {"QUEUE", LoopQueue},               {"PLAYLIST", LoopPlaylist},
    {"SKINS", LoopSkins},                 {"SEARCH", LoopSearch},
};

}  // namespace

// ---- Shared with qcontrol ----

KernelId ParseTemplateId(std::string_view text) {
  const platform::ScannedNumber n = platform::ScanNumber(text);
  if (n.overflow) return KernelId::FromItemId(0);
  return KernelId::FromItemId(n.negative ? 0 - n.magnitude : n.magnitude);
}

std::string FormatTemplateId(const KernelId& id) { return std::to_string(id.GetItemId()); }

long long ParseTemplateNumber(std::string_view text) { return platform::ParseInt64(text); }

SortableKernelIdArray CollectAllTracks(KernelDevice& device) {
  SortableKernelIdArray tracks = AudioTracks(device);
  tracks.SortByTrackInfo(-1);
  return tracks;
}

SortableKernelIdArray CollectTracksByTags(KernelDevice& device, std::string_view artist, std::string_view album,
                                          std::string_view genre) {
  SortableKernelIdArray tracks(&device);
  KernelId track;
  for (int r = device.GetFirstTrackByTags(track, artist, album, genre); r > 0; r = device.GetNextTrackByTags(track)) {
    tracks.push_back(track);
  }
  tracks.SortByTrackInfo(-1);
  return tracks;
}

std::vector<KernelId> CollectPlaylistItems(KernelDevice& device, const KernelId& playlist) {
  std::vector<KernelId> items;
  KernelId track;
  for (int r = device.GetFirstPlaylistItem(playlist, track); r > 0; r = device.GetNextPlaylistItem(playlist, track)) {
    items.push_back(track);
  }
  return items;
}

std::vector<KernelId> GetSearchResults() {
  std::lock_guard<std::mutex> lock(g_searchMutex);
  return SearchResultList();
}

void ReplaceSearchResults(std::vector<KernelId> ids) {
  std::lock_guard<std::mutex> lock(g_searchMutex);
  SearchResultList() = std::move(ids);
}

// ---- The node ----

void DevicePageContext::RunLoop(ExpLoop& loop, TemplateOutput& output, PageVariables& variables) {
  const std::string type = platform::Trim(loop.arg(0));
  if (type.empty()) return;
  for (const KindEntry& kind : kKinds) {
    if (kind.name == type) {
      LoopRun run{loop, output, variables, device_, *this};
      kind.run(run);
      return;
    }
  }
  output.Write("Unknown loop type: '" + HtmlEscape(type) + "'.");
}

}  // namespace web
