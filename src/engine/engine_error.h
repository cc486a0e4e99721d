// The engine's failures: an exception carrying one of the engine's fixed messages
// ("Could not open file:%s error(%d)!"), caught by the worker and turned into the job's outcome.
#pragma once

#include <stdexcept>
#include <string>

namespace zembra::engine {

class EngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// printf-style formatting of the engine's messages.
std::string FormatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zembra::engine
