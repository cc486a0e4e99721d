// Where the program's own messages go when no caller is there to catch them.
//
// Two kinds leave the engine this way: error boxes (a setter refusing a value, a step that
// reports a problem and carries on) and diagnostic log lines (why a library failed to load).
// The engine links no user-interface code, so each front end installs a sink: the application
// shows a message box on its user-interface thread, the command line writes to standard error.
// Messages may arrive on any thread; a sink must be safe to call from any of them.
#pragma once

#include <functional>
#include <string_view>

namespace zembra::media {

enum class ReportKind {
  kErrorBox,    // modal "Error" box in the application
  kDiagnostic,  // a log line for whoever watches the process
};

using ReportSink = std::function<void(ReportKind, std::string_view message)>;

// Installs `sink` and returns the previous one. An empty sink restores the default, which
// writes to standard error.
ReportSink SetReportSink(ReportSink sink);

// Shows `message` in the error box. Returns once the sink has taken it; never throws.
void ShowError(std::string_view message);

// Hands `message` to the sink as a diagnostic line; never throws.
void ReportDiagnostic(std::string_view message);

}  // namespace zembra::media
