// The DVD reader: scanning a disc, reading a title as a byte stream, and listing the drives.
//
// A disc is a device (/dev/sr0), an image file or a folder holding VIDEO_TS, read with
// libdvdread (dvd_navigator.h). TDvdInfo describes its titles; TDvdStream (dvd_stream.h) reads
// a chapter range of one title, and is handed to the media libraries as a "stream:" address;
// TDvdCombo (dvd_combo.h) lists the places that hold a video DVD. libdvdread's console output
// is captured, never printed. Encrypted discs cannot be read without libdvdcss, which Debian
// does not ship: opening one fails with "Can not open encrypted DVD".
#pragma once

#include <string>
#include <vector>

#include "dvd/dvd_error.h"
#include "dvd/dvd_title.h"

namespace zembra::dvd {

class TDvdInfo {
 public:
  // Loads the media libraries (media::MediaLoadError), then scans the disc at `path`. Throws
  // DvdError: "Can not open DVD" when it cannot be opened or holds no video DVD, "Can not open
  // encrypted DVD" when its titles are scrambled. Titles whose tables cannot be read are left
  // out; the others keep the disc's numbers.
  explicit TDvdInfo(const std::string& path);

  const std::string& Path() const { return path_; }
  // The disc's volume label; empty for a VIDEO_TS folder.
  const std::string& VolumeLabel() const { return volume_label_; }
  int TitleCount() const { return static_cast<int>(titles_.size()); }
  // By index from 0.
  const TDvdTitle& Title(int index) const { return titles_.at(static_cast<std::size_t>(index)); }
  const std::vector<TDvdTitle>& Titles() const { return titles_; }

 private:
  std::string path_;
  std::string volume_label_;
  std::vector<TDvdTitle> titles_;
};

}  // namespace zembra::dvd
