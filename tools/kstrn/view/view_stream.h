// The stream the HTTP library parses one request from and writes its answer
// to: it reads only the request's head, already received and judged by the
// front, and writes to the connection until a deadline or until the server
// stops, so that a client that does not read cannot hold a worker.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

namespace kstrn::tool {

class HeadStream : public httplib::Stream {
 public:
  using Clock = std::chrono::steady_clock;

  // head must outlive the stream; fd stays open and owned by the caller.
  HeadStream(int fd, std::string_view head, Clock::time_point deadline,
             const std::atomic<bool>& stopping)
      : fd_(fd), head_(head), deadline_(deadline), stopping_(stopping) {}

  bool is_readable() const override { return read_ < head_.size(); }
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return fd_; }

 private:
  int fd_;
  std::string_view head_;
  std::size_t read_ = 0;
  Clock::time_point deadline_;
  const std::atomic<bool>& stopping_;
};

}  // namespace kstrn::tool
