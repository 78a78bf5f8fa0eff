// The store's record files: writing and strict reading (see store_records.h).
#include "platform/vendorsdk/store_records.h"

#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

namespace platform::simstore {
namespace {

std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out.push_back(c);
  }
  return out;
}

std::string Unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char n = s[++i];
      out.push_back(n == 'n' ? '\n' : n == 'r' ? '\r' : n);
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

void Put(std::string& out, std::string_view key, std::string_view value) {
  out.append(key).append("=").append(Escape(value)).append("\n");
}
void Put(std::string& out, std::string_view key, std::uint64_t value) { Put(out, key, std::to_string(value)); }
void PutSigned(std::string& out, std::string_view key, std::int64_t value) { Put(out, key, std::to_string(value)); }

std::string JoinVersion(const std::uint16_t v[4]) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

bool ParseVersion(std::string_view s, std::uint16_t v[4]) {
  std::uint16_t parts[4];
  for (int i = 0; i < 4; ++i) {
    const std::size_t dot = s.find('.');
    const std::string_view part = i < 3 ? s.substr(0, dot) : s;
    if ((i < 3 && dot == std::string_view::npos) || !ReadNumber(part, &parts[i])) return false;
    if (i < 3) s = s.substr(dot + 1);
  }
  std::copy(parts, parts + 4, v);
  return true;
}

std::string HexBytes(const std::uint8_t* p, std::size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(kHex[p[i] >> 4]);
    out.push_back(kHex[p[i] & 15]);
  }
  return out;
}

bool ParseHexBytes(std::string_view s, std::uint8_t* p, std::size_t n) {
  if (s.size() != 2 * n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    unsigned v = 0;
    const auto r = std::from_chars(s.data() + 2 * i, s.data() + 2 * i + 2, v, 16);
    if (r.ec != std::errc() || r.ptr != s.data() + 2 * i + 2) return false;
    p[i] = std::uint8_t(v);
  }
  return true;
}

// The lines of one record, and the questions a reader asks of them. Every answer that is
// not there leaves the reason in *why.
class Record {
 public:
  explicit Record(std::string* why) : why_(why) {}

  // False when the text is empty, does not end with a line end, or holds a line that is
  // not "key=value" (blank lines are passed over).
  bool Split(std::string_view text) {
    if (text.empty()) return Fail("it is empty");
    if (text.back() != '\n') return Fail("it ends in the middle of a line");
    int number = 0;
    while (!text.empty()) {
      const std::size_t nl = text.find('\n');
      std::string_view line = text.substr(0, nl);
      text.remove_prefix(nl + 1);
      ++number;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty()) continue;
      const std::size_t eq = line.find('=');
      if (eq == std::string_view::npos || eq == 0) {
        return Fail("its line " + std::to_string(number) + " is not a \"key=value\" line");
      }
      lines_.emplace_back(std::string(line.substr(0, eq)), Unescape(line.substr(eq + 1)));
    }
    return true;
  }

  // The last line of that key.
  const std::string* Find(std::string_view key) const {
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
      if (it->first == key) return &it->second;
    }
    return nullptr;
  }

  bool Text(std::string_view key, std::string* out) {
    const std::string* v = Find(key);
    if (v == nullptr) return Missing(key);
    *out = *v;
    return true;
  }

  template <typename T>
  bool Number(std::string_view key, T* out) {
    const std::string* v = Find(key);
    if (v == nullptr) return Missing(key);
    return ReadNumber(*v, out) || Invalid(key);
  }

  bool Missing(std::string_view key) { return Fail("its line \"" + std::string(key) + "\" is missing"); }
  bool Invalid(std::string_view key) { return Fail("its value of \"" + std::string(key) + "\" is not valid"); }
  bool Fail(std::string reason) {
    *why_ = std::move(reason);
    return false;
  }

  const std::vector<std::pair<std::string, std::string>>& lines() const { return lines_; }

 private:
  std::string* why_;
  std::vector<std::pair<std::string, std::string>> lines_;
};

bool ValidContentFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

}  // namespace

std::string PropertiesText(const SimProperties& p) {
  std::string out;
  Put(out, "format", std::uint64_t(kFormat));
  Put(out, "model", p.modelName);
  Put(out, "owner", p.ownerName);
  Put(out, "unique-id", HexBytes(p.uniqueId, 16));
  Put(out, "firmware", JoinVersion(p.firmwareVersion));
  Put(out, "hardware", JoinVersion(p.hardwareVersion));
  Put(out, "capacity", p.capacityBytes);
  PutSigned(out, "volume", p.volume);
  PutSigned(out, "mute", p.mute);
  PutSigned(out, "clock-offset", p.clockOffset);
  PutSigned(out, "property4", p.property4);
  Put(out, "next-id", p.nextId);
  return out;
}

