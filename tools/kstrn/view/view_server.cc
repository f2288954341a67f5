// kstrn view: the HTTP server around ViewService. It listens on the loopback
// address unless told otherwise, prints the address with its token, opens
// the default browser when asked to and one is there, and runs until
// interrupted.
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "view_service.h"

extern char** environ;

namespace kstrn::tool {
namespace {

ViewRequest RequestOf(const httplib::Request& in) {
  ViewRequest request;
  request.method = in.method;
  request.path = in.path;
  for (const auto& [name, value] : in.params) request.params.emplace(name, value);
  request.tokenHeader = in.get_header_value("X-Kstrn-Token");
  return request;
}

void Answer(ViewService& service, const httplib::Request& in, httplib::Response& out) {
  const ViewReply reply = service.Handle(RequestOf(in));
  out.status = reply.status;
  out.set_header("Cache-Control", "no-store");
  out.set_header("X-Content-Type-Options", "nosniff");
  out.set_header("Referrer-Policy", "no-referrer");
  out.set_header("Content-Security-Policy",
                 "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
                 "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
  out.set_content(reply.body, reply.type.c_str());
}

// The desktop's opener, when there is a desktop; its failure is only reported.
void OpenBrowser(const std::string& address) {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) return;
  const char* argv[] = {"xdg-open", address.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
      0)
    std::fprintf(stderr, "kstrn view: could not start xdg-open; open the address yourself\n");
  // The opener returns at once; it is reaped when the server ends.
}

}  // namespace

int RunView(const ViewOptions& options) {
  ViewService service(options.file, NewToken());
  httplib::Server server;
  server.set_read_timeout(10);
  server.set_write_timeout(10);
  server.set_payload_max_length(1 << 16);
  server.set_keep_alive_timeout(5);
  // Headers and body leave in separate writes; without this each answer
  // waits for the browser's delayed acknowledgement.
  server.set_tcp_nodelay(true);
  // A browser keeps up to six connections open; each holds a thread while it waits.
  server.new_task_queue = [] { return new httplib::ThreadPool(8); };
  const auto handler = [&service](const httplib::Request& in, httplib::Response& out) {
    Answer(service, in, out);
  };
  server.Get(".*", handler);
  server.Post(".*", handler);
  server.Put(".*", handler);
  server.Delete(".*", handler);
  server.Options(".*", handler);
  server.Patch(".*", handler);
  const int port = options.port == 0
                       ? server.bind_to_any_port(options.host)
                       : (server.bind_to_port(options.host, options.port) ? options.port : -1);
  if (port < 0) {
    throw Failure("cannot listen on " + options.host + " port " + std::to_string(options.port));
  }
  // A browser that closes a connection early must not end the server; the
  // view writes no files, so nothing needs cleaning up on a signal.
  ::signal(SIGPIPE, SIG_IGN);
  // Interrupts are waited for on this thread; the server's threads never see them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  std::thread listener([&server] { server.listen_after_bind(); });
  const std::string host =
      options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
  const std::string address =
      "http://" + host + ":" + std::to_string(port) + "/?token=" + service.Token();
  if (!service.OpenError().empty())
    std::fprintf(stderr, "kstrn view: %s (the page shows this)\n", service.OpenError().c_str());
  std::printf("kstrn view: %s\n", address.c_str());
  std::fflush(stdout);
  if (!options.noBrowser) OpenBrowser(address);
  int caught = 0;
  sigwait(&stop, &caught);
  server.stop();
  listener.join();
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  return kExitOk;
}

}  // namespace kstrn::tool
