#include "dvd/dvd_stream.h"

#include <algorithm>
#include <array>

#include "dvd/dvd_navigator.h"

namespace zembra::dvd {
namespace {

constexpr int kScrambleCheckBlocks = 32;

class ScopedFlag {
 public:
  explicit ScopedFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~ScopedFlag() { flag_ = false; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  bool& flag_;
};

}  // namespace

TDvdStream::TDvdStream(const std::string& path, int title, int first_chapter, int last_chapter,
                       int angle)
    : path_(path), buffer_(media::TCircularBuffer::kDefaultSize) {
  navigator_ = std::make_unique<DvdNavigator>(path);
  std::optional<TDvdTitle> scanned = navigator_->ScanTitle(title);
  if (!scanned) throw DvdError(kCanNotOpenTitle, navigator_->LibraryLog());
  title_ = std::move(*scanned);
  if (!navigator_->Start(title, 1)) throw DvdError(kCanNotStartChapter, navigator_->LibraryLog());
  title_.angle_count = navigator_->AngleCount();
  navigator_->Stop();

  const int chapters = title_.ChapterCount();
  if (first_chapter < 1 || last_chapter > chapters || first_chapter > last_chapter) {
    throw DvdError(kCanNotStartChapter);
  }
  first_chapter_ = title_.chapters[static_cast<std::size_t>(first_chapter - 1)].number;
  last_chapter_ = title_.chapters[static_cast<std::size_t>(last_chapter - 1)].number;
  // The angle decides which blocks belong to the range, so it is chosen before measuring.
  angle_ = std::clamp(angle, 1, title_.angle_count);
  navigator_->SetAngle(angle_);

  std::uint32_t current = 0;
  std::uint32_t end = 0;
  if (last_chapter_ < chapters) {
    // The range ends where the next chapter begins: for the moment it counts as inside.
    ++last_chapter_;
    if (!navigator_->Start(title, last_chapter_)) {
      throw DvdError(kCanNotStartChapter, navigator_->LibraryLog());
    }
    ReadOneBlock();
    if (!navigator_->GetPosition(&current, &end)) {
      throw DvdError(kCanNotStartChapter, navigator_->LibraryLog());
    }
    end_block_ = current;
    navigator_->Stop();
    --last_chapter_;
  }

  if (!navigator_->Start(title, first_chapter_)) {
    throw DvdError(kCanNotStartChapter, navigator_->LibraryLog());
  }
  current_chapter_ = first_chapter_;
  ReadOneBlock();
  if (!navigator_->GetPosition(&current, &end)) {
    throw DvdError(kCanNotStartChapter, navigator_->LibraryLog());
  }
  start_block_ = current;
  if (last_chapter_ == chapters) end_block_ = end;
  size_ = std::max<std::int64_t>(0, end_block_ - start_block_) * kBlockSize;

  Restart();
  if (navigator_->LooksScrambled(kScrambleCheckBlocks)) {
    throw DvdError(kEncryptedDvd, navigator_->LibraryLog());
  }
}

TDvdStream::~TDvdStream() {
  if (navigator_) navigator_->Stop();
}

void TDvdStream::ReadOneBlock() {
  std::array<std::uint8_t, kBlockSize> block{};
  Read(block.data(), kBlockSize);
  buffer_.Clear();
}

// The start of the range, with nothing buffered.
void TDvdStream::Restart() {
  buffer_.Clear();
  navigator_->Start(title_.number, first_chapter_);
  current_chapter_ = first_chapter_;
}

int TDvdStream::Read(void* buffer, int count) {
  if (count <= 0) return 0;
  // A request the ring could not hold whole is served in part.
  count = std::min(count, buffer_.Size() - kBlockSize);
  if (buffer_.Count() >= count) {
    buffer_.Read(buffer, count);
    return count;
  }
  std::array<std::uint8_t, kBlockSize> block{};
  for (;;) {
    const int chapter = navigator_->Chapter();
    if (seeking_) current_chapter_ = chapter;
    // The navigator going back (a title that loops) ends the range as well.
    if (chapter < current_chapter_) break;
    current_chapter_ = chapter;
    if (chapter < 0 || chapter < first_chapter_ || chapter > last_chapter_) break;

    int length = 0;
    int result = 0;
    do {
      result = navigator_->Read(block.data(), &length);
    } while (result == 0);
    if (result < 0) continue;
    // A block the ring cannot take is dropped; reads are far smaller than the ring.
    buffer_.Write(block.data(), length);
    if (buffer_.Count() >= count) {
      buffer_.Read(buffer, count);
      return count;
    }
  }
  const int left = buffer_.Count();
  buffer_.Read(buffer, left);
  return left;
}

std::int64_t TDvdStream::Seek(std::int64_t offset, media::SeekOrigin origin) {
  if (origin != media::SeekOrigin::kBeginning) return -1;
  const ScopedFlag seeking(seeking_);
  buffer_.Clear();
  offset = std::clamp<std::int64_t>(offset, 0, Size());

  const std::int64_t block = offset / kBlockSize;
  if (block == 0) {
    if (!navigator_->Start(title_.number, first_chapter_)) return -1;
  } else if (!navigator_->Seek(start_block_ + block)) {
    return -1;
  }
  // The chapter is the navigator's from here, also when no byte is read below.
  current_chapter_ = navigator_->Chapter();

  const auto skip = static_cast<int>(offset % kBlockSize);
  if (skip != 0) {
    std::array<std::uint8_t, kBlockSize> discarded{};
    Read(discarded.data(), skip);
  }
  return offset;
}

}  // namespace zembra::dvd
