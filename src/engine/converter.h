// TAVConverter: one conversion job at a time, run on a worker thread of its own.
//
// The caller fills InputFiles, OutputFiles and ConvertOptions, sets the events and calls
// Convert. The worker opens the inputs, creates the outputs and runs the transcoding loop;
// Pause, Resume and Stop may be called from any thread at any time and take effect at the
// worker's next check. The figures (Progress, GetUsedTime, ...) are read from a snapshot the
// worker updates under a lock.
//
// Events: OnLog runs on the worker thread (library messages up to the warning level and the
// engine's own lines). OnProgress, OnStopped and OnComplete are posted to the dispatcher's
// thread; progress notifications are coalesced (at most one pending, about 20 a second), so a
// watching window never slows the conversion. OnComplete is the last event of every job,
// however it ended (see Outcome); after it the worker no longer touches the converter.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/convert_state.h"
#include "engine/dispatcher.h"
#include "engine/library_options.h"
#include "engine/options.h"
#include "engine/progress.h"
#include "engine/string_list.h"

namespace zembra::engine {

class TAVConverter;
struct JobContext;

using TAVLogEvent = std::function<void(TAVConverter& sender, int level, const std::string& log)>;
using TAVProgressEvent = std::function<void(TAVConverter& sender)>;
using TNotifyEvent = std::function<void(TAVConverter& sender)>;

// The worker of one job. Registered in ConvertThreads while it runs, so that library messages
// raised on it reach its converter.
class TAVConvertThread {
 public:
  explicit TAVConvertThread(TAVConverter& converter);
  ~TAVConvertThread();  // joins
  TAVConvertThread(const TAVConvertThread&) = delete;
  TAVConvertThread& operator=(const TAVConvertThread&) = delete;

  TAVConverter& Converter() const { return converter_; }

 private:
  void Execute();

  TAVConverter& converter_;
  std::thread thread_;
};

class TAVConverter {
 public:
  // Loads the media libraries (throws media::MediaLoadError when they are missing) and creates
  // the option templates. Events are delivered through `dispatcher`, which must outlive it.
  explicit TAVConverter(Dispatcher& dispatcher);
  // Stops a running job and waits for its worker.
  virtual ~TAVConverter();
  TAVConverter(const TAVConverter&) = delete;
  TAVConverter& operator=(const TAVConverter&) = delete;

  // --- Setting up a job (not while one runs)
  const TAVConvertOptions& ConvertOptions() const { return options_; }
  TAVConvertOptions& ConvertOptions() { return options_; }
  void SetConvertOptions(const TAVConvertOptions& options) { options_.Assign(options); }
  const TStringList& InputFiles() const { return input_files_; }
  TStringList& InputFiles() { return input_files_; }
  void SetInputFiles(const TStringList& files) { input_files_ = files; }
  const TStringList& OutputFiles() const { return output_files_; }
  TStringList& OutputFiles() { return output_files_; }
  void SetOutputFiles(const TStringList& files) { output_files_ = files; }

  // Set on the dispatcher's thread while no job runs. OnLog is called on the worker; the
  // others on the dispatcher's thread.
  TAVLogEvent OnLog;
  TAVProgressEvent OnProgress;
  TNotifyEvent OnComplete;
  TNotifyEvent OnStopped;

  // --- Control, from any thread
  // Starts the job on a new worker. Throws std::logic_error while a job is running.
  void Convert();
  void Pause();
  void Resume();
  void Stop();
  TAVConvertState State() const { return state_.load(); }
  // How the last job ended; kNone until one has.
  ConvertOutcome Outcome() const { return outcome_.load(); }

  // --- Figures, from any thread
  std::int32_t Progress() const;
  std::int64_t GetUsedTime() const;
  std::int64_t GetLeftTime() const;
  double ConvertedDuration() const;
  void SetConvertedDuration(double seconds);
  double Duration() const;
  void SetDuration(double seconds);
  double Bitrate() const;
  void SetBitrate(double kbits_per_second);
  std::int64_t TargetFileSize() const;
  std::int64_t SourceFileSize() const;
  // Wall-clock microseconds when the loop started / of the last report update.
  std::int64_t StartTime() const;
  std::int64_t LastTime() const;
  ProgressSnapshot Figures() const;

  // The last library message routed to this converter (any level up to the threshold), or the
  // message of the failure that ended the last job.
  std::string LastErrorMessage() const;
  void SetLastErrorMessage(const std::string& message);
  // The message of the failure that ended the last job; empty when it did not fail.
  std::string ErrorMessage() const;

  // Library messages of this level or more severe are routed to the log (24: warnings).
  int LogLevel() const { return log_level_; }

  // Names of the library options set so far, in order.
  const std::vector<std::string>& Opt_names() const { return library_options_.Opt_names(); }

 protected:
  // Raises OnLog on the calling thread.
  virtual void DoLog(int level, const std::string& text);

 private:
  friend class TAVConvertThread;
  friend void EngineLogCallback(void* avcl, int level, const char* format, va_list args);

  class RunControl;

  void RunJob();
  void RunSteps(JobContext& job);
  void Transcode(JobContext& job);
  // The folder for this conversion's two-pass statistics, created on first use.
  std::string PassLogFolder();
  void RemovePassLogFolder();
  void FinishJob(ConvertOutcome outcome);
  void DoError(const std::string& message);
  // Parks the worker while paused; returns false when the job has been stopped.
  bool WaitWhilePaused();
  // Posts OnProgress unless one is pending or (unless `final`) one went out less than 50 ms ago.
  void NotifyProgress(bool final = false);
  // Applies `request` if it fits the current state; returns whether it did.
  bool Transition(ControlRequest request);

  Dispatcher& dispatcher_;
  // Posted events check this before touching the converter: it expires when it is destroyed.
  std::shared_ptr<TAVConverter*> alive_;

  // Set up by the caller before Convert; read by the worker while the job runs.
  TAVConvertOptions options_;
  TStringList input_files_;
  TStringList output_files_;
  // Worker only (templates live as long as the converter).
  LibraryOptions library_options_;
  const int log_level_ = AV_LOG_WARNING;

  // The state: written by control calls and the worker, always through Transition().
  std::atomic<TAVConvertState> state_{TAVConvertState::csNone};
  std::atomic<bool> stop_requested_{false};
  std::atomic<ConvertOutcome> outcome_{ConvertOutcome::kNone};
  // The worker parks on this while paused; control calls notify it.
  std::mutex gate_mutex_;
  std::condition_variable gate_;

  // Guarded by figures_mutex_: written by the worker (and the setters), read by anyone.
  mutable std::mutex figures_mutex_;
  ProgressSnapshot figures_;
  std::string last_error_message_;
  std::string error_message_;

  // Progress notifications: at most one pending.
  std::atomic<bool> progress_pending_{false};
  std::int64_t last_progress_post_us_ = 0;  // worker only

  // Worker only while a job runs; removed after a second pass and with the converter.
  std::string pass_log_folder_;

  // Owned by the caller's thread: created by Convert, joined by the next Convert or the
  // destructor.
  std::unique_ptr<TAVConvertThread> thread_;
};

// The library log callback: finds the converter whose worker is the calling thread through
// ConvertThreads and hands it the message. Installed by the loader; never throws.
void EngineLogCallback(void* avcl, int level, const char* format, va_list args);

}  // namespace zembra::engine
