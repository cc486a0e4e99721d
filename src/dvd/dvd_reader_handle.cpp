#include "dvd/dvd_reader_handle.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace zembra::dvd {
namespace {

void LogMessage(void* priv, dvd_logger_level_t /*level*/, const char* format, va_list args) {
  if (priv == nullptr || format == nullptr) return;
  try {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    static_cast<DvdLibraryLog*>(priv)->Add(text);
  } catch (...) {
    // A log line is not worth unwinding through C code.
  }
}

const dvd_logger_cb kLogger = {LogMessage};

std::string TrimmedLabel(const char* text) {
  std::string label(text);
  while (!label.empty() && (label.back() == ' ' || label.back() == '\0')) label.pop_back();
  return label;
}

}  // namespace

void DvdLibraryLog::Add(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (lines_.size() == kKeptLines) lines_.erase(lines_.begin());
  lines_.push_back(std::move(line));
}

DvdReaderPtr OpenDvdReader(const std::string& path, DvdLibraryLog& log) {
  // libdvdread reports a path it cannot stat with perror, past the logger.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    log.Add("Can't stat " + path + ": " + std::strerror(errno));
    return nullptr;
  }
  return DvdReaderPtr(DVDOpen2(&log, &kLogger, path.c_str()));
}

std::string ReadVolumeLabel(dvd_reader_t* reader) {
  char volume_id[33] = {};
  unsigned char set_id[128] = {};
  if (DVDUDFVolumeInfo(reader, volume_id, sizeof volume_id, set_id, sizeof set_id) == 0) {
    return TrimmedLabel(volume_id);
  }
  if (DVDISOVolumeInfo(reader, volume_id, sizeof volume_id, set_id, sizeof set_id) == 0) {
    return TrimmedLabel(volume_id);
  }
  return {};
}

bool IsScrambledBlock(const std::uint8_t* block) {
  // Pack header: start code 0x000001BA, MPEG-2 marker bits '01', stuffing length in byte 13.
  if (block[0] != 0 || block[1] != 0 || block[2] != 1 || block[3] != 0xBA) return false;
  if ((block[4] & 0xC0) != 0x40) return false;
  const int packet = 14 + (block[13] & 0x07);
  if (packet + 7 > kBlockSize) return false;
  const std::uint8_t* pes = block + packet;
  if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1) return false;
  const std::uint8_t stream_id = pes[3];
  if (stream_id == 0xBB || stream_id == 0xBE || stream_id == 0xBF) return false;
  return (pes[6] & 0x30) != 0;
}

}  // namespace zembra::dvd
