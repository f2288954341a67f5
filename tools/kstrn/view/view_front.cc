// The accepting and waiting thread of kstrn view and its workers.
#include "view_front.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "view_stream.h"

namespace kstrn::tool {
namespace {

using std::chrono::milliseconds;

// After a refusal, what the client still sends is read and dropped for a
// moment, so that closing on unread bytes (which resets the connection) does
// not destroy the answer before the client has read it.
constexpr milliseconds kLinger{1000};
constexpr std::size_t kLingerBytes = 1 << 20;
constexpr std::size_t kAcceptsPerRound = 64;

}  // namespace

ViewFront::Connection::~Connection() {
  if (fd >= 0) ::close(fd);
}

ViewFront::ViewFront(int listenFd, HostRule hosts, FrontLimits limits, Serve serve)
    : listenFd_(listenFd),
      hosts_(std::move(hosts)),
      limits_(limits),
      serve_(std::move(serve)) {
  ::fcntl(listenFd_, F_SETFL, ::fcntl(listenFd_, F_GETFL) | O_NONBLOCK);
  // A burst of connections must wait in the kernel's queue, not be dropped
  // and retried a second later.
  ::listen(listenFd_, SOMAXCONN);
  if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0)
    throw std::runtime_error("no pipe for the server");
  gate_ = std::thread([this] { Gate(); });
  for (unsigned i = 0; i < limits_.workers; ++i) workers_.emplace_back([this] { Work(); });
}

ViewFront::~ViewFront() {
  Stop();
  ::close(wake_[0]);
  ::close(wake_[1]);
}

void ViewFront::Stop() {
  if (stopping_.exchange(true)) return;
  Wake();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ready_.notify_all();
  }
  gate_.join();
  for (std::thread& worker : workers_) worker.join();
  jobs_.clear();
  returned_.clear();
}

void ViewFront::Wake() {
  const char byte = 0;
  [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
}

void ViewFront::Accept(std::vector<Owned>& waiting) {
  for (std::size_t i = 0; i < kAcceptsPerRound; ++i) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE) {
        if (!waiting.empty()) {  // a descriptor for the newcomer
          waiting.erase(std::min_element(waiting.begin(), waiting.end(), [](auto& a, auto& b) {
            return a->deadline < b->deadline;
          }));
          continue;
        }
        // Out of descriptors with none of our own to give back: the socket
        // stays readable, so wait a little instead of spinning.
        std::this_thread::sleep_for(milliseconds(10));
      }
      return;
    }
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->deadline = Clock::now() + limits_.idle;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (waiting.size() >= limits_.connections)
      waiting.erase(std::min_element(waiting.begin(), waiting.end(), [](auto& a, auto& b) {
        return a->deadline < b->deadline;
      }));
    waiting.push_back(std::move(c));
  }
}

