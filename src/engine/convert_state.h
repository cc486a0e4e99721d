// The converter's state machine and how a job ended.
//
//   csNone --Convert--> csRunning --Pause--> csPaused --Resume--> csRunning
//   csRunning/csPaused --Stop--> csStopped;  end of the job --> csNone
//
// The control calls (Pause, Resume, Stop) come from any thread; the worker acts on the state at
// its next check. Every transition is decided by NextState, in one place.
#pragma once

#include <cstdint>
#include <optional>

namespace zembra::engine {

enum class TAVConvertState : std::uint8_t { csNone, csRunning, csStopped, csPaused };

enum class ControlRequest { kStart, kPause, kResume, kStop, kFinish };

// The state after `request` in `state`, or nothing when the request does not apply there.
constexpr std::optional<TAVConvertState> NextState(TAVConvertState state, ControlRequest request) {
  using enum TAVConvertState;
  switch (request) {
    case ControlRequest::kStart:
      if (state == csNone) return csRunning;
      return std::nullopt;
    case ControlRequest::kPause:
      if (state == csRunning) return csPaused;
      return std::nullopt;
    case ControlRequest::kResume:
      if (state == csPaused) return csRunning;
      return std::nullopt;
    case ControlRequest::kStop:
      if (state == csRunning || state == csPaused) return csStopped;
      return std::nullopt;
    case ControlRequest::kFinish:
      return csNone;
  }
  return std::nullopt;
}

// How the last job ended, for a task to show.
enum class ConvertOutcome {
  kNone,       // no job has ended yet
  kCompleted,  // the input was converted to its end (or to the recording limit)
  kStopped,    // the user stopped it; the output holds what was converted until then
  kFailed,     // an error ended it; LastErrorMessage and the error box say which
};

}  // namespace zembra::engine
