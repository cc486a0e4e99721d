#include "engine/progress.h"

#include <algorithm>
#include <cmath>

namespace zembra::engine {
namespace {

// Nearest integer with halves to even, whatever rounding mode the thread is in.
double RoundHalfEven(double value) {
  const double lower = std::floor(value);
  const double fraction = value - lower;
  if (fraction > 0.5) return lower + 1;
  if (fraction < 0.5) return lower;
  return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

std::int32_t ToPercent(double value) {
  if (!std::isfinite(value)) return 0;
  const double rounded = RoundHalfEven(value);
  return static_cast<std::int32_t>(std::clamp(rounded, -2147483648.0, 2147483647.0));
}

}  // namespace

std::int32_t ComputeProgress(const ProgressSnapshot& figures, std::int64_t start_time_us,
                             std::int64_t recording_time_us) {
  const double duration_us = figures.duration * 1000000.0;
  if (start_time_us <= 0 && duration_us <= static_cast<double>(recording_time_us)) {
    if (figures.duration <= 0) return 0;
    return ToPercent(figures.converted_duration / figures.duration * 100.0);
  }
  const std::int64_t rest_of_input =
      static_cast<std::int64_t>(RoundHalfEven(duration_us)) - start_time_us;
  const std::int64_t span = std::min(recording_time_us, rest_of_input);
  // A window that starts at or after the end of the input has nothing to measure against.
  if (span <= 0) return 0;
  return ToPercent(figures.converted_duration * 100.0 * 1000000.0 / static_cast<double>(span));
}

std::int64_t ComputeUsedTime(const ProgressSnapshot& figures) {
  if (figures.last_time == 0 || figures.timer_start == 0) return 0;
  return std::max<std::int64_t>(0, (figures.last_time - figures.timer_start) / 1000000);
}

std::int64_t ComputeLeftTime(std::int64_t used_time, std::int32_t progress) {
  if (progress <= 0) return kUnknownLeftTime;
  return std::max<std::int64_t>(0, used_time * (100 - progress) / progress);
}

}  // namespace zembra::engine
