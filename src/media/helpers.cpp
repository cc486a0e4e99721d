#include "media/helpers.h"

namespace zembra::media {

std::string SecondsToText(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const std::int64_t hours = seconds / 3600;
  const std::int64_t minutes = (seconds / 60) % 60;
  return std::to_string(hours) + ":" + std::to_string(minutes) + ":" + std::to_string(seconds % 60);
}

}  // namespace zembra::media
