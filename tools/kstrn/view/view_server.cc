// kstrn view: the HTTP server around ViewService. It listens on the loopback
// address unless told otherwise, prints the address with its token, opens
// the default browser when asked to and one is there, and runs until
// interrupted. Connections are accepted and their heads judged by ViewFront;
// cpp-httplib parses the judged heads, routes them and writes the answers.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "view_front.h"
#include "view_head.h"
#include "view_opener.h"
#include "view_service.h"

namespace kstrn::tool {
namespace {

// Gives the front the library's parsing and answering of one request, and
// the listening socket the library binds.
class ViewHttp : public httplib::Server {
 public:
  ~ViewHttp() override {
    const int fd = svr_sock_.exchange(INVALID_SOCKET);
    if (fd != INVALID_SOCKET) ::close(fd);
  }
  int Socket() const { return svr_sock_; }
  bool Serve(httplib::Stream& stream, bool closeAfter) {
    bool closed = false;
    return process_request(stream, closeAfter, closed, nullptr) && !closed;
  }
};

ViewRequest RequestOf(const httplib::Request& in) {
  ViewRequest request;
  request.method = in.method;
  request.path = in.path;
  for (const auto& [name, value] : in.params) request.params.emplace(name, value);
  request.tokenHeader = in.get_header_value("X-Kstrn-Token");
  return request;
}

// The address the socket is bound to: whether it is the loopback or the
// any-address.
void Kind(int fd, bool& loopback, bool& any) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  loopback = any = false;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
  if (address.ss_family == AF_INET) {
    const in_addr_t ip = ntohl(reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr);
    loopback = (ip >> 24) == 127;
    any = ip == INADDR_ANY;
  } else if (address.ss_family == AF_INET6) {
    const in6_addr& ip = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
    loopback = IN6_IS_ADDR_LOOPBACK(&ip) != 0;
    any = IN6_IS_ADDR_UNSPECIFIED(&ip) != 0;
  }
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A FIFO or a device would block the open (before the address is printed) or
// be read for ever; a missing or damaged file is shown on the page instead.
void RequireRegularFile(const std::string& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    throw Failure(file + " is not a regular file: kstrn view reads only files");
}

}  // namespace

int RunView(const ViewOptions& options) {
  if (options.host.empty())
    throw Failure("--host needs an address (127.0.0.1 is this machine only)");
  RequireRegularFile(options.file);
  ViewService service(options.file, NewToken());
  const FrontLimits limits;
  ViewHttp http;
  // Only for the Keep-Alive header the library writes: the front keeps these.
  http.set_keep_alive_max_count(limits.requestsPerConnection);
  http.set_keep_alive_timeout(
      std::chrono::duration_cast<std::chrono::seconds>(limits.idle).count());
  http.set_post_routing_handler([](const httplib::Request&, httplib::Response& out) {
    // Also on the library's own refusals (400, 414, ...).
    for (const auto& [name, value] : ViewSecurityHeaders()) out.set_header(name, value);
  });
  const auto handler = [&service](const httplib::Request& in, httplib::Response& out) {
    const ViewReply reply = service.Handle(RequestOf(in));
    out.status = reply.status;
    out.set_content(reply.body, reply.type.c_str());
  };
  http.Get(".*", handler);
  http.Post(".*", handler);
  http.Put(".*", handler);
  http.Delete(".*", handler);
  http.Options(".*", handler);
  http.Patch(".*", handler);
  const int port = options.port == 0
                       ? http.bind_to_any_port(options.host)
                       : (http.bind_to_port(options.host, options.port) ? options.port : -1);
  if (port < 0) {
    throw Failure("cannot listen on " + options.host + " port " + std::to_string(options.port));
  }
  bool loopback = false, any = false;
  Kind(http.Socket(), loopback, any);
  const std::string host =
      options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
  HostRule hosts;
  hosts.port = std::to_string(port);
  hosts.names.push_back(Lower(host) + ":" + hosts.port);
  if (loopback) hosts.names.push_back("localhost:" + hosts.port);
  hosts.anyNumeric = any;
  if (!loopback)
    std::fprintf(stderr,
                 "kstrn view: warning: listening on %s, beyond this machine; anyone who can reach "
                 "it and learns the address can read the file\n",
                 options.host.c_str());
  // Interrupts are waited for on this thread; the server's threads never see them.
  ::signal(SIGPIPE, SIG_IGN);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  ViewFront front(http.Socket(), hosts, limits,
                  [&http](httplib::Stream& stream, bool closeAfter) {
                    return http.Serve(stream, closeAfter);
                  });
  const std::string address =
      "http://" + host + ":" + std::to_string(port) + "/?token=" + service.Token();
  if (!service.OpenError().empty())
    std::fprintf(stderr, "kstrn view: %s (the page shows this)\n", service.OpenError().c_str());
  std::printf("kstrn view: %s\n", address.c_str());
  std::fflush(stdout);
  BrowserOpener opener;
  if (!options.noBrowser) opener.Open(address);
  int caught = 0;
  sigwait(&stop, &caught);
  // Answers in progress end at their next check; one long call into the
  // library cannot be cut short, so the program ends anyway after a moment
  // (it writes nothing but the browser's page, removed first).
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (!ended.wait_for(lock, std::chrono::milliseconds(900), [&] { return done; })) {
      opener.Remove();
      std::_Exit(kExitOk);
    }
  });
  service.Stop();
  front.Stop();
  {
    const std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  ended.notify_one();
  watchdog.join();
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  return kExitOk;
}

}  // namespace kstrn::tool
