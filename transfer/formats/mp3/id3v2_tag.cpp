#include "transfer/formats/mp3/id3v2_tag.h"

#include <algorithm>
#include <cstring>

namespace transfer {

namespace {

constexpr std::uint8_t kUnsynchronised = 0x80;
constexpr std::uint8_t kExtendedHeader = 0x40;  // compression in version 2.2
constexpr std::uint8_t kFooter = 0x10;

std::uint32_t SynchSafe(const unsigned char* p) {
  return (std::uint32_t(p[0] & 0x7F) << 21) | (std::uint32_t(p[1] & 0x7F) << 14) | (std::uint32_t(p[2] & 0x7F) << 7) |
         (p[3] & 0x7F);
}

void PutSynchSafe(std::string& out, std::uint32_t v) {
  out += static_cast<char>((v >> 21) & 0x7F);
  out += static_cast<char>((v >> 14) & 0x7F);
  out += static_cast<char>((v >> 7) & 0x7F);
  out += static_cast<char>(v & 0x7F);
}

int HeaderBytes(int version) { return version == 2 ? 6 : 10; }
int IdBytes(int version) { return version == 2 ? 3 : 4; }

bool ValidId(const unsigned char* p, int n) {
  for (int i = 0; i < n; ++i) {
    if (!((p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= '0' && p[i] <= '9'))) return false;
  }
  return true;
}

// Undoes the unsynchronisation of a whole tag: every 0xFF 0x00 becomes 0xFF.
std::string Resynchronise(const std::string& in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    out += in[i];
    if (static_cast<unsigned char>(in[i]) == 0xFF && i + 1 < in.size() && in[i + 1] == '\0') ++i;
  }
  return out;
}

// The frames of `body` (the frames and padding of a tag), into `tag`; false when the walk
// met bytes that are neither a frame nor padding.
bool WalkFrames(const std::string& body, int version, Id3v2Tag& tag) {
  const auto* b = reinterpret_cast<const unsigned char*>(body.data());
  const std::size_t end = body.size();
  const std::size_t header = static_cast<std::size_t>(HeaderBytes(version));
  const int idBytes = IdBytes(version);
  // Where a frame may end: the end of the tag, padding, or the next frame's header.
  const auto fits = [&](std::size_t next) {
    return next == end || (next < end && (b[next] == 0 || (end - next >= header && ValidId(b + next, idBytes))));
  };
  std::size_t pos = 0;
  while (pos < end) {
    if (b[pos] == 0) return true;  // padding
    if (end - pos < header || !ValidId(b + pos, idBytes)) return false;
    const unsigned char* s = b + pos + idBytes;
    std::uint64_t size = 0;
    if (version == 2) {
      size = (std::uint32_t(s[0]) << 16) | (std::uint32_t(s[1]) << 8) | s[2];
    } else if (version == 3) {
      size = BigEndian32(s);
    } else {
      // Some writers put plain sizes into 2.4 tags: a size that is not synch-safe, or one
      // whose synch-safe reading lands nowhere while the plain one lands on a frame.
      const std::uint32_t plain = BigEndian32(s);
      const std::uint32_t safe = SynchSafe(s);
      const bool safeForm = ((s[0] | s[1] | s[2] | s[3]) & 0x80) == 0;
      size = safeForm ? safe : plain;
      if (safeForm && safe != plain && !fits(pos + header + safe) && plain <= end - pos - header &&
          fits(pos + header + plain)) {
        size = plain;
      }
    }
    if (size > end - pos - header) return false;
    Id3v2Frame frame;
    frame.id.assign(body, pos, static_cast<std::size_t>(idBytes));
    const std::string_view rest(body.data() + pos + header, static_cast<std::size_t>(size));
    if (version == 4) {
      // Kept with its size in the proper form; flags and body as they were.
      frame.bytes = MakeId3v2Frame(4, frame.id, rest);
      frame.bytes[8] = body[pos + 8];
      frame.bytes[9] = body[pos + 9];
    } else {
      frame.bytes.assign(body, pos, header + static_cast<std::size_t>(size));
    }
    tag.frames.push_back(std::move(frame));
    pos += header + static_cast<std::size_t>(size);
  }
  return true;
}

std::string TagHeader(int version, std::uint64_t bodyBytes) {
  std::string h("ID3", 3);
  h += static_cast<char>(version);
  h += '\0';  // revision
  h += '\0';  // flags: no extended header, footer or unsynchronisation
  PutSynchSafe(h, static_cast<std::uint32_t>(bodyBytes));
  return h;
}

}  // namespace

