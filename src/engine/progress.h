// The figures a caller reads while a conversion runs, computed from one consistent snapshot.
#pragma once

#include <cstdint>

namespace zembra::engine {

// Seconds shown as the time left while nothing can be estimated yet.
inline constexpr std::int64_t kUnknownLeftTime = 362439;

// Everything the worker updates for the caller; copied as a whole under the converter's lock.
struct ProgressSnapshot {
  double converted_duration = 0;      // seconds of output reached
  double duration = 0;                // seconds of input
  double bitrate = 0;                 // kbit/s of the output so far
  std::int64_t target_file_size = 0;  // bytes of output file 0
  std::int64_t source_file_size = 0;  // bytes of input file 0
  std::int64_t timer_start = 0;       // wall clock (µs) when the loop started; 0 before
  std::int64_t last_time = 0;         // wall clock (µs) of the last report update; 0 before
};

// Integer percent of the part of the input being converted (the whole input, or the window
// StartTime..StartTime+RecordingTime). Rounded half to even; not clamped, so it may pass 100.
std::int32_t ComputeProgress(const ProgressSnapshot& figures, std::int64_t start_time_us,
                             std::int64_t recording_time_us);

// Whole seconds between the start of the loop and the last report update; 0 before the first.
std::int64_t ComputeUsedTime(const ProgressSnapshot& figures);

// Whole seconds still to go at the pace so far (0 once past the end), or kUnknownLeftTime
// while there is no progress to measure.
std::int64_t ComputeLeftTime(std::int64_t used_time, std::int32_t progress);

}  // namespace zembra::engine
