// Collects what the program reports (error boxes, diagnostics) while a test runs.
#pragma once

#include <string>
#include <vector>

#include "media/reporting.h"

namespace zembra::testing {

class ReportCapture {
 public:
  ReportCapture() {
    previous_ = media::SetReportSink([this](media::ReportKind kind, std::string_view message) {
      (kind == media::ReportKind::kErrorBox ? error_boxes : diagnostics).emplace_back(message);
    });
  }
  ~ReportCapture() { media::SetReportSink(previous_); }
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  void Clear() {
    error_boxes.clear();
    diagnostics.clear();
  }

  std::vector<std::string> error_boxes;
  std::vector<std::string> diagnostics;

 private:
  media::ReportSink previous_;
};

}  // namespace zembra::testing
