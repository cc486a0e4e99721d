// How the engine reaches the thread that owns the user interface.
//
// A converter's worker never calls user code that expects the user-interface thread directly:
// it posts the call through a Dispatcher. The Qt application implements it with queued
// invocations; the command line and the tests use EventLoopDispatcher, a plain loop that the
// owning thread runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace zembra::engine {

class Dispatcher {
 public:
  virtual ~Dispatcher() = default;
  // Queues `call` to run on the dispatcher's thread; returns at once. Safe from any thread.
  virtual void Post(std::function<void()> call) = 0;
  // Runs `call` on the dispatcher's thread and returns once it has run (at once when called on
  // that thread). The dispatcher's thread must keep processing calls while another thread waits.
  virtual void RunAndWait(std::function<void()> call) = 0;
};

// A queue of calls run by the thread that created the dispatcher.
class EventLoopDispatcher : public Dispatcher {
 public:
  EventLoopDispatcher();
  ~EventLoopDispatcher() override;

  void Post(std::function<void()> call) override;
  void RunAndWait(std::function<void()> call) override;

  // Runs the calls queued so far; returns how many ran. Owning thread only.
  int ProcessPending();
  // Waits up to `timeout` for a call, then runs what is queued. Returns how many ran.
  int WaitAndProcess(std::chrono::milliseconds timeout);
  // Processes calls until `done()` is true (checked after each batch) or `timeout` passes;
  // returns whether `done()` became true.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

 private:
  std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<std::function<void()>> calls_;  // guarded by mutex_
};

}  // namespace zembra::engine
