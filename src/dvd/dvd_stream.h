// A chapter range of one DVD title at one angle, read as a seekable byte stream.
//
// The stream covers the blocks from the first block of the first chapter up to the first block
// of the chapter after the last one (or the end of the title), collected in a ring buffer until
// a read can be served whole. Only seeks from the beginning are supported; a seek lands on the
// exact byte. The stream is handed to the media libraries by registering it
// (media::StreamRegistration) and opening its "stream:" address; it is read by one thread at a
// time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dvd/dvd_error.h"
#include "dvd/dvd_title.h"
#include "media/byte_stream.h"
#include "media/circular_buffer.h"

namespace zembra::dvd {

class DvdNavigator;

class TDvdStream : public media::ByteStream {
 public:
  // Opens title `title` (from 1) of the disc at `path`, chapters `first_chapter` to
  // `last_chapter` (from 1) at angle `angle` (from 1, clamped to the title's angles), and leaves
  // it at the start of the range. Throws DvdError: "Can not open DVD", "Can not open title",
  // "Can not start chapter" (also for a range outside the title's chapters) or "Can not open
  // encrypted DVD".
  TDvdStream(const std::string& path, int title, int first_chapter, int last_chapter, int angle);
  ~TDvdStream() override;

  // The bytes delivered: `count`, fewer only at the end of the range (0 there).
  int Read(void* buffer, int count) override;
  // From the beginning only (-1 for the other origins, the stream untouched); the offset is
  // clamped to [0, Size()]. Returns the new position.
  std::int64_t Seek(std::int64_t offset, media::SeekOrigin origin) override;
  std::int64_t Size() override { return size_; }
  // Write is the base's "Abstract Error".

  const TDvdTitle& Title() const { return title_; }
  int FirstChapter() const { return first_chapter_; }
  int LastChapter() const { return last_chapter_; }
  int Angle() const { return angle_; }
  // Block numbers within the title at the selected angle.
  std::int64_t StartBlock() const { return start_block_; }
  std::int64_t EndBlock() const { return end_block_; }

 private:
  void ReadOneBlock();
  void Restart();

  std::string path_;
  std::unique_ptr<DvdNavigator> navigator_;
  TDvdTitle title_;
  int angle_ = 1;
  int first_chapter_ = 0;
  int last_chapter_ = 0;
  media::TCircularBuffer buffer_;
  std::int64_t size_ = 0;
  int current_chapter_ = 0;
  std::int64_t start_block_ = 0;
  std::int64_t end_block_ = 0;
  bool seeking_ = false;
};

}  // namespace zembra::dvd
