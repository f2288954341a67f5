#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "storage/platform/program_process.h"

namespace kestron4 {
namespace {

void (*g_cleanup)() = nullptr;

void OnSignal(int signal) {
  if (g_cleanup != nullptr) g_cleanup();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

int Descriptor(StandardStream stream) {
  switch (stream) {
    case StandardStream::kInput:
      return STDIN_FILENO;
    case StandardStream::kOutput:
      return STDOUT_FILENO;
    case StandardStream::kError:
      break;
  }
  return STDERR_FILENO;
}

}  // namespace

std::vector<std::string> StartProgram(int argc, char** argv) { return {argv, argv + argc}; }

std::string ProgramPath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

NativeFile StandardFile(StandardStream stream) { return Descriptor(stream); }

bool IsTerminal(StandardStream stream) { return ::isatty(Descriptor(stream)) == 1; }

std::size_t TerminalColumns(StandardStream stream) {
  struct winsize size {};
  return ::ioctl(Descriptor(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

std::string LastSystemError() { return std::strerror(errno); }

void OnInterrupt(void (*cleanup)()) {
  g_cleanup = cleanup;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    // A signal the caller ignores (nohup, a shell's background job) stays ignored.
    struct sigaction old {};
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(s, &action, nullptr);
  }
}

void RemoveAtInterrupt(const char* path) { ::unlink(path); }

}  // namespace kestron4
