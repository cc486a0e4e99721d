// Owning handles over libdvdread and the log that replaces its console output.
//
// Every disc is opened with a logger, so libdvdread's messages (among them the banner about
// missing CSS support) never reach standard output or standard error; they are kept in a
// DvdLibraryLog for whoever wants to explain a failure.
#pragma once

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zembra::dvd {

inline constexpr int kBlockSize = DVD_VIDEO_LB_LEN;

// The last messages libdvdread logged for one open disc. Must outlive the reader it is given to.
class DvdLibraryLog {
 public:
  static constexpr std::size_t kKeptLines = 64;
  void Add(std::string line);
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

struct DvdReaderDeleter {
  void operator()(dvd_reader_t* reader) const { DVDClose(reader); }
};
struct IfoDeleter {
  void operator()(ifo_handle_t* ifo) const { ifoClose(ifo); }
};
struct DvdFileDeleter {
  void operator()(dvd_file_t* file) const { DVDCloseFile(file); }
};
using DvdReaderPtr = std::unique_ptr<dvd_reader_t, DvdReaderDeleter>;
using IfoPtr = std::unique_ptr<ifo_handle_t, IfoDeleter>;
using DvdFilePtr = std::unique_ptr<dvd_file_t, DvdFileDeleter>;

// A device, an image file or a folder holding VIDEO_TS; null when libdvdread cannot open it.
DvdReaderPtr OpenDvdReader(const std::string& path, DvdLibraryLog& log);

// The disc's volume label (the UDF volume identifier, else the ISO 9660 one), trailing blanks
// removed; empty when the disc carries none (a VIDEO_TS folder).
std::string ReadVolumeLabel(dvd_reader_t* reader);

// True when `block` is an MPEG-2 pack whose first packet is an elementary stream marked as
// scrambled (the PES scrambling-control bits), which is how CSS-encrypted sectors look when
// they are read without decryption. Navigation, padding and system-header packs are never
// scrambled.
bool IsScrambledBlock(const std::uint8_t* block);

}  // namespace zembra::dvd
