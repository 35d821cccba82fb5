#pragma once

#include <condition_variable>
#include <mutex>

// An event that releases exactly one waiter per Set and then resets itself,
// the way the worker pool's job slots are signalled in both directions.

namespace quillon::platform {

class AutoResetEvent {
  public:
    void Set() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_one();
    }

    void Wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

}  // namespace quillon::platform
