// What the DVD reader tells about one title of a disc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zembra::dvd {

struct TDvdChapter {
  int number = 0;             // from 1, as the disc numbers its chapters
  std::int64_t start = 0;     // microseconds from the title's start
  std::int64_t duration = 0;  // microseconds
};

struct TDvdAudio {
  std::string language;  // ISO 639-1 code ("en"), empty when the disc names none
  std::string codec;     // "AC3", "MPEG1", "MPEG2", "LPCM", "DTS" or "Unknown"
  int channels = 0;
  int stream_id = 0;  // the MPEG stream (0xC0..) or private-stream sub-stream (0x80..) id
};

struct TDvdSubtitle {
  std::string language;  // ISO 639-1 code, empty when the disc names none
  int stream_id = 0;     // the private-stream sub-stream id (0x20..)
};

struct TDvdTitle {
  int number = 0;  // as the disc numbers its titles, from 1
  int angle_count = 1;
  std::int64_t duration = 0;  // microseconds, the sum of the chapters
  int hours = 0;              // the duration split, seconds truncated
  int minutes = 0;
  int seconds = 0;
  std::vector<TDvdChapter> chapters;
  std::vector<TDvdAudio> audios;
  std::vector<TDvdSubtitle> subtitles;

  int ChapterCount() const { return static_cast<int>(chapters.size()); }
  int AudioCount() const { return static_cast<int>(audios.size()); }
  int SubtitleCount() const { return static_cast<int>(subtitles.size()); }
};

}  // namespace zembra::dvd
