#include "dvd/dvd_navigator.h"

#include <dvdread/nav_read.h>
#include <dvdread/nav_types.h>

#include <algorithm>
#include <cstring>

#include "dvd/dvd_error.h"

namespace zembra::dvd {
namespace {

// An interleaved cell is walked unit by unit; this bounds the walk on a damaged disc.
constexpr int kMaxInterleavedUnits = 100000;

int FromBcd(std::uint8_t value) { return (value >> 4) * 10 + (value & 0x0F); }

std::int64_t Microseconds(const dvd_time_t& time) {
  const std::int64_t seconds =
      (FromBcd(time.hour) * 60 + FromBcd(time.minute)) * 60 + FromBcd(time.second);
  // The two top bits of the frame byte give the rate: 1 for 25 fps, 3 for 29.97 fps.
  const int frames = FromBcd(time.frame_u & 0x3F);
  double rate = 0.0;
  switch ((time.frame_u & 0xC0) >> 6) {
    case 1:
      rate = 25.0;
      break;
    case 3:
      rate = 30000.0 / 1001.0;
      break;
    default:
      break;
  }
  const auto frame_part = rate > 0.0 ? static_cast<std::int64_t>(frames * 1000000.0 / rate) : 0;
  return seconds * 1000000 + frame_part;
}

std::string LanguageCode(std::uint16_t code) {
  const char first = static_cast<char>(code >> 8);
  const char second = static_cast<char>(code & 0xFF);
  if (first < 'a' || first > 'z' || second < 'a' || second > 'z') return {};
  return std::string{first, second};
}

// The codec name and the first stream id of an audio format of the title set's attributes.
std::pair<const char*, int> AudioCodec(int format) {
  switch (format) {
    case 0:
      return {"AC3", 0x80};
    case 2:
      return {"MPEG1", 0xC0};
    case 3:
      return {"MPEG2", 0xC0};
    case 4:
      return {"LPCM", 0xA0};
    case 6:
      return {"DTS", 0x88};
    default:
      return {"Unknown", 0};
  }
}

bool IsLaterAngleCell(const cell_playback_t& cell) {
  return cell.block_type == BLOCK_TYPE_ANGLE_BLOCK && cell.block_mode != BLOCK_MODE_FIRST_CELL;
}

bool IsNavigationPack(const std::uint8_t* block) {
  // A pack header, then the PCI and DSI packets as private stream 2 at their fixed places.
  constexpr std::uint8_t kPack[] = {0, 0, 1, 0xBA};
  constexpr std::uint8_t kPrivate2[] = {0, 0, 1, 0xBF};
  return std::memcmp(block, kPack, 4) == 0 && std::memcmp(block + 0x26, kPrivate2, 4) == 0 &&
         std::memcmp(block + 0x400, kPrivate2, 4) == 0;
}

}  // namespace

struct DvdNavigator::ChapterCells {
  const pgc_t* pgc = nullptr;
  int first_cell = 0;  // from 1
  int last_cell = 0;   // inclusive
};

DvdNavigator::DvdNavigator(const std::string& path) : cache_(kReadAhead * kBlockSize) {
  reader_ = OpenDvdReader(path, log_);
  if (!reader_) throw DvdError(kCanNotOpenDvd, log_.lines());
  video_manager_.reset(ifoOpen(reader_.get(), 0));
  if (!video_manager_ || video_manager_->tt_srpt == nullptr) {
    throw DvdError(kCanNotOpenDvd, log_.lines());
  }
  volume_label_ = ReadVolumeLabel(reader_.get());
}

DvdNavigator::~DvdNavigator() {
  // Files and tables before the reader they were read from.
  title_vobs_.clear();
  title_sets_.clear();
  video_manager_.reset();
}

int DvdNavigator::TitleCount() const { return video_manager_->tt_srpt->nr_of_srpts; }

ifo_handle_t* DvdNavigator::TitleSet(int title_set) {
  auto found = title_sets_.find(title_set);
  if (found == title_sets_.end()) {
    found = title_sets_.emplace(title_set, IfoPtr(ifoOpen(reader_.get(), title_set))).first;
  }
  return found->second.get();
}

dvd_file_t* DvdNavigator::TitleVobs(int title_set) {
  auto found = title_vobs_.find(title_set);
  if (found == title_vobs_.end()) {
    found = title_vobs_
                .emplace(title_set,
                         DvdFilePtr(DVDOpenFile(reader_.get(), title_set, DVD_READ_TITLE_VOBS)))
                .first;
  }
  return found->second.get();
}

std::optional<DvdNavigator::ChapterCells> DvdNavigator::ResolveChapter(const title_info_t& info,
                                                                       ifo_handle_t& title_set,
                                                                       int chapter) const {
  const vts_ptt_srpt_t* parts = title_set.vts_ptt_srpt;
  const pgcit_t* chains = title_set.vts_pgcit;
  if (parts == nullptr || chains == nullptr || info.vts_ttn < 1 ||
      info.vts_ttn > parts->nr_of_srpts) {
    return std::nullopt;
  }
  const ttu_t& unit = parts->title[info.vts_ttn - 1];
  if (chapter < 1 || chapter > unit.nr_of_ptts || unit.ptt == nullptr) return std::nullopt;
  const ptt_info_t& part = unit.ptt[chapter - 1];
  if (part.pgcn < 1 || part.pgcn > chains->nr_of_pgci_srp) return std::nullopt;
  const pgc_t* chain = chains->pgci_srp[part.pgcn - 1].pgc;
  if (chain == nullptr || chain->program_map == nullptr || chain->cell_playback == nullptr ||
      chain->nr_of_cells == 0 || part.pgn < 1 || part.pgn > chain->nr_of_programs) {
    return std::nullopt;
  }
  ChapterCells cells;
  cells.pgc = chain;
  cells.first_cell = chain->program_map[part.pgn - 1];
  cells.last_cell =
      part.pgn < chain->nr_of_programs ? chain->program_map[part.pgn] - 1 : chain->nr_of_cells;
  if (cells.first_cell < 1 || cells.last_cell < cells.first_cell ||
      cells.last_cell > chain->nr_of_cells) {
    return std::nullopt;
  }
  return cells;
}

std::optional<TDvdTitle> DvdNavigator::ScanTitle(int title) {
  if (title < 1 || title > TitleCount()) return std::nullopt;
  const title_info_t& info = video_manager_->tt_srpt->title[title - 1];
  ifo_handle_t* title_set = TitleSet(info.title_set_nr);
  if (title_set == nullptr || title_set->vtsi_mat == nullptr ||
      title_set->vts_ptt_srpt == nullptr || info.vts_ttn < 1 ||
      info.vts_ttn > title_set->vts_ptt_srpt->nr_of_srpts) {
    return std::nullopt;
  }

  TDvdTitle result;
  result.number = title;
  result.angle_count = std::max<int>(1, info.nr_of_angles);
  const int chapters =
      std::min<int>(info.nr_of_ptts, title_set->vts_ptt_srpt->title[info.vts_ttn - 1].nr_of_ptts);
  if (chapters < 1) return std::nullopt;

  const pgc_t* first_chain = nullptr;
  for (int chapter = 1; chapter <= chapters; ++chapter) {
    const std::optional<ChapterCells> cells = ResolveChapter(info, *title_set, chapter);
    if (!cells) return std::nullopt;
    if (first_chain == nullptr) first_chain = cells->pgc;
    TDvdChapter entry;
    entry.number = chapter;
    entry.start = result.duration;
    for (int cell = cells->first_cell; cell <= cells->last_cell; ++cell) {
      const cell_playback_t& playback = cells->pgc->cell_playback[cell - 1];
      if (!IsLaterAngleCell(playback)) entry.duration += Microseconds(playback.playback_time);
    }
    result.duration += entry.duration;
    result.chapters.push_back(entry);
  }
  const std::int64_t total_seconds = result.duration / 1000000;
  result.hours = static_cast<int>(total_seconds / 3600);
  result.minutes = static_cast<int>(total_seconds % 3600 / 60);
  result.seconds = static_cast<int>(total_seconds % 60);

  // Streams the title's program chain marks as present, with the title set's attributes.
  const vtsi_mat_t& attributes = *title_set->vtsi_mat;
  const int audio_streams = std::min<int>(attributes.nr_of_vts_audio_streams, 8);
  for (int i = 0; i < audio_streams; ++i) {
    const std::uint16_t control = first_chain->audio_control[i];
    if ((control & 0x8000) == 0) continue;
    const audio_attr_t& audio = attributes.vts_audio_attr[i];
    const auto [codec, first_id] = AudioCodec(audio.audio_format);
    TDvdAudio entry;
    entry.language = audio.lang_type == 1 ? LanguageCode(audio.lang_code) : std::string();
    entry.codec = codec;
    entry.channels = audio.channels + 1;
    entry.stream_id = first_id != 0 ? first_id + ((control >> 8) & 0x07) : 0;
    result.audios.push_back(entry);
  }
  const int subtitle_streams = std::min<int>(attributes.nr_of_vts_subp_streams, 32);
  for (int i = 0; i < subtitle_streams; ++i) {
    const std::uint32_t control = first_chain->subp_control[i];
    if ((control & 0x80000000U) == 0) continue;
    const subp_attr_t& subtitle = attributes.vts_subp_attr[i];
    TDvdSubtitle entry;
    entry.language = subtitle.type == 1 ? LanguageCode(subtitle.lang_code) : std::string();
    entry.stream_id = 0x20 + static_cast<int>((control >> 24) & 0x1F);
    result.subtitles.push_back(entry);
  }
  return result;
}

bool DvdNavigator::BuildLayout(int title, int angle) {
  if (title < 1 || title > TitleCount()) return false;
  const title_info_t& info = video_manager_->tt_srpt->title[title - 1];
  ifo_handle_t* title_set = TitleSet(info.title_set_nr);
  if (title_set == nullptr || title_set->vts_ptt_srpt == nullptr || info.vts_ttn < 1 ||
      info.vts_ttn > title_set->vts_ptt_srpt->nr_of_srpts) {
    return false;
  }
  Layout layout;
  layout.title = title;
  layout.requested_angle = angle;
  layout.angle_count = std::max<int>(1, info.nr_of_angles);
  layout.angle = std::clamp(angle, 1, layout.angle_count);
  layout.vobs = TitleVobs(info.title_set_nr);
  if (layout.vobs == nullptr) return false;

  const int chapters =
      std::min<int>(info.nr_of_ptts, title_set->vts_ptt_srpt->title[info.vts_ttn - 1].nr_of_ptts);
  std::int64_t length = 0;
  for (int chapter = 1; chapter <= chapters; ++chapter) {
    const std::optional<ChapterCells> cells = ResolveChapter(info, *title_set, chapter);
    if (!cells) return false;
    layout.chapter_starts.push_back(length);
    int cell = cells->first_cell;
    while (cell <= cells->last_cell) {
      const cell_playback_t& playback = cells->pgc->cell_playback[cell - 1];
      if (playback.block_type == BLOCK_TYPE_ANGLE_BLOCK) {
        // One cell per angle, from the block's first to its last.
        int block_end = cell;
        while (block_end < cells->pgc->nr_of_cells &&
               cells->pgc->cell_playback[block_end - 1].block_mode != BLOCK_MODE_LAST_CELL) {
          ++block_end;
        }
        const int chosen = cell + std::min(layout.angle, block_end - cell + 1) - 1;
        AddCell(layout, cells->pgc->cell_playback[chosen - 1], chapter);
        cell = block_end + 1;
      } else {
        AddCell(layout, playback, chapter);
        ++cell;
      }
      if (!layout.extents.empty()) {
        length = layout.extents.back().offset + layout.extents.back().blocks;
      }
    }
  }
  layout.chapter_starts.push_back(length);
  layout_ = std::move(layout);
  cache_blocks_ = 0;
  return true;
}

void DvdNavigator::AddCell(Layout& layout, const cell_playback_t& cell, int chapter) {
  if (cell.last_sector < cell.first_sector) return;
  if (cell.interleaved != 0) {
    AddInterleavedCell(layout, cell, chapter);
    return;
  }
  const std::int64_t offset =
      layout.extents.empty() ? 0 : layout.extents.back().offset + layout.extents.back().blocks;
  layout.extents.push_back(
      {cell.first_sector, cell.last_sector - cell.first_sector + 1, chapter, offset});
}

// The units of one angle lie between those of the others; each navigation pack says how long
// its unit is and where the selected angle's next unit starts.
void DvdNavigator::AddInterleavedCell(Layout& layout, const cell_playback_t& cell, int chapter) {
  std::array<std::uint8_t, kBlockSize> block{};
  std::uint32_t sector = cell.first_sector;
  for (int unit = 0; unit < kMaxInterleavedUnits; ++unit) {
    if (sector < cell.first_sector || sector > cell.last_sector) break;
    const std::int64_t offset =
        layout.extents.empty() ? 0 : layout.extents.back().offset + layout.extents.back().blocks;
    if (DVDReadBlocks(layout.vobs, static_cast<int>(sector), 1, block.data()) != 1 ||
        !IsNavigationPack(block.data())) {
      // Not what a unit starts with: take the rest of the cell as it lies.
      layout.extents.push_back({sector, cell.last_sector - sector + 1, chapter, offset});
      break;
    }
    dsi_t dsi;
    navRead_DSI(&dsi, block.data() + DSI_START_BYTE);
    std::uint32_t length = dsi.dsi_gi.vobu_ea;
    std::uint32_t next = dsi.vobu_sri.next_vobu;
    bool backwards = false;
    const std::uint32_t angle_next =
        layout.angle <= 9 ? dsi.sml_agli.data[layout.angle - 1].address : 0U;
    if (angle_next != 0) {
      length = dsi.sml_pbi.ilvu_ea;
      next = angle_next;
      backwards = (angle_next & 0x80000000U) != 0 && angle_next != 0x7FFFFFFFU;
    }
    const std::uint32_t blocks = std::min(length + 1, cell.last_sector - sector + 1);
    layout.extents.push_back({sector, blocks, chapter, offset});
    const std::uint32_t step = next & 0x3FFFFFFFU;
    if (step == SRI_END_OF_CELL || step == 0) break;
    if (backwards && step > sector) break;
    sector = backwards ? sector - step : sector + step;
  }
}

bool DvdNavigator::Start(int title, int chapter) {
  if (!layout_ || layout_->title != title || layout_->requested_angle != angle_) {
    if (!BuildLayout(title, angle_)) return false;
  }
  const int chapters = static_cast<int>(layout_->chapter_starts.size()) - 1;
  if (chapter < 1 || chapter > chapters) return false;
  next_block_ = layout_->chapter_starts[chapter - 1];
  last_read_block_ = -1;
  started_ = true;
  stopped_ = false;
  return true;
}

int DvdNavigator::AngleCount() const { return layout_ ? layout_->angle_count : 1; }

void DvdNavigator::Stop() { stopped_ = true; }

void DvdNavigator::SetAngle(int angle) {
  if (layout_) angle = std::clamp(angle, 1, layout_->angle_count);
  if (angle < 1 || angle == angle_) return;
  const int chapter = Chapter();
  angle_ = angle;
  if (!layout_) return;
  const int title = layout_->title;
  const bool was_running = started_ && !stopped_;
  if (!BuildLayout(title, angle_)) {
    layout_.reset();
    started_ = false;
    stopped_ = true;
    return;
  }
  if (was_running) {
    if (chapter > 0) {
      Start(title, chapter);
    } else {
      next_block_ = layout_->chapter_starts.back();
    }
  }
}

const DvdNavigator::Extent* DvdNavigator::ExtentAt(std::int64_t block) const {
  if (!layout_ || block < 0) return nullptr;
  const std::vector<Extent>& extents = layout_->extents;
  auto after = std::upper_bound(
      extents.begin(), extents.end(), block,
      [](std::int64_t value, const Extent& extent) { return value < extent.offset; });
  if (after == extents.begin()) return nullptr;
  const Extent& extent = *std::prev(after);
  return block < extent.offset + extent.blocks ? &extent : nullptr;
}

int DvdNavigator::Chapter() const {
  if (!started_ || stopped_) return -1;
  const Extent* extent = ExtentAt(next_block_);
  return extent != nullptr ? extent->chapter : -1;
}

bool DvdNavigator::ReadBlocksAt(std::int64_t block, int count, std::uint8_t* data, int* read) {
  const Extent* extent = ExtentAt(block);
  if (extent == nullptr) return false;
  const auto within = static_cast<std::uint32_t>(block - extent->offset);
  const int blocks = static_cast<int>(std::min<std::int64_t>(count, extent->blocks - within));
  const ssize_t result =
      DVDReadBlocks(layout_->vobs, static_cast<int>(extent->first_sector + within),
                    static_cast<std::size_t>(blocks), data);
  if (result <= 0) return false;
  *read = static_cast<int>(result);
  return true;
}

int DvdNavigator::Read(std::uint8_t* block, int* length) {
  if (!started_ || stopped_ || ExtentAt(next_block_) == nullptr) return -1;
  if (next_block_ < cache_first_block_ || next_block_ >= cache_first_block_ + cache_blocks_) {
    cache_blocks_ = 0;
    int read = 0;
    if (!ReadBlocksAt(next_block_, kReadAhead, cache_.data(), &read)) {
      log_.Add("reading block " + std::to_string(next_block_) + " of title " +
               std::to_string(layout_->title) + " failed");
      stopped_ = true;
      return -1;
    }
    cache_first_block_ = next_block_;
    cache_blocks_ = read;
  }
  std::memcpy(block, cache_.data() + (next_block_ - cache_first_block_) * kBlockSize, kBlockSize);
  last_read_block_ = next_block_;
  ++next_block_;
  *length = kBlockSize;
  return kBlockSize;
}

bool DvdNavigator::Seek(std::int64_t block) {
  if (!started_ || !layout_ || block < 0 || block > layout_->chapter_starts.back()) return false;
  next_block_ = block;
  last_read_block_ = -1;
  stopped_ = false;
  return true;
}

bool DvdNavigator::GetPosition(std::uint32_t* current, std::uint32_t* end) const {
  if (!started_ || !layout_ || last_read_block_ < 0) return false;
  *current = static_cast<std::uint32_t>(last_read_block_);
  *end = static_cast<std::uint32_t>(layout_->chapter_starts.back());
  return true;
}

bool DvdNavigator::LooksScrambled(int blocks) {
  std::vector<std::uint8_t> data(static_cast<std::size_t>(kReadAhead) * kBlockSize);
  std::int64_t block = next_block_;
  while (blocks > 0 && started_ && ExtentAt(block) != nullptr) {
    int read = 0;
    if (!ReadBlocksAt(block, std::min(blocks, kReadAhead), data.data(), &read)) return false;
    for (int i = 0; i < read; ++i) {
      if (IsScrambledBlock(data.data() + static_cast<std::ptrdiff_t>(i) * kBlockSize)) return true;
    }
    block += read;
    blocks -= read;
  }
  return false;
}

}  // namespace zembra::dvd