std::string ItemText(const SimItem& it) {
  std::string out;
  Put(out, "type", it.type);
  Put(out, "name", it.name);
  if (it.type == kSdkTrack) {
    Put(out, "album", it.album);
    Put(out, "artist", it.artist);
    Put(out, "genre", it.genre);
    Put(out, "codec", it.codec);
    Put(out, "length", it.length);
    Put(out, "track", it.trackNumber);
    Put(out, "year", it.year);
    Put(out, "playonly", it.playOnly);
  } else {
    Put(out, "parent", it.parent);
  }
  Put(out, "attrib", it.fileAttributes);
  Put(out, "modified", it.modified);
  if (!it.file.empty()) Put(out, "file", it.file);
  return out;
}

std::string PlaylistText(const SimPlaylist& pl) {
  std::string out;
  Put(out, "name", pl.name);
  Put(out, "entries", pl.tracks.size());
  for (std::uint32_t t : pl.tracks) Put(out, "track", t);
  return out;
}

PropertiesRead ReadProperties(std::string_view text, SimProperties* out, std::string* why) {
  Record r(why);
  int format = 0;
  if (!r.Split(text) || !r.Number("format", &format)) return PropertiesRead::kDamaged;
  if (format != kFormat) {
    *why = "not a player of this version";
    return PropertiesRead::kOtherFormat;
  }
  std::string uniqueId, firmware, hardware;
  const bool whole =
      r.Text("model", &out->modelName) && r.Text("owner", &out->ownerName) && r.Text("unique-id", &uniqueId) &&
      (ParseHexBytes(uniqueId, out->uniqueId, 16) || r.Invalid("unique-id")) && r.Text("firmware", &firmware) &&
      (ParseVersion(firmware, out->firmwareVersion) || r.Invalid("firmware")) && r.Text("hardware", &hardware) &&
      (ParseVersion(hardware, out->hardwareVersion) || r.Invalid("hardware")) &&
      r.Number("capacity", &out->capacityBytes) && r.Number("volume", &out->volume) && r.Number("mute", &out->mute) &&
      r.Number("clock-offset", &out->clockOffset) && r.Number("property4", &out->property4) &&
      r.Number("next-id", &out->nextId);
  return whole ? PropertiesRead::kOk : PropertiesRead::kDamaged;
}

bool ReadItem(std::string_view text, std::uint32_t id, SimItem* out, std::string* why) {
  Record r(why);
  SimItem it;
  it.id = id;
  if (!r.Split(text) || !r.Number("type", &it.type)) return false;
  if (it.type != kSdkTrack && it.type != kSdkDataFile && it.type != kSdkDataFolder) {
    return r.Fail("its item type " + std::to_string(it.type) + " is unknown");
  }
  if (!r.Text("name", &it.name)) return false;
  if (it.type == kSdkTrack) {
    if (!r.Text("album", &it.album) || !r.Text("artist", &it.artist) || !r.Text("genre", &it.genre) ||
        !r.Text("codec", &it.codec) || !r.Number("length", &it.length) || !r.Number("track", &it.trackNumber) ||
        !r.Number("year", &it.year) || !r.Number("playonly", &it.playOnly)) {
      return false;
    }
  } else if (!r.Number("parent", &it.parent)) {
    return false;
  }
  if (!r.Number("attrib", &it.fileAttributes) || !r.Number("modified", &it.modified)) return false;
  if (it.type != kSdkDataFolder) {
    if (!r.Text("file", &it.file)) return false;
    if (!ValidContentFileName(it.file)) return r.Invalid("file");
  }
  *out = std::move(it);
  return true;
}

bool ReadPlaylist(std::string_view text, std::uint32_t id, SimPlaylist* out, std::string* why) {
  Record r(why);
  SimPlaylist pl;
  pl.id = id;
  if (!r.Split(text) || !r.Text("name", &pl.name)) return false;
  for (const auto& [key, value] : r.lines()) {
    if (key != "track") continue;
    std::uint32_t track = 0;
    if (!ReadNumber(value, &track)) return r.Invalid("track");
    pl.tracks.push_back(track);
  }
  if (r.Find("entries") != nullptr) {
    std::size_t entries = 0;
    if (!r.Number("entries", &entries)) return false;
    if (entries != pl.tracks.size()) {
      return r.Fail("it names " + std::to_string(entries) + " entries but holds " + std::to_string(pl.tracks.size()));
    }
  }
  *out = std::move(pl);
  return true;
}

}  // namespace platform::simstore
