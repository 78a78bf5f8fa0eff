#include "platform/vendorsdk/sim_content.h"

#include <lame/lame.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/paths/paths.h"
#include "platform/text/little_endian.h"
#include "platform/vendorsdk/file_copy.h"

namespace platform {

SdkAttribute SimText(std::string_view name, std::string value) {
  SdkAttribute a;
  a.type = kSdkAttrText;
  a.name.assign(name);
  a.text = std::move(value);
  return a;
}

SdkAttribute SimNumber(std::string_view name, std::uint32_t value) {
  SdkAttribute a;
  a.type = kSdkAttrNumber;
  a.name.assign(name);
  a.number = value;
  return a;
}

std::vector<SdkAttribute> SimTrackAttributes(const SimTrackTags& t) {
  return {SimText(kAttrTitle, t.title),         SimText(kAttrAlbum, t.album),        SimText(kAttrArtist, t.artist),
          SimText(kAttrGenre, t.genre),         SimText(kAttrCodec, t.codec),        SimNumber(kAttrLength, t.seconds),
          SimNumber(kAttrTrackNumber, t.number),  SimNumber(kAttrYear, t.year)};
}

std::vector<SdkAttribute> SimDataFileAttributes(std::string_view name, std::uint32_t folder,
                                                std::uint32_t modified) {
  return {SimText(kAttrFileName, std::string(name)), SimNumber(kAttrParentFolder, folder),
          SimNumber(kAttrModifiedTime, modified), SimNumber(kAttrFileAttributes, 0x20)};
}

std::string MakeWavFile(const std::vector<std::int16_t>& pcm, int rate, const SimTrackTags& t) {
  std::string info = "INFO";
  auto tag = [&info](const char* id, const std::string& text) {
    std::string v = text;
    v.push_back('\0');
    if (v.size() % 2) v.push_back('\0');
    info.append(id, 4);
    AppendLe32(info, std::uint32_t(v.size()));
    info += v;
  };
  tag("INAM", t.title);
  tag("IART", t.artist);
  tag("IPRD", t.album);
  tag("IGNR", t.genre);
  tag("ICRD", std::to_string(t.year));
  tag("ITRK", std::to_string(t.number));

  const std::uint32_t dataBytes = std::uint32_t(pcm.size() * 2);
  std::string out = "RIFF";
  AppendLe32(out, 4 + (8 + 16) + (8 + dataBytes) + (8 + std::uint32_t(info.size())));
  out += "WAVEfmt ";
  AppendLe32(out, 16);
  AppendLe16(out, 1);  // PCM
  AppendLe16(out, 1);  // mono
  AppendLe32(out, std::uint32_t(rate));
  AppendLe32(out, std::uint32_t(rate) * 2);
  AppendLe16(out, 2);
  AppendLe16(out, 16);
  out += "data";
  AppendLe32(out, dataBytes);
  for (std::int16_t s : pcm) AppendLe16(out, std::uint16_t(s));
  out += "LIST";
  AppendLe32(out, std::uint32_t(info.size()));
  out += info;
  return out;
}

bool MakeMp3File(const std::vector<std::int16_t>& pcmIn, int rate, const SimTrackTags& t, std::string* out,
                 std::string* error) {
  std::vector<std::int16_t> pcm = pcmIn;  // the encoder's input is not const
  lame_global_flags* gf = lame_init();
  if (gf == nullptr) {
    *error = "The MP3 encoder could not be started.";
    return false;
  }
  lame_set_in_samplerate(gf, rate);
  lame_set_out_samplerate(gf, rate);
  lame_set_num_channels(gf, 1);
  lame_set_mode(gf, MONO);
  lame_set_brate(gf, 64);
  lame_set_quality(gf, 5);
  lame_set_bWriteVbrTag(gf, 0);
  id3tag_init(gf);
  id3tag_add_v2(gf);
  id3tag_set_title(gf, t.title.c_str());
  id3tag_set_artist(gf, t.artist.c_str());
  id3tag_set_album(gf, t.album.c_str());
  id3tag_set_year(gf, std::to_string(t.year).c_str());
  id3tag_set_genre(gf, t.genre.c_str());
  id3tag_set_track(gf, std::to_string(t.number).c_str());
  if (lame_init_params(gf) < 0) {
    lame_close(gf);
    *error = "The MP3 encoder refused its settings.";
    return false;
  }
  std::vector<unsigned char> buffer(pcm.size() * 5 / 4 + 7200 + 65536);
  const int n = lame_encode_buffer(gf, pcm.data(), pcm.data(), int(pcm.size()), buffer.data(), int(buffer.size()));
  if (n < 0) {
    lame_close(gf);
    *error = "The MP3 encoder failed (" + std::to_string(n) + ").";
    return false;
  }
  out->assign(reinterpret_cast<const char*>(buffer.data()), std::size_t(n));
  const int tail = lame_encode_flush(gf, buffer.data(), int(buffer.size()));
  lame_close(gf);
  if (tail < 0) {
    *error = "The MP3 encoder failed at the end (" + std::to_string(tail) + ").";
    return false;
  }
  out->append(reinterpret_cast<const char*>(buffer.data()), std::size_t(tail));
  return true;
}

SdkResult AddSimContent(SimPlayer& player, std::uint32_t type, const std::vector<SdkAttribute>& attrs,
                        const std::string& bytes, std::uint32_t* id) {
  SimPlayer::PendingUpload pending;
  const std::uint32_t now = std::uint32_t(std::time(nullptr));
  if (SdkResult r = player.PrepareUpload(type, attrs, "", bytes.size(), now, &pending)) return r;
  if (!WriteWholeFile(pending.tempPath, bytes)) {
    player.AbandonUpload(pending);
    return kSdkErrFail;
  }
  if (SdkResult r = player.CommitUpload(pending)) return r;
  *id = pending.item.id;
  return kSdkOk;
}

bool CreateFilledSimPlayer(std::string_view folder, const SimPlayerOptions& options, std::string_view what,
                           const std::function<bool(SimPlayer&, std::string*)>& fill, std::string* error) {
  namespace fs = std::filesystem;
  std::string dir = ToPosixPath(folder);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::error_code ec;
  if (fs::exists(dir, ec) && (!fs::is_directory(dir, ec) || !fs::is_empty(dir, ec))) {
    *error = "The folder " + dir + " is not empty; the " + std::string(what) + " player needs an empty folder.";
    return false;
  }
  const std::string tmp = dir + "." + std::string(what) + "-" + std::to_string(::getpid());
  fs::remove_all(tmp, ec);
  if (!CreateSimPlayer(FromPosixPath(tmp), options, error)) return false;
  bool filled = false;
  {
    SdkResult code = kSdkOk;
    std::shared_ptr<SimPlayer> player = SimPlayer::Open(FromPosixPath(tmp), &code, error);
    filled = player && fill(*player, error);
  }
  if (filled) {
    if (fs::exists(dir, ec)) fs::remove(dir, ec);  // the empty folder it replaces
    if (::rename(tmp.c_str(), dir.c_str()) == 0) return true;
    *error = "Cannot create the " + std::string(what) + " player in " + dir + ": " + std::strerror(errno);
  }
  fs::remove_all(tmp, ec);
  return false;
}

}  // namespace platform