bool ViewFront::Receive(Connection& c) {
  char buffer[4096];
  for (;;) {
    // One byte past the bound tells a head that is too large.
    const std::size_t limit = kViewHeadMaxBytes + 1;
    const std::size_t room =
        c.closing ? sizeof buffer
                  : std::min(sizeof buffer, limit - std::min(c.received.size(), limit));
    if (room == 0) return true;
    const ssize_t n = ::recv(c.fd, buffer, room, 0);
    if (n > 0) {
      if (c.closing) {
        c.dropped += static_cast<std::size_t>(n);
        if (c.dropped > kLingerBytes) return false;
        continue;
      }
      c.received.append(buffer, static_cast<std::size_t>(n));
      if (!c.started) {
        c.started = true;
        c.deadline = Clock::now() + limits_.head;
      }
      continue;
    }
    if (n == 0) {
      c.ended = true;
      return !c.closing;
    }
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

void ViewFront::Refuse(Connection& c, int status, const std::string& reason) {
  const std::string answer = RefusalAnswer(status, reason);
  // Small enough for the socket's buffer; a client that does not read loses it.
  [[maybe_unused]] const ssize_t n =
      ::send(c.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  ::shutdown(c.fd, SHUT_WR);
  c.closing = true;
  c.received.clear();
  c.received.shrink_to_fit();
  c.deadline = Clock::now() + kLinger;
}

ViewFront::Step ViewFront::Advance(Owned& c, bool readable, Clock::time_point now) {
  if (readable && !Receive(*c)) return Step::kDone;
  if (c->closing) return c->ended || now >= c->deadline ? Step::kDone : Step::kWait;
  const std::size_t end = HeadEnd(c->received, c->scanned);
  if (end == std::string::npos || end > kViewHeadMaxBytes) {
    c->scanned = std::max<std::size_t>(c->received.size(), 3) - 3;
    if (c->received.size() > kViewHeadMaxBytes) {
      Refuse(*c, 431, "request head over " + std::to_string(kViewHeadMaxBytes) + " bytes");
    } else if (now >= c->deadline) {
      if (!c->started) return Step::kDone;
      Refuse(*c, 408, "the request head did not arrive in time");
    } else if (c->ended) {
      return Step::kDone;
    }
    return Step::kWait;
  }
  std::string head = c->received.substr(0, end);
  const HeadVerdict verdict = JudgeHead(head, hosts_);
  if (verdict.status != 0) {
    Refuse(*c, verdict.status, verdict.reason);
    return Step::kWait;
  }
  c->received.replace(0, end, head);
  c->head = head.size();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(c));
  }
  ready_.notify_one();
  return Step::kHanded;
}

void ViewFront::Gate() {
  std::vector<Owned> waiting;
  std::vector<pollfd> fds;
  while (!stopping_) {
    Clock::time_point now = Clock::now();
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      for (Owned& c : returned_) waiting.push_back(std::move(c));
      returned_.clear();
    }
    // A connection back from a worker may already hold its next head.
    for (Owned& c : waiting)
      if (!c->closing && c->scanned == 0 && !c->received.empty() &&
          Advance(c, false, now) != Step::kWait)
        c.reset();
    waiting.erase(std::remove(waiting.begin(), waiting.end(), nullptr), waiting.end());

    fds.assign({pollfd{wake_[0], POLLIN, 0}, pollfd{listenFd_, POLLIN, 0}});
    Clock::time_point next = now + milliseconds(1000);
    for (const Owned& c : waiting) {
      fds.push_back(pollfd{c->fd, POLLIN, 0});
      next = std::min(next, c->deadline);
    }
    const auto wait = std::chrono::duration_cast<milliseconds>(next - now).count() + 1;
    ::poll(fds.data(), fds.size(), static_cast<int>(std::clamp<long long>(wait, 0, 1000)));
    if (fds[0].revents != 0) {
      char drain[64];
      while (::read(wake_[0], drain, sizeof drain) > 0) {
      }
    }
    now = Clock::now();
    for (std::size_t i = 0; i < waiting.size(); ++i) {
      const bool readable = (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
      if (Advance(waiting[i], readable, now) != Step::kWait) waiting[i].reset();
    }
    waiting.erase(std::remove(waiting.begin(), waiting.end(), nullptr), waiting.end());
    if ((fds[1].revents & POLLIN) != 0) Accept(waiting);
  }
}

void ViewFront::Work() {
  for (;;) {
    Owned c;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      c = std::move(jobs_.front());
      jobs_.pop_front();
    }
    const bool last = ++c->served >= limits_.requestsPerConnection || c->ended;
    bool again = false;
    {
      HeadStream stream(c->fd, std::string_view(c->received).substr(0, c->head),
                        Clock::now() + limits_.answer, stopping_);
      again = serve_(stream, last) && !last;
    }
    if (!again || stopping_) continue;
    c->received.erase(0, c->head);
    c->head = 0;
    c->scanned = 0;
    c->started = !c->received.empty();
    c->deadline = Clock::now() + (c->started ? limits_.head : limits_.idle);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      returned_.push_back(std::move(c));
    }
    Wake();
  }
}

}  // namespace kstrn::tool
