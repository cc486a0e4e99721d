#include "engine/converter.h"

#include <pthread.h>
#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "engine/convert_threads.h"
#include "engine/engine_error.h"
#include "engine/input.h"
#include "engine/job.h"
#include "engine/output.h"
#include "engine/setup.h"
#include "engine/transcode.h"
#include "media/media_loader.h"
#include "media/reporting.h"

namespace zembra::engine {
namespace {

// At most this many progress notifications a second.
constexpr std::int64_t kProgressIntervalUs = 50000;

std::int64_t MonotonicMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// "conv " and the start of the first input's file name: what a debugger or top shows.
void NameWorkerThread(const TStringList& inputs) {
  std::string name = "conv";
  if (!inputs.Empty()) {
    const std::string& path = inputs[0];
    const std::size_t slash = path.find_last_of('/');
    name += " " + (slash == std::string::npos ? path : path.substr(slash + 1));
  }
  std::size_t length = std::min<std::size_t>(name.size(), 15);
  // Do not cut a UTF-8 sequence in half.
  while (length > 0 && length < name.size() &&
         (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) {
    --length;
  }
  pthread_setname_np(pthread_self(), name.substr(0, length).c_str());
}

std::string WithoutTrailingLineBreaks(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// Makes the engine's log callback the one the loader installs, then loads the libraries.
void PrepareMediaLibraries() {
  media::SetMediaLogCallback(EngineLogCallback);
  media::LoadMediaLibraries();
}

}  // namespace

// What a run asks of the converter that owns it.
class TAVConverter::RunControl final : public JobControl {
 public:
  explicit RunControl(TAVConverter& converter) : converter_(converter) {}
  bool WaitWhilePaused() override { return converter_.WaitWhilePaused(); }
  void NotifyProgress(bool final) override { converter_.NotifyProgress(final); }
  void SetConvertedDuration(double seconds) override { converter_.SetConvertedDuration(seconds); }
  void UpdateReport(std::int64_t target_size, std::int64_t source_size, double bitrate,
                    std::int64_t timer_start, std::int64_t last_time) override {
    std::lock_guard lock(converter_.figures_mutex_);
    ProgressSnapshot& figures = converter_.figures_;
    figures.target_file_size = target_size;
    figures.source_file_size = source_size;
    figures.bitrate = bitrate;
    figures.timer_start = timer_start;
    figures.last_time = last_time;
  }
  std::string PassLogFolder() override { return converter_.PassLogFolder(); }

 private:
  TAVConverter& converter_;
};

JobContext::~JobContext() {
  for (OutputStream& ost : output_streams) {
    if (ost.pass_log != nullptr) std::fclose(ost.pass_log);
  }
}

// --- TAVConvertThread

TAVConvertThread::TAVConvertThread(TAVConverter& converter)
    : converter_(converter), thread_([this] { Execute(); }) {}

TAVConvertThread::~TAVConvertThread() {
  if (thread_.joinable()) thread_.join();
}

void TAVConvertThread::Execute() {
  NameWorkerThread(converter_.InputFiles());
  ConvertThreadRegistration registration(converter_);
  converter_.RunJob();
}

// --- TAVConverter

TAVConverter::TAVConverter(Dispatcher& dispatcher)
    : dispatcher_(dispatcher),
      alive_(std::make_shared<TAVConverter*>(this)),
      library_options_((PrepareMediaLibraries(), options_.SwsFlags())) {}

TAVConverter::~TAVConverter() {
  Stop();
  thread_.reset();
  alive_.reset();
  RemovePassLogFolder();
}

std::string TAVConverter::PassLogFolder() {
  if (pass_log_folder_.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "zembra-2pass-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw EngineError("Cannot create a folder for the two-pass statistics: " +
                        std::string(std::strerror(errno)));
    }
    pass_log_folder_ = pattern;
  }
  return pass_log_folder_;
}

void TAVConverter::RemovePassLogFolder() {
  if (pass_log_folder_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(pass_log_folder_, ignored);
  pass_log_folder_.clear();
}

bool TAVConverter::Transition(ControlRequest request) {
  {
    std::lock_guard lock(gate_mutex_);
    const std::optional<TAVConvertState> next = NextState(state_.load(), request);
    if (!next) return false;
    state_.store(*next);
    if (*next == TAVConvertState::csStopped) stop_requested_.store(true);
  }
  gate_.notify_all();
  return true;
}

void TAVConverter::Convert() {
  if (state_.load() != TAVConvertState::csNone) {
    throw std::logic_error("a conversion is already running on this converter");
  }
  thread_.reset();  // the previous job's worker has finished; collect it
  stop_requested_.store(false);
  progress_pending_.store(false);
  last_progress_post_us_ = 0;
  {
    std::lock_guard lock(figures_mutex_);
    const double duration = figures_.duration;
    figures_ = ProgressSnapshot{};
    figures_.duration = duration;
    error_message_.clear();
  }
  outcome_.store(ConvertOutcome::kNone);
  Transition(ControlRequest::kStart);
  thread_ = std::make_unique<TAVConvertThread>(*this);
}

void TAVConverter::Pause() { Transition(ControlRequest::kPause); }

void TAVConverter::Resume() { Transition(ControlRequest::kResume); }

void TAVConverter::Stop() { Transition(ControlRequest::kStop); }

bool TAVConverter::WaitWhilePaused() {
  std::unique_lock lock(gate_mutex_);
  gate_.wait(lock, [this] { return state_.load() != TAVConvertState::csPaused; });
  return state_.load() != TAVConvertState::csStopped;
}

void TAVConverter::RunJob() {
  ConvertOutcome outcome = ConvertOutcome::kCompleted;
  {
    RunControl control(*this);
    JobContext job(options_, library_options_);
    job.log = [this](int level, const std::string& text) { DoLog(level, text); };
    job.stop_requested = &stop_requested_;
    job.control = &control;
    auto fail = [&](const std::string& message) {
      DoError(message);
      outcome = ConvertOutcome::kFailed;
      for (const OutputFile& output : job.output_files) {
        if (output.header_written)
          DoLog(AV_LOG_ERROR, "Incomplete output file: " + output.file_name + "\n");
      }
    };
    try {
      RunSteps(job);
      if (stop_requested_.load()) outcome = ConvertOutcome::kStopped;
    } catch (const std::exception& error) {
      // A stop interrupts blocking library calls; what they report then is not a failure.
      if (stop_requested_.load() && job.output_files.empty()) {
        outcome = ConvertOutcome::kStopped;
      } else {
        fail(error.what());
      }
    } catch (...) {
      fail("Unexpected failure");
    }
    // A file that never got its header holds nothing a player could use.
    for (OutputFile& output : job.output_files) {
      if (output.header_written || !output.context || output.context->pb == nullptr) continue;
      output.context.reset();
      std::error_code ignored;
      std::filesystem::remove(output.file_name, ignored);
    }
    if (options_.VideoOptions().Pass() == 2 && outcome != ConvertOutcome::kStopped) {
      RemovePassLogFolder();
    }
  }  // the run's files and contexts are released here, on every path
  FinishJob(outcome);
}

namespace {

// Writing into a file the job reads would destroy the source while it is being converted.
void RefuseOutputOverInput(const TStringList& inputs, const TStringList& outputs) {
  for (const std::string& output : outputs) {
    std::error_code error;
    const auto target = std::filesystem::weakly_canonical(output, error);
    if (error) continue;
    for (const std::string& input : inputs) {
      const auto source = std::filesystem::weakly_canonical(input, error);
      if (!error && source == target) {
        throw EngineError("The output file is the same as the input file: " + output);
      }
    }
  }
}

}  // namespace

void TAVConverter::RunSteps(JobContext& job) {
  if (input_files_.Empty()) throw EngineError("No input file");
  if (output_files_.Empty()) throw EngineError("No output file");
  RefuseOutputOverInput(input_files_, output_files_);
  ParseStreamMaps(job);
  const std::int32_t audio_bitrate = options_.AudioOptions().Bitrate();
  const std::int32_t video_bitrate = options_.VideoOptions().Bitrate();
  if (audio_bitrate != 0) library_options_.SetLibraryOption("ab", std::to_string(audio_bitrate));
  if (video_bitrate != 0) library_options_.SetLibraryOption("b", std::to_string(video_bitrate));
  library_options_.ApplyCodecOptions(options_.CodecOptions());
  ResolveFormats(job);

  // Opening an input writes what it carries into the options; what the caller chose for the
  // output stays chosen. The frame rate counts as chosen when it is not the initial 25/1.
  TVideoOptions& video = options_.VideoOptions();
  const TRational chosen_rate(video.FrameRate().num(), video.FrameRate().den());
  const bool rate_chosen = chosen_rate.num() != 25 || chosen_rate.den() != 1;
  const float chosen_aspect = video.FrameAspectRatio();
  const std::int32_t chosen_pixel_format = video.FramePixFormat();
  for (std::size_t i = 0; i < input_files_.Count(); ++i) {
    if (!WaitWhilePaused()) return;
    OpenInputFile(job, input_files_[i], static_cast<int>(i));
    std::lock_guard lock(figures_mutex_);
    if (job.duration >= 0) figures_.duration = job.duration;
    if (i == 0) figures_.source_file_size = std::max<std::int64_t>(0, InputFileSize(job, 0));
  }
  if (rate_chosen) video.SetFrameRate(chosen_rate);
  if (chosen_aspect != 0) video.SetFrameAspectRatio(chosen_aspect);
  if (chosen_pixel_format >= 0) video.SetFramePixFormat(chosen_pixel_format);
  ApplyInputTSScales(job);
  if (!WaitWhilePaused()) return;
  for (std::size_t i = 0; i < output_files_.Count(); ++i) {
    OpenOutputFile(job, output_files_[i], static_cast<int>(i));
  }
  Transcode(job);
}

void TAVConverter::Transcode(JobContext& job) {
  SetUpTranscoding(job);
  RunTranscodingLoop(job);
}

void TAVConverter::DoError(const std::string& message) {
  std::string previous;
  {
    std::lock_guard lock(figures_mutex_);
    error_message_ = message;
    previous = last_error_message_;
  }
  media::ShowError(message + ":" + WithoutTrailingLineBreaks(previous));
  DoLog(AV_LOG_ERROR, message + "\n");
  SetLastErrorMessage(message);
}

void TAVConverter::FinishJob(ConvertOutcome outcome) {
  outcome_.store(outcome);
  Transition(ControlRequest::kFinish);
  // From here on the worker touches nothing of the converter: the handlers may destroy it.
  std::weak_ptr<TAVConverter*> alive = alive_;
  if (outcome == ConvertOutcome::kStopped) {
    dispatcher_.Post([alive] {
      if (const auto converter = alive.lock()) {
        const TNotifyEvent handler = (*converter)->OnStopped;
        if (handler) handler(**converter);
      }
    });
  }
  dispatcher_.Post([alive] {
    if (const auto converter = alive.lock()) {
      const TNotifyEvent handler = (*converter)->OnComplete;
      if (!handler) return;
      try {
        handler(**converter);
      } catch (...) {
        // A failing completion handler must not take the dispatcher down.
      }
    }
  });
}

void TAVConverter::NotifyProgress(bool final) {
  const std::int64_t now = MonotonicMicroseconds();
  if (progress_pending_.load()) return;  // the pending one will read the latest figures
  if (!final && now - last_progress_post_us_ < kProgressIntervalUs) return;
  progress_pending_.store(true);
  last_progress_post_us_ = now;
  std::weak_ptr<TAVConverter*> alive = alive_;
  dispatcher_.Post([alive] {
    const auto converter = alive.lock();
    if (!converter) return;
    TAVConverter& self = **converter;
    self.progress_pending_.store(false);
    const TAVProgressEvent handler = self.OnProgress;
    if (!handler) return;
    try {
      handler(self);
    } catch (const std::exception& error) {
      media::ShowError(error.what());
    }
  });
}

void TAVConverter::DoLog(int level, const std::string& text) {
  if (OnLog) OnLog(*this, level, text);
}

// --- Figures

ProgressSnapshot TAVConverter::Figures() const {
  std::lock_guard lock(figures_mutex_);
  return figures_;
}

std::int32_t TAVConverter::Progress() const {
  return ComputeProgress(Figures(), options_.StartTime(), options_.RecordingTime());
}

std::int64_t TAVConverter::GetUsedTime() const { return ComputeUsedTime(Figures()); }

std::int64_t TAVConverter::GetLeftTime() const {
  return ComputeLeftTime(GetUsedTime(), Progress());
}

double TAVConverter::ConvertedDuration() const { return Figures().converted_duration; }

void TAVConverter::SetConvertedDuration(double seconds) {
  std::lock_guard lock(figures_mutex_);
  figures_.converted_duration = seconds;
}

double TAVConverter::Duration() const { return Figures().duration; }

void TAVConverter::SetDuration(double seconds) {
  std::lock_guard lock(figures_mutex_);
  figures_.duration = seconds;
}

double TAVConverter::Bitrate() const { return Figures().bitrate; }

void TAVConverter::SetBitrate(double kbits_per_second) {
  std::lock_guard lock(figures_mutex_);
  figures_.bitrate = kbits_per_second;
}

std::int64_t TAVConverter::TargetFileSize() const { return Figures().target_file_size; }

std::int64_t TAVConverter::SourceFileSize() const { return Figures().source_file_size; }

std::int64_t TAVConverter::StartTime() const { return Figures().timer_start; }

std::int64_t TAVConverter::LastTime() const { return Figures().last_time; }

std::string TAVConverter::LastErrorMessage() const {
  std::lock_guard lock(figures_mutex_);
  return last_error_message_;
}

void TAVConverter::SetLastErrorMessage(const std::string& message) {
  std::lock_guard lock(figures_mutex_);
  last_error_message_ = message;
}

std::string TAVConverter::ErrorMessage() const {
  std::lock_guard lock(figures_mutex_);
  return error_message_;
}

// --- Log routing

void EngineLogCallback(void*, int level, const char* format, va_list args) {
  try {
    TAVConverter* converter = ConverterOfCurrentThread();
    if (converter == nullptr || level > converter->log_level_) return;
    char buffer[1025];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    const std::string text(buffer);
    converter->SetLastErrorMessage(text);
    converter->DoLog(level, text);
  } catch (...) {
    // The library cannot take an exception back.
  }
}

}  // namespace zembra::engine
