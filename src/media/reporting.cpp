#include "media/reporting.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

namespace zembra::media {
namespace {

void WriteToStandardError(ReportKind kind, std::string_view message) {
  const char* prefix = kind == ReportKind::kErrorBox ? "Error: " : "";
  std::fprintf(stderr, "%s%.*s\n", prefix, static_cast<int>(message.size()), message.data());
}

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

// Guarded by SinkMutex().
ReportSink& CurrentSink() {
  static ReportSink sink = WriteToStandardError;
  return sink;
}

void Deliver(ReportKind kind, std::string_view message) noexcept {
  try {
    ReportSink sink;
    {
      std::lock_guard lock(SinkMutex());
      sink = CurrentSink();
    }
    // Called outside the lock: a sink may block (a modal box) or report again.
    sink(kind, message);
  } catch (...) {
    // A failing sink must not take the reporter down with it.
  }
}

}  // namespace

ReportSink SetReportSink(ReportSink sink) {
  if (!sink) sink = WriteToStandardError;
  std::lock_guard lock(SinkMutex());
  return std::exchange(CurrentSink(), std::move(sink));
}

void ShowError(std::string_view message) { Deliver(ReportKind::kErrorBox, message); }

void ReportDiagnostic(std::string_view message) { Deliver(ReportKind::kDiagnostic, message); }

}  // namespace zembra::media
