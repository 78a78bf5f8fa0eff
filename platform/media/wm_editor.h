// Stand-in for the media runtime's metadata editor of WMA (ASF) files: open a file, read
// and set its attributes by name, flush the changes into the file. Built on TagLib's ASF
// support, which is linked, so the runtime is always present.
//
// Names are the runtime's: "Title", "Author", "Description", "Copyright" and "Rating" are
// the file's content description; "Bitrate" (DWORD, bits per second) and "Duration"
// (QWORD, 100-nanosecond units) come from its properties and are read-only; every other
// name ("WM/AlbumTitle", "WM/TrackNumber" ...) is an extended attribute. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Attribute value types, with the runtime's numbers.
enum WMT_ATTR_DATATYPE : int {
  WMT_TYPE_DWORD = 0,
  WMT_TYPE_STRING = 1,
  WMT_TYPE_BINARY = 2,
  WMT_TYPE_BOOL = 3,
  WMT_TYPE_QWORD = 4,
  WMT_TYPE_WORD = 5,
  WMT_TYPE_GUID = 6,
};

struct WmAttribute {
  WMT_ATTR_DATATYPE type = WMT_TYPE_STRING;
  std::string text;          // WMT_TYPE_STRING; raw bytes for BINARY and GUID
  std::uint64_t number = 0;  // DWORD, QWORD, WORD, BOOL
};

class WmMetadataEditor {
 public:
  WmMetadataEditor();
  ~WmMetadataEditor();
  WmMetadataEditor(const WmMetadataEditor&) = delete;
  WmMetadataEditor& operator=(const WmMetadataEditor&) = delete;

  // Opens a file (POSIX path) for reading and, when it is writable, for changing. False
  // when it is missing or not an ASF file.
  bool Open(const std::string& posixPath);
  // Opens a file's header object alone (its bytes), to change it in memory.
  bool OpenHeader(const std::string& headerBytes);
  bool IsOpen() const;

  // The first value of the attribute of stream 0; false when the file lacks it.
  bool GetAttributeByName(std::string_view name, WmAttribute& out) const;
  // Replaces every value of the attribute with one text; false when not open or the name
  // is read-only.
  bool SetAttribute(std::string_view name, std::string_view text);
  // Removes every value of the attribute (and its twin of the other kind); false when
  // not open or the name is read-only.
  bool RemoveAttribute(std::string_view name);
  // The sample rate of the audio stream in Hz; 0 when unknown.
  int SampleRate() const;
  // Writes the changes into the file; false when it could not be written.
  bool Flush();
  // After OpenHeader: the header object with the changes, as the file would hold it.
  bool RenderHeader(std::string& out);
  void Close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
