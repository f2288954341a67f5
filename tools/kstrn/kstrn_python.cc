#include "kstrn_python.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "kstrn_failure.h"
#include "storage/platform/program_process.h"

#ifndef _WIN32
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
extern char** environ;
#endif

#ifndef KESTRON4_DEFAULT_PYTHON
#define KESTRON4_DEFAULT_PYTHON "python3"
#endif

namespace kstrn::tool {
namespace {

#ifndef _WIN32
std::vector<std::string> Arguments(const std::string& python, const RecordingExportOptions& o) {
  std::vector<std::string> args = {python, "-m", "kestron4._export_cli", o.file, "--to", o.format,
                                   "-o", o.out, "--fill", o.fill};
  for (const std::string& channel : o.channels) args.insert(args.end(), {"--channel", channel});
  if (o.from) args.insert(args.end(), {"--from", *o.from});
  if (o.until) args.insert(args.end(), {"--until", *o.until});
  if (o.rasterMs) args.insert(args.end(), {"--raster", std::to_string(*o.rasterMs)});
  if (o.raw) args.emplace_back("--raw");
  for (const std::string& setting : o.settings) args.insert(args.end(), {"--set", setting});
  return args;
}

// The staged package of the build tree kstrn runs from: <build>/python.
std::string StagedPackage() {
  const std::string program = kestron4::ProgramPath();
  const std::size_t slash = program.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  const std::string staged = program.substr(0, slash) + "/../../python";
  struct stat info;
  if (::stat((staged + "/kestron4/__init__.py").c_str(), &info) != 0) return std::string();
  return staged;
}
#endif

}  // namespace

int RunPythonExport(const RecordingExportOptions& options) {
#ifdef _WIN32
  (void)options;
  throw Failure("export: --to parquet runs the Python package, which this build lacks");
#else
  const char* chosen = std::getenv("KESTRON4_PYTHON");
  const std::string python = chosen != nullptr && *chosen != '\0' ? chosen : KESTRON4_DEFAULT_PYTHON;
  std::vector<std::string> args = Arguments(python, options);
  std::vector<std::string> env;
  const std::string staged = StagedPackage();
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (!staged.empty() && entry.rfind("PYTHONPATH=", 0) == 0) continue;
    env.push_back(entry);
  }
  if (!staged.empty()) {
    const char* old = std::getenv("PYTHONPATH");
    env.push_back("PYTHONPATH=" + staged + (old != nullptr && *old != '\0' ? ":" + std::string(old) : ""));
  }
  std::vector<char*> argv, envp;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, python.c_str(), nullptr, nullptr, argv.data(), envp.data());
  if (spawned != 0) {
    throw Failure("export: --to parquet runs the Python package, but " + python +
                  " could not be started (set KESTRON4_PYTHON to an interpreter that has "
                  "kestron4 and pyarrow)");
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) throw Failure("export: lost the Python process");
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return kExitOk;
  throw Failure("export: the Python package's Parquet export failed (" + python + ")");
#endif
}

}  // namespace kstrn::tool
