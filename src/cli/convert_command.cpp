// zembra-cli convert: one conversion on the engine, with progress on the terminal or as JSON
// lines, and control by signals (Ctrl+C stops, a second one aborts; SIGUSR1 pauses, SIGUSR2
// resumes) and, on a terminal, by the keys p (pause/resume) and q (stop).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/dvd_command.h"
#include "cli/output.h"
#include "cli/profiles_command.h"
#include "dvd/dvd_info.h"
#include "dvd/dvd_stream.h"
#include "engine/converter.h"
#include "media/byte_stream.h"
#include "media/helpers.h"
#include "media/reporting.h"
#include "profiles/image_sequence.h"

namespace zembra::cli {
namespace {

using engine::ConvertOutcome;
using engine::TAVConverter;
using engine::TAVConvertState;

std::atomic<int> interrupts{0};
std::atomic<bool> pause_asked{false};
std::atomic<bool> resume_asked{false};
termios saved_terminal{};
std::atomic<bool> terminal_changed{false};

void RestoreTerminal() {
  if (terminal_changed.exchange(false)) tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
}

void OnSignal(int signal) {
  if (signal == SIGINT || signal == SIGTERM) {
    if (interrupts.fetch_add(1) >= 1) {
      // The second interrupt: leave at once, the output is what it is.
      if (terminal_changed.load()) tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
      _exit(kExitStopped);
    }
  } else if (signal == SIGUSR1) {
    pause_asked.store(true);
  } else if (signal == SIGUSR2) {
    resume_asked.store(true);
  }
}

void InstallSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2}) sigaction(signal, &action, nullptr);
}

// Keys on a terminal: read one at a time, without echo.
class KeyReader {
 public:
  KeyReader() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_terminal) != 0) return;
    termios raw = saved_terminal;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) terminal_changed.store(true);
  }
  ~KeyReader() { RestoreTerminal(); }
  KeyReader(const KeyReader&) = delete;
  KeyReader& operator=(const KeyReader&) = delete;

  // The next key pressed, or 0.
  char Poll() const {
    if (!terminal_changed.load()) return 0;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 0) <= 0) return 0;
    char key = 0;
    return read(STDIN_FILENO, &key, 1) == 1 ? key : 0;
  }
};

const char* StateName(TAVConvertState state) {
  switch (state) {
    case TAVConvertState::csRunning:
      return "running";
    case TAVConvertState::csPaused:
      return "paused";
    case TAVConvertState::csStopped:
      return "stopped";
    default:
      return "none";
  }
}

const char* OutcomeName(ConvertOutcome outcome) {
  switch (outcome) {
    case ConvertOutcome::kCompleted:
      return "completed";
    case ConvertOutcome::kStopped:
      return "stopped";
    case ConvertOutcome::kFailed:
      return "failed";
    default:
      return "none";
  }
}

class ConsoleReporter {
 public:
  explicit ConsoleReporter(bool json) : json_(json), terminal_(isatty(STDERR_FILENO) != 0) {}

  void Progress(TAVConverter& converter) {
    std::lock_guard lock(mutex_);
    const engine::ProgressSnapshot figures = converter.Figures();
    if (json_) {
      std::printf(
          "{\"state\":\"%s\",\"progress\":%d,\"converted_s\":%.3f,\"duration_s\":%.3f,"
          "\"bitrate_kbps\":%.1f,\"target_bytes\":%lld,\"used_s\":%lld,\"left_s\":%lld}\n",
          StateName(converter.State()), converter.Progress(), figures.converted_duration,
          figures.duration, figures.bitrate, static_cast<long long>(figures.target_file_size),
          static_cast<long long>(converter.GetUsedTime()),
          static_cast<long long>(converter.GetLeftTime()));
      std::fflush(stdout);
      return;
    }
    if (!terminal_) return;
    const std::int64_t left = converter.GetLeftTime();
    const std::string left_text =
        left == engine::kUnknownLeftTime ? "-" : media::SecondsToText(left);
    std::fprintf(stderr, "\r\033[K%3d%%  %7.0f kb/s  %9s  used %s  left %s%s", converter.Progress(),
                 figures.bitrate, ByteSize(figures.target_file_size).c_str(),
                 media::SecondsToText(converter.GetUsedTime()).c_str(), left_text.c_str(),
                 converter.State() == TAVConvertState::csPaused ? "  (paused, p resumes)" : "");
    line_open_ = true;
  }

