// The track and contact records that the device interface reads and writes. Wire
// formats like KernelId: standard layout, little-endian, offsets checked below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "device/kernel_id.h"

namespace device {

// The whole metadata of one audio track.
struct TrackRecord {
  FixedString260 path;          // file name on the device, or the local file for uploads
  std::uint8_t playOnly;        // nonzero: may be played but not copied off the device
  std::uint8_t codec;           // codec code (device/codec.h); 2 after Clear
  std::uint8_t padding0[2];
  FixedString256 artist;
  FixedString256 album;
  FixedString256 title;
  FixedString256 genre;
  FixedString256 comment;
  FixedString256 composer;
  FixedString256 grouping;      // content-group text of the tag readers
  std::uint8_t compilation;     // nonzero: part of a compilation
  std::uint8_t padding1[3];
  std::uint32_t modifiedTime;   // seconds since 1970
  std::int32_t fileSize;        // bytes
  std::int32_t length;          // seconds
  std::int32_t trackNumber;
  std::int32_t trackCount;
  std::int32_t year;
  std::int32_t bitrate;         // kbit/s
  std::int32_t sampleRate;      // Hz
  std::int32_t extraNumber1;
  std::int32_t extraNumber2;
  std::int32_t extraNumber3;
  std::int32_t playCount;
  std::uint32_t lastPlayed;     // seconds since 1970
  std::int32_t discNumber;
  std::int32_t discCount;
  std::uint32_t addedTime;      // seconds since 1970
  std::uint8_t rating;          // 0..100 (stars = rating / 20)
  std::uint8_t padding2;
  std::int16_t tempo;           // beats per minute
  std::uint8_t extraFlag;
  std::uint8_t padding3[3];
  FixedString256 extraText;
  std::uint32_t extraWord1;
  std::uint32_t extraWord2;

  // A cleared record (padding zeroed too, so no stray bytes travel or get stored).
  TrackRecord();

  // Path, texts, numbers and flags emptied; codec 2.
  void Clear();
  // Every field except the padding.
  static void Copy(TrackRecord& dst, const TrackRecord& src);
  // 0 when path, file size, play-only flag, artist, album, track number, title, length,
  // bitrate, codec, year, genre and comment are all equal (texts byte for byte), else
  // -1. The tag write-back skips tracks whose record did not change by it.
  static int Compare(const TrackRecord& a, const TrackRecord& b);
};

static_assert(std::is_standard_layout_v<TrackRecord>);
static_assert(sizeof(TrackRecord) == 2468);
static_assert(offsetof(TrackRecord, path) == 0);
static_assert(offsetof(TrackRecord, playOnly) == 268);
static_assert(offsetof(TrackRecord, codec) == 269);
static_assert(offsetof(TrackRecord, artist) == 272);
static_assert(offsetof(TrackRecord, album) == 536);
static_assert(offsetof(TrackRecord, title) == 800);
static_assert(offsetof(TrackRecord, genre) == 1064);
static_assert(offsetof(TrackRecord, comment) == 1328);
static_assert(offsetof(TrackRecord, composer) == 1592);
static_assert(offsetof(TrackRecord, grouping) == 1856);
static_assert(offsetof(TrackRecord, compilation) == 2120);
static_assert(offsetof(TrackRecord, modifiedTime) == 2124);
static_assert(offsetof(TrackRecord, fileSize) == 2128);
static_assert(offsetof(TrackRecord, length) == 2132);
static_assert(offsetof(TrackRecord, trackNumber) == 2136);
static_assert(offsetof(TrackRecord, trackCount) == 2140);
static_assert(offsetof(TrackRecord, year) == 2144);
static_assert(offsetof(TrackRecord, bitrate) == 2148);
static_assert(offsetof(TrackRecord, sampleRate) == 2152);
static_assert(offsetof(TrackRecord, extraNumber1) == 2156);
static_assert(offsetof(TrackRecord, extraNumber2) == 2160);
static_assert(offsetof(TrackRecord, extraNumber3) == 2164);
static_assert(offsetof(TrackRecord, playCount) == 2168);
static_assert(offsetof(TrackRecord, lastPlayed) == 2172);
static_assert(offsetof(TrackRecord, discNumber) == 2176);
static_assert(offsetof(TrackRecord, discCount) == 2180);
static_assert(offsetof(TrackRecord, addedTime) == 2184);
static_assert(offsetof(TrackRecord, rating) == 2188);
static_assert(offsetof(TrackRecord, tempo) == 2190);
static_assert(offsetof(TrackRecord, extraFlag) == 2192);
static_assert(offsetof(TrackRecord, extraText) == 2196);
static_assert(offsetof(TrackRecord, extraWord1) == 2460);
static_assert(offsetof(TrackRecord, extraWord2) == 2464);

// Indices of the contact fields that the editors and drivers give a meaning.
enum ContactField : int {
  kContactFirstName = 0,
  kContactLastName = 1,
  kContactNickname = 2,
  kContactOrganization = 3,
  kContactJobTitle = 4,
  kContactHomePoBox = 5,
  kContactHomeStreet = 7,
  kContactHomeCity = 8,
  kContactHomeState = 9,
  kContactHomePostalCode = 10,
  kContactHomeCountry = 11,
  kContactWorkPoBox = 12,
  kContactWorkStreet = 14,
  kContactWorkCity = 15,
  kContactWorkState = 16,
  kContactWorkPostalCode = 17,
  kContactWorkCountry = 18,
  kContactWorkPhone = 19,
  kContactHomePhone = 20,
  kContactMobilePhone = 21,
  kContactWorkFax = 22,
  kContactHomeFax = 23,
  kContactWebAddress = 24,
  kContactEmail = 25,
  kContactNote = 26,
};

// One contact as 27 fixed fields; element n lies at n x 268.
struct ContactRecord {
  static constexpr int kFieldCount = 27;
  FixedString260 field[kFieldCount];

  void Clear();
};

static_assert(std::is_standard_layout_v<ContactRecord>);
static_assert(sizeof(ContactRecord) == 7236);
static_assert(offsetof(ContactRecord, field) == 0);
static_assert(sizeof(ContactRecord::field[0]) == 268);

}  // namespace device