std::string MakeId3v2Frame(int version, std::string_view id, std::string_view body) {
  std::string f(id);
  const std::uint32_t size = static_cast<std::uint32_t>(body.size());
  if (version == 2) {
    f += static_cast<char>(size >> 16);
    f += static_cast<char>(size >> 8);
    f += static_cast<char>(size);
  } else {
    if (version == 4) {
      PutSynchSafe(f, size);
    } else {
      f += static_cast<char>(size >> 24);
      f += static_cast<char>(size >> 16);
      f += static_cast<char>(size >> 8);
      f += static_cast<char>(size);
    }
    f += std::string(2, '\0');
  }
  f += body;
  return f;
}

std::string_view Id3v2FrameBody(int version, const Id3v2Frame& frame) {
  const std::size_t header = static_cast<std::size_t>(HeaderBytes(version));
  if (frame.bytes.size() < header) return {};
  return std::string_view(frame.bytes).substr(header);
}

bool ReadId3v2Tag(ByteSource& source, Id3v2Tag& tag) {
  tag = Id3v2Tag();
  unsigned char h[10];
  if (!source.ReadExact(0, h, sizeof h)) return false;
  if (std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF) return false;
  if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return false;
  const int version = h[3];
  const std::uint8_t flags = h[5];
  const std::uint32_t size = SynchSafe(h + 6);
  tag.version = version;
  tag.regionBytes = 10 + std::uint64_t(size) + (version >= 4 && (flags & kFooter) ? 10 : 0);
  // A version we do not know, or a compressed 2.2 tag (no method was ever defined), is
  // skipped but cannot be read.
  if (version < 2 || version > 4 || (version == 2 && (flags & kExtendedHeader))) return true;

  // No more than the file holds, whatever the header claims.
  const std::uint64_t available = source.Size() > 10 ? source.Size() - 10 : 0;
  std::string body(static_cast<std::size_t>(std::min<std::uint64_t>(size, available)), '\0');
  const std::size_t got = source.ReadAt(10, body.data(), body.size());
  const bool whole = got == size;
  body.resize(got);
  if (version <= 3 && (flags & kUnsynchronised)) body = Resynchronise(body);

  std::size_t skip = 0;
  if (version >= 3 && (flags & kExtendedHeader)) {
    if (body.size() < 4) return true;
    const auto* e = reinterpret_cast<const unsigned char*>(body.data());
    // 2.3 counts the bytes after the size field; 2.4 counts the whole extended header.
    const std::uint64_t length = version == 3 ? 4 + std::uint64_t(BigEndian32(e)) : SynchSafe(e);
    if (length < (version == 3 ? 10u : 6u) || length > body.size()) return true;
    skip = static_cast<std::size_t>(length);
  }
  const bool walked = WalkFrames(body.substr(skip), version, tag);
  tag.complete = walked && whole;
  return true;
}

std::string Id3v2Tag::Plain() const {
  std::string frameBytes;
  for (const Id3v2Frame& f : frames) frameBytes += f.bytes;
  return TagHeader(version, frameBytes.size()) + frameBytes;
}

std::uint64_t Id3v2Tag::MinimumBytes() const {
  std::uint64_t bytes = 10;
  for (const Id3v2Frame& f : frames) bytes += f.bytes.size();
  return bytes;
}

std::string Id3v2Tag::Render(std::uint64_t totalBytes) const {
  std::string out = TagHeader(version, totalBytes - 10);
  out.reserve(static_cast<std::size_t>(totalBytes));
  for (const Id3v2Frame& f : frames) out += f.bytes;
  out.resize(static_cast<std::size_t>(totalBytes), '\0');
  return out;
}

}  // namespace transfer
