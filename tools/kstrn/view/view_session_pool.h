// The streamed sessions kstrn view reads its one file through, lent one per
// /api/ request: a session has one cursor, so requests that each hold their
// own run in parallel and a slow answer holds up only its own. At most size
// sessions are opened, the first at once, the others when requests overlap.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kestron4/kestron4.hpp"

namespace kstrn::tool {

class SessionPool {
 public:
  // Throws as OpenFile does when the file cannot be opened.
  SessionPool(std::string file, unsigned size);
  ~SessionPool();

  class Lease {
   public:
    Lease(SessionPool* pool, std::unique_ptr<Session> session)
        : pool_(pool), session_(std::move(session)) {}
    Lease(Lease&&) noexcept = default;
    ~Lease();
    explicit operator bool() const { return session_ != nullptr; }
    Session& operator*() const { return *session_; }

   private:
    SessionPool* pool_;
    std::unique_ptr<Session> session_;
  };

  // A session for one request, waiting up to wait for one to come back when
  // all are lent; an empty lease when none did or stop was set.
  Lease Borrow(std::chrono::steady_clock::duration wait, const std::atomic<bool>& stop);

 private:
  void Return(std::unique_ptr<Session> session);

  std::string file_;
  unsigned size_;
  std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<std::unique_ptr<Session>> free_;
  unsigned open_ = 0;  // lent and free, and being opened
};

}  // namespace kstrn::tool
