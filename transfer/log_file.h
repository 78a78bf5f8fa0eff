// The plain-text logs of transfers, path expansion, tag write-back and synchronisation,
// in the work folder's "reports" folder. Each run recreates its log; the first line is
// the opening time, every line ends in CR LF and is handed to the system as soon as it is
// written, so a log is complete up to the last step even when the process dies.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace transfer {

class TempFile {
 public:
  // Keeps the path (Windows form); the file is not opened.
  explicit TempFile(std::string path);
  virtual ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Makes the file anew (platform::CreatePrivateFile: the old one removed, created
  // exclusively in a private folder, never through a link) and writes the local time as
  // "%I:%M:%S %p  %Y-%m-%d"; 1, or 0 when it cannot be created (the log then stays closed
  // and writes nothing).
  virtual int Open();
  // Writes the text as one line when the file is open; does nothing when it is closed.
  virtual void WriteString(std::string_view text);
  // Writes the texts as lines, as WriteString would one by one, but handed to the system
  // in blocks: for a list written whole, not for a log's steps.
  void WriteLines(const std::vector<std::string>& texts);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& GetPath() const { return path_; }

 private:
  void WriteAll(std::string_view bytes);  // a full disk loses the bytes, not the run

  std::string path_;
  int fd_ = -1;
};

// GetWorkFolder("reports") followed by the file name.
std::string GetReportPath(std::string_view fileName);
// The fast synchronisation's analysis log, "_synclog.txt".
std::string GetSyncLogPath();
// The contact synchronisation's log, "_outlsynclog.txt".
std::string GetOutlookSyncLogPath();

class ExpansionLogFile : public TempFile {
 public:
  ExpansionLogFile();  // "_exlog.txt"
};
class ExpansionListFile : public TempFile {
 public:
  ExpansionListFile();  // "_explist.txt": the final file list
};
class TransferLogFile : public TempFile {
 public:
  TransferLogFile();  // "_txlog.txt"
};
class TagWriteBackLogFile : public TempFile {
 public:
  TagWriteBackLogFile();  // "_twblog.txt"
};
class OutlookSyncLogFile : public TempFile {
 public:
  OutlookSyncLogFile();  // "_outlsynclog.txt"
};

// What the log viewer's buttons do: opens the log of that name with the desktop, or says
// "Could not find log file." when it does not exist.
void OpenLogFile(std::string_view fileName);

}  // namespace transfer
