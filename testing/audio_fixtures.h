// Test support: small audio files made at test time with the command-line tools that
// scripts/setup installs (sox, lame, flac, oggenc, ffmpeg), and MP4 atoms built by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "testing/run_tool.h"
#include "testing/temp_folder.h"

namespace transfer::testing {

// Runs a tool to its end; false (with a test failure) when it did not exit with 0.
inline bool Tool(std::vector<std::string> args) {
  std::string failure;
  const bool ok = RunTool(std::move(args), &failure);
  EXPECT_TRUE(ok) << failure;
  return ok;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A fresh folder under $TMPDIR, removed with the object.
class ScratchFolder {
 public:
  ScratchFolder() {
    path_ = platform::testing::MakeTempFolder("tovaudio");
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A sine tone as WAV: `seconds` long, at `rate` Hz, with `channels` and `bits`.
inline bool MakeTone(const std::string& path, int seconds, int rate = 44100, int channels = 2, int bits = 16) {
  return Tool({"sox", "-n", "-r", std::to_string(rate), "-c", std::to_string(channels), "-b", std::to_string(bits),
               path, "synth", std::to_string(seconds), "sine", "440"});
}

// MP4 atoms: a size, a type and the children's bytes.
inline std::string Be32(std::uint32_t v) {
  return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
inline std::string Be16(std::uint16_t v) { return std::string{char(v >> 8), char(v)}; }
inline std::string Atom(const std::string& type, const std::string& body) {
  return Be32(static_cast<std::uint32_t>(8 + body.size())) + type + body;
}
// An item of the list: the item atom around a data atom (type flags, locale, value).
inline std::string Item(const std::string& type, const std::string& value, std::uint32_t flags = 1) {
  return Atom(type, Atom("data", Be32(flags) + Be32(0) + value));
}
// ID3v2 pieces: a synch-safe size, a frame of version 2, 3 or 4, and a whole tag (header
// with its flags, the body, a footer when given).
inline std::string SynchSafe(std::uint32_t v) {
  return std::string{char((v >> 21) & 0x7F), char((v >> 14) & 0x7F), char((v >> 7) & 0x7F), char(v & 0x7F)};
}
inline std::string Id3Frame(int version, const std::string& id, const std::string& body) {
  const auto n = static_cast<std::uint32_t>(body.size());
  if (version == 2) return id + std::string{char(n >> 16), char(n >> 8), char(n)} + body;
  return id + (version == 4 ? SynchSafe(n) : Be32(n)) + std::string(2, '\0') + body;
}
inline std::string Id3Tag(int version, int flags, const std::string& body, const std::string& footer = {}) {
  return std::string("ID3") + char(version) + '\0' + char(flags) + SynchSafe(static_cast<std::uint32_t>(body.size())) +
         body + footer;
}
// "mvhd" version 0 with a time scale and a duration.
inline std::string Mvhd(std::uint32_t timescale, std::uint32_t duration) {
  return Atom("mvhd", Be32(0) + Be32(0) + Be32(0) + Be32(timescale) + Be32(duration) + std::string(80, '\0'));
}
// "moov" holding "mvhd" and "udta"/"meta"(handler, item list of `items`)[, after].
inline std::string Moov(std::uint32_t timescale, std::uint32_t duration, const std::string& items,
                        const std::string& afterList = {}) {
  const std::string hdlr = Atom("hdlr", Be32(0) + Be32(0) + "mdirappl" + std::string(9, '\0'));
  const std::string meta = Atom("meta", Be32(0) + hdlr + Atom("ilst", items) + afterList);
  return Atom("moov", Mvhd(timescale, duration) + Atom("udta", meta));
}

}  // namespace transfer::testing
