// Reading a judged head and writing an answer under a deadline.
#include "view_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kstrn::tool {
namespace {

// Polls in short steps so that a stopping server is noticed at once.
constexpr int kStepMs = 100;

void AddressOf(const sockaddr_storage& address, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    port = ntohs(in6.sin6_port);
  } else if (address.ss_family == AF_INET) {
    const auto& in4 = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &in4.sin_addr, text, sizeof text);
    port = ntohs(in4.sin_port);
  }
  ip = text;
}

}  // namespace

bool HeadStream::is_writable() const { return !stopping_ && Clock::now() < deadline_; }

ssize_t HeadStream::read(char* ptr, size_t size) {
  const std::size_t n = std::min(size, head_.size() - read_);
  std::memcpy(ptr, head_.data() + read_, n);
  read_ += n;
  return static_cast<ssize_t>(n);
}

ssize_t HeadStream::write(const char* ptr, size_t size) {
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fd_, ptr + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (!is_writable()) return -1;
    pollfd p{fd_, POLLOUT, 0};
    ::poll(&p, 1, kStepMs);
  }
  return static_cast<ssize_t>(size);
}

void HeadStream::get_remote_ip_and_port(std::string& ip, int& port) const {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    AddressOf(address, ip, port);
}

void HeadStream::get_local_ip_and_port(std::string& ip, int& port) const {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    AddressOf(address, ip, port);
}

}  // namespace kstrn::tool
