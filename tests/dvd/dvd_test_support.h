// What the tests check the reader against: libdvdread's own tables, read directly, and disc
// copies spoiled on purpose.
#pragma once

#include <dvdread/dvd_reader.h>
#include <dvdread/ifo_read.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "dvd/authored_dvd.h"

namespace zembra::testing {

// The VOB sectors (first, last) of chapters `first` to `last` of a title, as its program chain
// lists its cells. Only for titles without angle blocks, which is what the test disc has.
inline std::vector<std::pair<std::uint32_t, std::uint32_t>> ChapterSectors(const std::string& disc,
                                                                           int title, int first,
                                                                           int last) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> sectors;
  static const dvd_logger_cb quiet = {[](void*, dvd_logger_level_t, const char*, va_list) {}};
  dvd_reader_t* reader = DVDOpen2(nullptr, &quiet, disc.c_str());
  if (reader == nullptr) return sectors;
  ifo_handle_t* manager = ifoOpen(reader, 0);
  const title_info_t& info = manager->tt_srpt->title[title - 1];
  ifo_handle_t* title_set = ifoOpen(reader, info.title_set_nr);
  const ttu_t& unit = title_set->vts_ptt_srpt->title[info.vts_ttn - 1];
  for (int chapter = first; chapter <= last; ++chapter) {
    const ptt_info_t& part = unit.ptt[chapter - 1];
    const pgc_t* chain = title_set->vts_pgcit->pgci_srp[part.pgcn - 1].pgc;
    const int first_cell = chain->program_map[part.pgn - 1];
    const int last_cell =
        part.pgn < chain->nr_of_programs ? chain->program_map[part.pgn] - 1 : chain->nr_of_cells;
    for (int cell = first_cell; cell <= last_cell; ++cell) {
      const std::uint32_t first_sector = chain->cell_playback[cell - 1].first_sector;
      const std::uint32_t last_sector = chain->cell_playback[cell - 1].last_sector;
      sectors.emplace_back(first_sector, last_sector);
    }
  }
  ifoClose(title_set);
  ifoClose(manager);
  DVDClose(reader);
  return sectors;
}

inline std::int64_t BlockCount(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& cells) {
  std::int64_t blocks = 0;
  for (const auto& [first, last] : cells) blocks += last - first + 1;
  return blocks;
}

// The bytes of those cells in title set 1's first VOB file (the test disc has one per set).
inline std::vector<std::uint8_t> CellBytes(
    const std::string& vob_file,
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& cells) {
  const std::vector<std::uint8_t> vob = ReadFileBytes(vob_file);
  std::vector<std::uint8_t> bytes;
  for (const auto& [first, last] : cells) {
    const auto begin = vob.begin() + static_cast<std::ptrdiff_t>(first) * DVD_VIDEO_LB_LEN;
    const auto end = vob.begin() + static_cast<std::ptrdiff_t>(last + 1) * DVD_VIDEO_LB_LEN;
    bytes.insert(bytes.end(), begin, end);
  }
  return bytes;
}

inline std::string CopyFolder(const std::string& from, const std::string& to) {
  std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
  return to;
}

// Marks the payload of every audio and video pack of a VOB file as scrambled, the way the
// sectors of a CSS-protected disc look when they are read without decrypting them.
inline int ScrambleVob(const std::string& vob_file) {
  std::vector<std::uint8_t> vob = ReadFileBytes(vob_file);
  int marked = 0;
  for (std::size_t at = 0; at + DVD_VIDEO_LB_LEN <= vob.size(); at += DVD_VIDEO_LB_LEN) {
    std::uint8_t* block = vob.data() + at;
    if (block[0] != 0 || block[1] != 0 || block[2] != 1 || block[3] != 0xBA) continue;
    std::uint8_t* pes = block + 14 + (block[13] & 7);
    const std::uint8_t id = pes[3];
    if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || id == 0xBB || id == 0xBE || id == 0xBF) {
      continue;
    }
    pes[6] |= 0x10;
    ++marked;
  }
  std::ofstream(vob_file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(vob.data()), static_cast<std::streamsize>(vob.size()));
  return marked;
}

// Collects what is written to standard output and standard error (the descriptors, so C code
// is caught too) while it lives.
class ConsoleCapture {
 public:
  explicit ConsoleCapture(const std::string& file) : file_(file) {
    std::fflush(stdout);
    std::fflush(stderr);
    const int target = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    saved_out_ = ::dup(1);
    saved_err_ = ::dup(2);
    ::dup2(target, 1);
    ::dup2(target, 2);
    ::close(target);
  }
  ~ConsoleCapture() { Stop(); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  std::string Stop() {
    if (saved_out_ >= 0) {
      std::fflush(stdout);
      std::fflush(stderr);
      ::dup2(saved_out_, 1);
      ::dup2(saved_err_, 2);
      ::close(saved_out_);
      ::close(saved_err_);
      saved_out_ = saved_err_ = -1;
    }
    const std::vector<std::uint8_t> bytes = ReadFileBytes(file_);
    return {bytes.begin(), bytes.end()};
  }

 private:
  std::string file_;
  int saved_out_ = -1;
  int saved_err_ = -1;
};

}  // namespace zembra::testing
