#include "app/process_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "media/reporting.h"

namespace zembra::app {
namespace {

// The threads of this process by their kernel ids; the calling thread alone when /proc is
// not there.
std::vector<id_t> ProcessThreads() {
  std::vector<id_t> threads;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
    try {
      threads.push_back(static_cast<id_t>(std::stoul(entry.path().filename().string())));
    } catch (const std::exception&) {
      // Not a thread entry.
    }
  }
  if (threads.empty()) threads.push_back(static_cast<id_t>(syscall(SYS_gettid)));
  return threads;
}

}  // namespace

bool ApplyProcessPriority(std::int32_t priority_class) {
  if (priority_class < 0 ||
      priority_class >= static_cast<std::int32_t>(kProcessPriorityNiceValues.size())) {
    media::ReportDiagnostic("Process priority class " + std::to_string(priority_class) +
                            " does not exist; the priority is left as it is");
    return false;
  }
  const int nice = kProcessPriorityNiceValues[static_cast<std::size_t>(priority_class)];
  int failure = 0;
  for (const id_t thread : ProcessThreads()) {
    // A thread may end between listing and setting; that is no failure.
    if (setpriority(PRIO_PROCESS, thread, nice) != 0 && errno != ESRCH) failure = errno;
  }
  if (failure != 0) {
    media::ReportDiagnostic("Cannot set the process priority to nice " + std::to_string(nice) +
                            ": " + std::strerror(failure));
    return false;
  }
  return true;
}

}  // namespace zembra::app
