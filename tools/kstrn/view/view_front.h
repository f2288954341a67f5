// kstrn view's connection handling in front of the HTTP library. One thread
// accepts connections and waits on all of them at once (poll) until each has
// sent a complete request head, within bounds of size and time; only a judged
// head reaches a worker, which has the library parse it and write the answer,
// then gives the connection back to wait for its next request. So idle and
// slow connections cost a descriptor and at most one head's bytes each, not a
// thread, and a real client is answered while hundreds of them are open.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "view_head.h"

namespace kstrn::tool {

struct FrontLimits {
  std::size_t connections = 512;  // beyond, the longest-waiting connection is closed
  std::chrono::milliseconds idle{5000};    // for a request to start on an open connection
  std::chrono::milliseconds head{5000};    // for a request's head, from its first byte
  std::chrono::milliseconds answer{30000};  // for writing one answer
  unsigned workers = 16;
  unsigned requestsPerConnection = 100;
};

class ViewFront {
 public:
  // Parses the head readable from stream, answers it on stream and says
  // whether the connection may carry another request; closeAfter asks the
  // answer to close the connection. Called on a worker thread, several at once.
  using Serve = std::function<bool(httplib::Stream& stream, bool closeAfter)>;

  // listenFd: a listening socket, which the front makes non-blocking and
  // accepts on until Stop; the caller keeps owning it.
  ViewFront(int listenFd, HostRule hosts, FrontLimits limits, Serve serve);
  ~ViewFront();
  ViewFront(const ViewFront&) = delete;
  ViewFront& operator=(const ViewFront&) = delete;

  // Closes every waiting connection, lets the workers' answers end (their
  // writes fail once Stopping() is set) and joins the threads.
  void Stop();
  // Set once Stop has begun; answers in progress may watch it.
  const std::atomic<bool>& Stopping() const { return stopping_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Connection {
    int fd = -1;
    std::string received;       // the head so far, and any bytes sent after it
    std::size_t scanned = 0;    // received holds no head end before this
    Clock::time_point deadline;
    std::size_t head = 0;       // bytes of the judged head, for a worker
    bool started = false;       // a byte of the current request has arrived
    bool ended = false;         // the client has closed its side
    bool closing = false;       // refused: its answer is out, the rest is dropped
    std::size_t dropped = 0;
    unsigned served = 0;
    ~Connection();
  };
  using Owned = std::unique_ptr<Connection>;

  void Gate();
  void Work();
  enum class Step { kWait, kHanded, kDone };
  void Accept(std::vector<Owned>& waiting);
  // Reads what c has sent without blocking; false when c is to be closed.
  bool Receive(Connection& c);
  // Reads c when readable, then judges its head once whole and hands it to
  // the workers, refuses it, or closes c when its deadline has passed.
  Step Advance(Owned& c, bool readable, Clock::time_point now);
  void Refuse(Connection& c, int status, const std::string& reason);
  void Wake();

  int listenFd_;
  HostRule hosts_;
  FrontLimits limits_;
  Serve serve_;
  std::atomic<bool> stopping_{false};
  int wake_[2] = {-1, -1};

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Owned> jobs_;      // heads for the workers
  std::vector<Owned> returned_;  // connections back from the workers
  std::thread gate_;
  std::vector<std::thread> workers_;
};

}  // namespace kstrn::tool
