// Judging a request head on its raw bytes.
#include "view_head.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kstrn::tool {
namespace {

bool TokenChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
         std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool Token(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), TokenChar);
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Method, target and version separated by single spaces; the target without
// controls.
bool RequestLine(std::string_view line) {
  const std::size_t first = line.find(' ');
  const std::size_t last = line.rfind(' ');
  if (first == std::string_view::npos || first == last) return false;
  const std::string_view target = line.substr(first + 1, last - first - 1);
  const std::string_view version = line.substr(last + 1);
  return Token(line.substr(0, first)) && !target.empty() &&
         std::none_of(target.begin(), target.end(),
                      [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; }) &&
         (version == "HTTP/1.1" || version == "HTTP/1.0");
}

bool NumericHost(std::string_view host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') return true;
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '.';
  });
}

const char* StatusText(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

}  // namespace

bool HostRule::Allows(std::string_view host) const {
  const std::string lower = Lower(host);
  if (std::find(names.begin(), names.end(), lower) != names.end()) return true;
  const std::size_t colon = lower.rfind(':');
  if (!anyNumeric || colon == std::string::npos || lower.substr(colon + 1) != port) return false;
  return NumericHost(std::string_view(lower).substr(0, colon));
}

std::size_t HeadEnd(std::string_view data, std::size_t from) {
  const std::size_t at = data.find("\r\n\r\n", from);
  return at == std::string_view::npos ? at : at + 4;
}

HeadVerdict JudgeHead(std::string& head, const HostRule& rule) {
  std::vector<std::string_view> lines;
  const std::string_view all(head);
  for (std::size_t at = 0; at + 2 < all.size();) {
    const std::size_t end = all.find("\r\n", at);
    lines.push_back(all.substr(at, end - at));
    at = end + 2;
  }
  if (lines.empty() || !RequestLine(lines[0])) return {400, "malformed request line"};
  if (lines.size() > kViewHeadMaxLines) return {431, "too many header lines"};
  std::size_t hosts = 0;
  bool hostAllowed = false, body = false, ranges = false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !Token(line.substr(0, colon)) ||
        line.find_first_of("\r\n") != std::string_view::npos)
      return {400, "malformed header line"};
    const std::string name = Lower(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (name == "host") {
      ++hosts;
      hostAllowed = rule.Allows(value);
    } else if (name == "transfer-encoding" || (name == "content-length" && value != "0")) {
      body = true;
    } else if (name == "range") {
      ranges = true;
    }
  }
  if (body) return {413, "the view takes no request bodies"};
  if (hosts != 1 || !hostAllowed) return {403, "the Host header does not name this server"};
  if (ranges) {
    std::string kept;
    kept.reserve(head.size());
    for (const std::string_view line : lines) {
      if (line.size() >= 6 && Lower(line.substr(0, 6)) == "range:") continue;
      kept.append(line).append("\r\n");
    }
    head = kept.append("\r\n");
  }
  return {};
}

const std::vector<std::pair<std::string, std::string>>& ViewSecurityHeaders() {
  static const std::vector<std::pair<std::string, std::string>> headers{
      {"Cache-Control", "no-store"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
      {"Content-Security-Policy",
       "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
       "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"}};
  return headers;
}

std::string RefusalAnswer(int status, const std::string& reason) {
  const std::string body = std::to_string(status) + " " + reason + "\n";
  std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
                       "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\nConnection: close\r\n";
  for (const auto& [name, value] : ViewSecurityHeaders()) answer += name + ": " + value + "\r\n";
  return answer + "\r\n" + body;
}

}  // namespace kstrn::tool