  // Library warnings and errors of the conversion; called on the worker thread.
  void Log(const std::string& line) {
    std::lock_guard lock(mutex_);
    log_.push_back(line);
    if (json_) return;
    if (line_open_) std::fputs("\r\033[K", stderr);
    std::fputs(line.c_str(), stderr);
    if (line.empty() || line.back() != '\n') std::fputc('\n', stderr);
  }

  void Finish(TAVConverter& converter, const std::string& output) {
    std::lock_guard lock(mutex_);
    const ConvertOutcome outcome = converter.Outcome();
    if (json_) {
      std::string log = "[";
      for (std::size_t i = 0; i < log_.size(); ++i) {
        if (i != 0) log += ',';
        log += JsonString(log_[i]);
      }
      log += "]";
      std::printf(
          "{\"outcome\":\"%s\",\"output\":%s,\"error\":%s,\"duration_s\":%.3f,"
          "\"target_bytes\":%lld,\"log\":%s}\n",
          OutcomeName(outcome), JsonString(output).c_str(),
          JsonString(converter.ErrorMessage()).c_str(), converter.ConvertedDuration(),
          static_cast<long long>(converter.TargetFileSize()), log.c_str());
      std::fflush(stdout);
    } else if (line_open_) {
      std::fputc('\n', stderr);
    }
    if (outcome == ConvertOutcome::kFailed) {
      std::fprintf(stderr, "zembra-cli: %s\n", converter.ErrorMessage().c_str());
    } else if (!json_ && outcome == ConvertOutcome::kStopped) {
      std::fprintf(stderr, "Stopped; %s holds what was converted.\n", output.c_str());
    } else if (!json_) {
      std::fprintf(stderr, "Done: %s\n", output.c_str());
    }
  }

 private:
  std::mutex mutex_;
  const bool json_;
  const bool terminal_;
  bool line_open_ = false;
  std::vector<std::string> log_;
};

}  // namespace

int RunConversion(const Request& request, const std::function<void(TAVConverter&)>& set_up) {
  engine::EventLoopDispatcher dispatcher;
  TAVConverter converter(dispatcher);
  ConsoleReporter reporter(request.json);
  media::SetReportSink([&](media::ReportKind kind, std::string_view message) {
    if (kind == media::ReportKind::kErrorBox) reporter.Log("Error: " + std::string(message));
  });
  bool completed = false;
  converter.OnProgress = [&](TAVConverter& sender) { reporter.Progress(sender); };
  converter.OnLog = [&](TAVConverter&, int, const std::string& line) { reporter.Log(line); };
  converter.OnComplete = [&](TAVConverter&) { completed = true; };

  converter.InputFiles().Add(request.input);
  converter.OutputFiles().Add(request.output);
  engine::TAVConvertOptions& options = converter.ConvertOptions();
  if (set_up) set_up(converter);
  options.SetThreadCount(request.threads);
  options.SetStartTime(request.start_us);
  if (request.duration_us) options.SetRecordingTime(*request.duration_us);
  if (!request.filters.empty()) options.FilterOptions().SetVideoFilters(request.filters);
  for (const auto& [name, value] : request.settings) options.SetAdvancedOption(name, value);
  if (request.copy) {
    options.VideoOptions().SetVideoStreamCopy(true);
    options.AudioOptions().SetAudioStreamCopy(true);
    options.SubtitleOptions().SetSubtitleStreamCopy(true);
  }

  interrupts.store(0);
  InstallSignals();
  KeyReader keys;
  converter.Convert();
  int seen_interrupts = 0;
  while (!completed) {
    dispatcher.WaitAndProcess(std::chrono::milliseconds(100));
    if (interrupts.load() > seen_interrupts) {
      seen_interrupts = interrupts.load();
      converter.Stop();
    }
    if (pause_asked.exchange(false)) {
      converter.Pause();
      reporter.Progress(converter);
    }
    if (resume_asked.exchange(false)) {
      converter.Resume();
      reporter.Progress(converter);
    }
    switch (keys.Poll()) {
      case 'p':
      case 'P':
        if (converter.State() == TAVConvertState::csPaused) {
          converter.Resume();
        } else {
          converter.Pause();
        }
        reporter.Progress(converter);
        break;
      case 'q':
      case 'Q':
        converter.Stop();
        break;
      default:
        break;
    }
  }
  dispatcher.ProcessPending();
  reporter.Finish(converter, request.output);
  media::SetReportSink(nullptr);
  switch (converter.Outcome()) {
    case ConvertOutcome::kCompleted:
      return kExitCompleted;
    case ConvertOutcome::kStopped:
      return kExitStopped;
    default:
      return kExitFailed;
  }
}

