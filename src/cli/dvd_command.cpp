#include "cli/dvd_command.h"

#include <charconv>
#include <cstdio>
#include <exception>

#include "cli/commands.h"
#include "cli/output.h"
#include "dvd/dvd_info.h"

namespace zembra::cli {
namespace {

int Number(const std::string& text, const std::string& address) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) {
    throw UsageError{"a DVD address is dvd:PATH#TITLE[:FIRST-LAST[@ANGLE]], not '" + address + "'"};
  }
  return value;
}

}  // namespace

std::optional<DvdAddress> ParseDvdAddress(const std::string& text) {
  constexpr std::string_view kPrefix = "dvd:";
  if (text.rfind(kPrefix, 0) != 0) return std::nullopt;
  const std::size_t hash = text.rfind('#');
  if (hash == std::string::npos || hash <= kPrefix.size()) {
    throw UsageError{"a DVD address is dvd:PATH#TITLE[:FIRST-LAST[@ANGLE]], not '" + text + "'"};
  }
  DvdAddress address;
  address.path = text.substr(kPrefix.size(), hash - kPrefix.size());
  std::string rest = text.substr(hash + 1);
  const std::size_t at = rest.find('@');
  if (at != std::string::npos) {
    address.angle = Number(rest.substr(at + 1), text);
    rest = rest.substr(0, at);
  }
  const std::size_t colon = rest.find(':');
  if (colon != std::string::npos) {
    const std::string chapters = rest.substr(colon + 1);
    const std::size_t dash = chapters.find('-');
    if (dash == std::string::npos) {
      address.first_chapter = address.last_chapter = Number(chapters, text);
    } else {
      address.first_chapter = Number(chapters.substr(0, dash), text);
      address.last_chapter = Number(chapters.substr(dash + 1), text);
    }
    if (address.last_chapter < address.first_chapter) {
      throw UsageError{"the last chapter comes before the first in '" + text + "'"};
    }
    rest = rest.substr(0, colon);
  }
  address.title = Number(rest, text);
  return address;
}

int RunDvd(const Request& request) {
  try {
    const dvd::TDvdInfo info(request.input);
    if (request.json) {
      std::printf("{\"path\":%s,\"volume\":%s,\"titles\":[", JsonString(info.Path()).c_str(),
                  JsonString(info.VolumeLabel()).c_str());
    } else {
      std::printf("%s [%s]: %d titles\n", info.Path().c_str(), info.VolumeLabel().c_str(),
                  info.TitleCount());
    }
    for (int i = 0; i < info.TitleCount(); ++i) {
      const dvd::TDvdTitle& title = info.Title(i);
      std::string audio;
      for (const dvd::TDvdAudio& track : title.audios) {
        if (!audio.empty()) audio += request.json ? "," : ", ";
        const std::string text = (track.language.empty() ? "?" : track.language) + " " +
                                 track.codec + " " + std::to_string(track.channels) + "ch";
        audio += request.json ? JsonString(text) : text;
      }
      if (request.json) {
        if (i != 0) std::printf(",");
        std::printf(
            "{\"title\":%d,\"duration_s\":%.3f,\"chapters\":%d,\"angles\":%d,"
            "\"audio\":[%s],\"subtitles\":%d}",
            title.number, static_cast<double>(title.duration) / 1e6, title.ChapterCount(),
            title.angle_count, audio.c_str(), title.SubtitleCount());
      } else {
        std::printf("  title %d: %d:%02d:%02d, %d chapters, %d angles, audio: %s, subtitles: %d\n",
                    title.number, title.hours, title.minutes, title.seconds, title.ChapterCount(),
                    title.angle_count, audio.empty() ? "none" : audio.c_str(),
                    title.SubtitleCount());
      }
    }
    if (request.json) std::printf("]}\n");
    return kExitCompleted;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zembra-cli: %s: %s\n", request.input.c_str(), error.what());
    return kExitFailed;
  }
}

}  // namespace zembra::cli
