#include "device/codec.h"

#include <gtest/gtest.h>

namespace device {

namespace {

TEST(CodecTest, ExtensionOfEachCode) {
  const std::pair<int, const char*> table[] = {
      {1, "wav"}, {2, "mp3"}, {3, "wma"}, {4, "nvf"},  {5, "m4a"},  {6, "aa"}, {7, "m4p"},
      {8, "m4b"}, {9, "mp4"}, {10, "ogg"}, {11, "flac"}, {0, ""},   {12, ""},  {-1, ""}};
  for (const auto& [code, ext] : table) EXPECT_EQ(GetCodecExtension(code), ext) << code;
}

TEST(CodecTest, CodeOfAnExtension) {
  const std::pair<const char*, int> table[] = {
      {".MP3", 2}, {"mp3", 2},  {".wma", 3},  {".Ogg", 10}, {".wav", 1}, {".nvf", 4},
      {".m4a", 5}, {".m4p", 7}, {".m4b", 8},  {".mp4", 5},  {"mp4", 5},  {".flac", 11},
      {".aa", 6},  {"aa", 0},   {".a", 0},    {"", 0},      {".txt", 0}, {".mp33", 0},
      {"..mp3", 0}};
  for (const auto& [ext, code] : table) EXPECT_EQ(GetCodecFromExtension(ext), code) << ext;
}

TEST(CodecTest, CodeOfAPath) {
  const std::pair<const char*, int> table[] = {
      {"C:\\Music\\song.Flac", 11},  {"C:\\Music.mp3\\song", 0}, {"/home/u/a.b.ogg", 10},
      {"\\\\srv\\share\\x.wav", 1}, {"noext", 0},                {"C:\\dir\\.mp3", 2},
      {"D:tune.wma", 3}};
  for (const auto& [path, code] : table) EXPECT_EQ(GetCodecFromPath(path), code) << path;
}

}  // namespace

}  // namespace device
