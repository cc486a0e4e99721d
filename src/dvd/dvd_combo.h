// The list of places holding a video DVD, as the drive choice of the user interface shows it.
//
// Two sources: the optical drives the kernel lists in /proc/sys/dev/cdrom/info, taken when
// libdvdread finds VIDEO_TS/VIDEO_TS.IFO on the disc in them, and mounted discs (ISO 9660 or
// UDF file systems) with VIDEO_TS/VIDEO_TS.IFO under their mount point. The user may also pick
// an ISO image or a VIDEO_TS folder; that choice is the widget's, not this list's.
#pragma once

#include <string>
#include <vector>

namespace zembra::dvd {

struct TDvdDrive {
  std::string device;  // what TDvdInfo and TDvdStream open: a device or a mount point
  std::string volume_label;
  std::string text;  // "%s [%s]" of device and volume label
};

class TDvdCombo {
 public:
  // Where the lists are read; tests point them elsewhere.
  struct Sources {
    std::string cdrom_info = "/proc/sys/dev/cdrom/info";
    std::string device_folder = "/dev";
    std::string mounts = "/proc/self/mounts";
  };

  TDvdCombo() = default;
  explicit TDvdCombo(Sources sources) : sources_(std::move(sources)) {}

  // Rebuilds the items: drives first (by device name), then mounted discs not already listed.
  // The first item is selected, or none when the list is empty.
  void Rebuild();

  const std::vector<TDvdDrive>& Items() const { return items_; }
  int ItemIndex() const { return item_index_; }
  void SetItemIndex(int index);
  // The selected item's device; empty when none is selected.
  std::string Drive() const;

  // The volume label of the disc at `device` (a device, an image or a folder); empty when it
  // cannot be read or the disc carries none.
  static std::string VolumeLabel(const std::string& device);

 private:
  void AddDrives();
  void AddMountedDiscs();
  void Add(const std::string& device, const std::string& label);

  Sources sources_;
  std::vector<TDvdDrive> items_;
  int item_index_ = -1;
};

}  // namespace zembra::dvd
