// kstrn view's judgement of a request head (the request line and the header
// lines up to the blank line), made on the raw bytes before the HTTP library
// parses them and before the token is looked at: whoever can reach the port
// gets this far, so nothing here allocates more than the head's own bounded
// bytes. A request whose head is refused is answered and its connection
// closed without reading anything after the head.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kstrn::tool {

inline constexpr std::size_t kViewHeadMaxBytes = 16 * 1024;
inline constexpr std::size_t kViewHeadMaxLines = 64;  // the request line included

// Which Host headers name the address served: "host:port" as printed, any
// case. On the loopback address "localhost:port" too; when listening on every
// address, any numeric address with the port (a name there could be an
// attacker's, rebound to this machine).
struct HostRule {
  std::vector<std::string> names;  // lower case
  std::string port;
  bool anyNumeric = false;

  bool Allows(std::string_view host) const;
};

struct HeadVerdict {
  int status = 0;      // 0: accepted, else the status of the refusal
  std::string reason;  // of a refusal, for its body
};

// Where the head in data ends (just past its blank line), looking for the
// blank line from byte from on; npos while it is incomplete. Scanning from
// the previous end of data minus three keeps a head that trickles in linear.
std::size_t HeadEnd(std::string_view data, std::size_t from);

// Judges a complete head (through its blank line): a well-formed request line
// of HTTP/1.x, at most kViewHeadMaxLines lines, exactly one Host that rule
// allows, and no body (a Content-Length other than 0, or any
// Transfer-Encoding). Range headers are removed from head: the view answers
// every request whole, so that no request can multiply its answer.
HeadVerdict JudgeHead(std::string& head, const HostRule& rule);

// A complete answer with status and a plain-text body, which closes the
// connection, with the same security headers as every other answer.
std::string RefusalAnswer(int status, const std::string& reason);

// The headers every answer of the view carries, as name and value.
const std::vector<std::pair<std::string, std::string>>& ViewSecurityHeaders();

}  // namespace kstrn::tool
