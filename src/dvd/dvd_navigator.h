// Navigation over one DVD: titles, chapters and the blocks of a title, read with libdvdread.
//
// A started title is laid out as the list of sector extents its chapters cover at the selected
// angle, in playback order: the cells of each chapter's program; of an angle block only the cell
// of the selected angle; of an interleaved cell only the interleaved units of that angle (found
// by following the navigation packs). Positions are block numbers within that list, so the
// title reads as one contiguous run of 2048-byte blocks, and a seek lands on the exact block.
// The navigation commands of the disc (menus, jumps) are not executed: a title is read as its
// program chains describe it.
//
// This is the operation table the title stream (dvd_stream.h) and the disc scan (dvd_info.h)
// are written against: open, title count, scan, start at a chapter, angle count and selection,
// current chapter, read one block, seek to a block, current and end position.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dvd/dvd_reader_handle.h"
#include "dvd/dvd_title.h"

namespace zembra::dvd {

class DvdNavigator {
 public:
  // Opens a device, an image or a folder holding VIDEO_TS. Throws DvdError("Can not open DVD")
  // when libdvdread cannot open it or finds no video manager (VIDEO_TS.IFO) on it.
  explicit DvdNavigator(const std::string& path);
  ~DvdNavigator();
  DvdNavigator(const DvdNavigator&) = delete;
  DvdNavigator& operator=(const DvdNavigator&) = delete;

  const std::string& VolumeLabel() const { return volume_label_; }
  const std::vector<std::string>& LibraryLog() const { return log_.lines(); }

  int TitleCount() const;
  // Describes title `title` (from 1); empty when its tables cannot be read.
  std::optional<TDvdTitle> ScanTitle(int title);

  // Positions the navigator at the first block of `chapter` (from 1) of `title`.
  bool Start(int title, int chapter);
  // The angle count of the started title; 1 when none is started.
  int AngleCount() const;
  void Stop();
  // Selects the angle (clamped to the title's); a started title restarts at its current
  // chapter, laid out for the new angle.
  void SetAngle(int angle);
  // The chapter of the next block to read; -1 when stopped or at the end of the title.
  int Chapter() const;
  // Reads the next block into `block` (kBlockSize bytes): its length, or -1 when there is no
  // data here (stopped, the end of the title, a read error); the caller then asks Chapter().
  int Read(std::uint8_t* block, int* length);
  // The next Read delivers block `block` of the started title; `block` may be the end.
  bool Seek(std::int64_t block);
  // The block last read, and the title's length in blocks. False before a block was read.
  bool GetPosition(std::uint32_t* current, std::uint32_t* end) const;

  // Whether one of the next `blocks` blocks is scrambled (IsScrambledBlock); the position
  // does not move.
  bool LooksScrambled(int blocks);

 private:
  struct Extent {
    std::uint32_t first_sector = 0;  // within the title set's VOB files
    std::uint32_t blocks = 0;
    int chapter = 0;
    std::int64_t offset = 0;  // block number of its first block within the title
  };
  struct Layout {
    int title = 0;
    int requested_angle = 1;  // as asked; `angle` is it clamped to the title's
    int angle = 1;
    int angle_count = 1;
    std::vector<Extent> extents;
    std::vector<std::int64_t> chapter_starts;  // one per chapter, then the title's length
    dvd_file_t* vobs = nullptr;
  };
  struct ChapterCells;

  ifo_handle_t* TitleSet(int title_set);
  dvd_file_t* TitleVobs(int title_set);
  std::optional<ChapterCells> ResolveChapter(const title_info_t& info, ifo_handle_t& title_set,
                                             int chapter) const;
  bool BuildLayout(int title, int angle);
  void AddCell(Layout& layout, const cell_playback_t& cell, int chapter);
  void AddInterleavedCell(Layout& layout, const cell_playback_t& cell, int chapter);
  const Extent* ExtentAt(std::int64_t block) const;
  bool ReadBlocksAt(std::int64_t block, int count, std::uint8_t* data, int* read);

  // Declared first: libdvdread logs into it until the reader is closed.
  DvdLibraryLog log_;
  DvdReaderPtr reader_;
  IfoPtr video_manager_;
  std::map<int, IfoPtr> title_sets_;
  std::map<int, DvdFilePtr> title_vobs_;
  std::string volume_label_;

  int angle_ = 1;
  std::optional<Layout> layout_;
  bool started_ = false;
  bool stopped_ = true;
  std::int64_t next_block_ = 0;
  std::int64_t last_read_block_ = -1;

  // Blocks read ahead from one extent.
  static constexpr int kReadAhead = 64;
  std::vector<std::uint8_t> cache_;
  std::int64_t cache_first_block_ = 0;
  int cache_blocks_ = 0;
};

}  // namespace zembra::dvd