namespace {

// A DVD title read as a byte stream for the length of one conversion.
class DvdInput {
 public:
  explicit DvdInput(const DvdAddress& address) {
    const dvd::TDvdInfo info(address.path);
    const dvd::TDvdTitle* title = nullptr;
    for (const dvd::TDvdTitle& candidate : info.Titles()) {
      if (candidate.number == address.title) title = &candidate;
    }
    if (title == nullptr) {
      throw UsageError{"the disc has no title " + std::to_string(address.title) + " (it has " +
                       std::to_string(info.TitleCount()) + ")"};
    }
    const int first = address.first_chapter != 0 ? address.first_chapter : 1;
    const int last = address.last_chapter != 0 ? address.last_chapter : title->ChapterCount();
    stream_ =
        std::make_unique<dvd::TDvdStream>(address.path, address.title, first, last, address.angle);
    registration_ = std::make_unique<media::StreamRegistration>(*stream_);
  }
  std::string Address() const { return registration_->Address("vob"); }

 private:
  std::unique_ptr<dvd::TDvdStream> stream_;
  std::unique_ptr<media::StreamRegistration> registration_;
};

}  // namespace

int RunConvert(const Request& original) {
  Request request = original;
  std::unique_ptr<DvdInput> dvd_input;
  if (const std::optional<DvdAddress> address = ParseDvdAddress(request.input)) {
    try {
      dvd_input = std::make_unique<DvdInput>(*address);
    } catch (const UsageError&) {
      throw;
    } catch (const std::exception& error) {
      std::fprintf(stderr, "zembra-cli: %s: %s\n", address->path.c_str(), error.what());
      return kExitFailed;
    }
    request.input = dvd_input->Address();
  } else if (request.input.find("://") == std::string::npos &&
             !std::filesystem::exists(request.input)) {
    std::fprintf(stderr, "zembra-cli: the input %s does not exist\n", request.input.c_str());
    return kExitUsage;
  }
  if (!request.profile) return RunConversion(request, nullptr);

  profiles::TAVProfileList list;
  LoadAllProfiles(list);
  const profiles::TAVProfile* profile = FindProfile(list, *request.profile);
  if (profile == nullptr) {
    std::fprintf(stderr, "zembra-cli: there is no profile \"%s\"; the nearest are:\n",
                 request.profile->c_str());
    for (const std::string& name : NearestProfileNames(list, *request.profile, 5)) {
      std::fprintf(stderr, "  %s\n", name.c_str());
    }
    return kExitUsage;
  }
  const profiles::ProfileAvailability availability = profile->Availability();
  if (!availability.available) {
    std::fprintf(stderr, "zembra-cli: the profile \"%s\" cannot run here: %s\n",
                 request.profile->c_str(), availability.reason.c_str());
    return kExitFailed;
  }
  return RunConversion(request, [&](TAVConverter& converter) {
    profile->ApplyTo(converter);
    // A sequence of pictures needs a numbered name: clip1.jpg, clip2.jpg, ...
    if (converter.ConvertOptions().OutputFormat() == profiles::kImageSequenceMuxer) {
      const profiles::ImageSequenceName name = profiles::MakeImageSequenceName(request.output);
      converter.OutputFiles().Clear();
      converter.OutputFiles().Add(name.pattern);
      converter.ConvertOptions().SetAdvancedOption("start_number",
                                                   std::to_string(name.start_number));
    }
  });
}

}  // namespace zembra::cli
