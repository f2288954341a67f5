#include "view_session_pool.h"

#include "kstrn_open.h"

namespace kstrn::tool {

SessionPool::SessionPool(std::string file, unsigned size) : file_(std::move(file)), size_(size) {
  free_.push_back(std::make_unique<Session>(OpenFile(file_, true)));
  open_ = 1;
}

SessionPool::~SessionPool() = default;

SessionPool::Lease::~Lease() {
  if (session_) pool_->Return(std::move(session_));
}

void SessionPool::Return(std::unique_ptr<Session> session) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(session));
  }
  returned_.notify_one();
}

SessionPool::Lease SessionPool::Borrow(std::chrono::steady_clock::duration wait,
                                       const std::atomic<bool>& stop) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  std::unique_lock<std::mutex> lock(mutex_);
  if (free_.empty() && open_ < size_) {
    ++open_;
    lock.unlock();
    try {
      return Lease(this, std::make_unique<Session>(OpenFile(file_, true)));
    } catch (const std::exception&) {
      // The file opened once; wait for a session that is open instead.
    }
    lock.lock();
    --open_;
  }
  // Woken by returns; the short step notices stop.
  while (free_.empty() && !stop && std::chrono::steady_clock::now() < deadline)
    returned_.wait_for(lock, std::chrono::milliseconds(100));
  if (free_.empty() || stop) return Lease(this, nullptr);
  std::unique_ptr<Session> session = std::move(free_.back());
  free_.pop_back();
  return Lease(this, std::move(session));
}

}  // namespace kstrn::tool
