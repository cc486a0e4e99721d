#include "dvd/dvd_combo.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "dvd/dvd_reader_handle.h"

namespace zembra::dvd {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Fields(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> fields;
  for (std::string field; stream >> field;) fields.push_back(field);
  return fields;
}

// The values of one "name:<tab>value<tab>value" line of the kernel's CD-ROM table.
std::vector<std::string> CdromRow(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& line : lines) {
    if (line.rfind(name + ":", 0) == 0) return Fields(line.substr(name.size() + 1));
  }
  return {};
}

// Mount tables write blanks and the like as three octal digits after a backslash.
std::string Unescape(const std::string& text) {
  const auto octal = [](char c) { return c >= '0' && c <= '7'; };
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && octal(text[i + 1]) && octal(text[i + 2]) &&
        octal(text[i + 3])) {
      result += static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) |
                                  (text[i + 3] - '0'));
      i += 3;
    } else {
      result += text[i];
    }
  }
  return result;
}

bool HasVideoTsInfo(const fs::path& folder) {
  std::error_code error;
  for (const char* name : {"VIDEO_TS/VIDEO_TS.IFO", "video_ts/video_ts.ifo"}) {
    if (fs::is_regular_file(folder / name, error)) return true;
  }
  return false;
}

// A video DVD is in the drive when libdvdread can open the video manager's information file.
bool HoldsVideoDvd(const std::string& device, std::string& label) {
  DvdLibraryLog log;
  DvdReaderPtr reader = OpenDvdReader(device, log);
  if (!reader) return false;
  dvd_file_t* info = DVDOpenFile(reader.get(), 0, DVD_READ_INFO_FILE);
  if (info == nullptr) return false;
  DVDCloseFile(info);
  label = ReadVolumeLabel(reader.get());
  return true;
}

}  // namespace

void TDvdCombo::Rebuild() {
  items_.clear();
  AddDrives();
  AddMountedDiscs();
  item_index_ = items_.empty() ? -1 : 0;
}

void TDvdCombo::SetItemIndex(int index) {
  item_index_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
}

std::string TDvdCombo::Drive() const {
  return item_index_ >= 0 ? items_[static_cast<std::size_t>(item_index_)].device : std::string();
}

std::string TDvdCombo::VolumeLabel(const std::string& device) {
  DvdLibraryLog log;
  DvdReaderPtr reader = OpenDvdReader(device, log);
  return reader ? ReadVolumeLabel(reader.get()) : std::string();
}

void TDvdCombo::Add(const std::string& device, const std::string& label) {
  items_.push_back({device, label, device + " [" + label + "]"});
}

void TDvdCombo::AddDrives() {
  std::ifstream file(sources_.cdrom_info);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  std::vector<std::string> names = CdromRow(lines, "drive name");
  const std::vector<std::string> reads_dvd = CdromRow(lines, "Can read DVD");

  std::vector<std::string> devices;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i < reads_dvd.size() && reads_dvd[i] == "0") continue;
    devices.push_back((fs::path(sources_.device_folder) / names[i]).string());
  }
  std::sort(devices.begin(), devices.end());
  for (const std::string& device : devices) {
    std::string label;
    if (HoldsVideoDvd(device, label)) Add(device, label);
  }
}

void TDvdCombo::AddMountedDiscs() {
  std::ifstream file(sources_.mounts);
  for (std::string line; std::getline(file, line);) {
    const std::vector<std::string> fields = Fields(line);
    if (fields.size() < 3) continue;
    const std::string& type = fields[2];
    // Only disc file systems: looking into every mount could wait on a dead network share.
    if (type != "iso9660" && type != "udf") continue;
    const std::string device = Unescape(fields[0]);
    const std::string mount_point = Unescape(fields[1]);
    const bool listed = std::any_of(items_.begin(), items_.end(), [&](const TDvdDrive& item) {
      std::error_code error;
      return item.device == device || item.device == mount_point ||
             fs::equivalent(item.device, device, error);
    });
    if (listed || !HasVideoTsInfo(mount_point)) continue;
    std::string label = VolumeLabel(device);
    if (label.empty()) label = fs::path(mount_point).filename().string();
    Add(mount_point, label);
  }
}

}  // namespace zembra::dvd
