#include "engine/dispatcher.h"

#include <algorithm>
#include <future>
#include <utility>

namespace zembra::engine {
EventLoopDispatcher::EventLoopDispatcher() : owner_(std::this_thread::get_id()) {}

EventLoopDispatcher::~EventLoopDispatcher() = default;

void EventLoopDispatcher::Post(std::function<void()> call) {
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  queued_.notify_all();
}

void EventLoopDispatcher::RunAndWait(std::function<void()> call) {
  if (std::this_thread::get_id() == owner_) {
    call();
    return;
  }
  std::promise<void> ran;
  std::future<void> done = ran.get_future();
  Post([&call, &ran] {
    try {
      call();
      ran.set_value();
    } catch (...) {
      ran.set_exception(std::current_exception());
    }
  });
  done.get();
}

int EventLoopDispatcher::ProcessPending() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(calls_);
  }
  for (auto& call : batch) call();
  return static_cast<int>(batch.size());
}

int EventLoopDispatcher::WaitAndProcess(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(mutex_);
    queued_.wait_for(lock, timeout, [this] { return !calls_.empty(); });
  }
  return ProcessPending();
}

bool EventLoopDispatcher::RunUntil(const std::function<bool()>& done,
                                   std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  ProcessPending();
  while (!done()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    WaitAndProcess(std::min(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now),
                            std::chrono::milliseconds(50)));
  }
  return true;
}

}  // namespace zembra::engine
