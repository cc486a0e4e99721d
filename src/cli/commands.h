// The commands of zembra-cli. Each returns the process's exit status:
// 0 completed, 1 failed, 2 bad usage, 130 stopped by the user.
#pragma once

#include <functional>

#include "cli/arguments.h"

namespace zembra::engine {
class TAVConverter;
}

namespace zembra::cli {

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStopped = 130;

int RunConvert(const Request& request);
// Runs the conversion `request` describes; `set_up` may fill the converter's options first.
int RunConversion(const Request& request, const std::function<void(engine::TAVConverter&)>& set_up);
int RunProbe(const Request& request);
int RunSample();

}  // namespace zembra::cli
