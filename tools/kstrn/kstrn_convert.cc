// kstrn convert: any file the library opens, saved as a container; and
// kstrn export-qf73, which writes a session's logger configuration.
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "kstrn_open.h"
#include "kstrn_progress.h"
#include "kstrn_safety.h"

namespace kstrn::tool {
namespace {

namespace fs = std::filesystem;

// Paths are UTF-8 text here; std::filesystem would read a plain string in the
// ANSI code page on Windows.
fs::path AsPath(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }
std::string AsText(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// Output paths for every input, checked before anything is written.
std::vector<std::string> Destinations(const ConvertOptions& options) {
  if (options.out.empty() == options.dir.empty()) {
    throw Failure("convert: give either -o OUT or -d DIR");
  }
  if (!options.out.empty()) {
    if (options.inputs.size() != 1)
      throw Failure("convert: -o takes one input; use -d DIR for several");
    return {options.out};
  }
  std::error_code error;
  const fs::path dir = AsPath(options.dir);
  fs::create_directories(dir, error);
  if (!fs::is_directory(dir)) {
    throw Failure(options.dir + ": cannot create directory" +
                  (error ? ": " + error.message() : ""));
  }
  std::vector<std::string> outputs;
  std::set<std::string> seen;
  for (const std::string& input : options.inputs) {
    const fs::path name = AsPath(input).filename().replace_extension(".kst");
    const std::string output = AsText(dir / name);
    if (!seen.insert(output).second) {
      throw Failure("convert: two inputs would both be written to " + output);
    }
    outputs.push_back(output);
  }
  return outputs;
}

}  // namespace

int RunConvert(const ConvertOptions& options) {
  const std::vector<std::string> outputs = Destinations(options);
  ProgressBar progress(options.inputs.size(), options.inputs.size() > 1);
  std::size_t failed = 0;
  for (std::size_t i = 0; i < options.inputs.size(); ++i) {
    progress.Show(i, options.inputs[i]);
    try {
      SaveFile(OpenFile(options.inputs[i], true), outputs[i]);
    } catch (const std::exception& e) {
      progress.Clear();
      std::fprintf(stderr, "kstrn: %s\n", e.what());
      ++failed;
    }
  }
  progress.Show(options.inputs.size(), "done");
  progress.Clear();
  if (failed != 0) {
    throw Failure("convert: " + std::to_string(failed) + " of " +
                  std::to_string(options.inputs.size()) + " input(s) failed");
  }
  return kExitOk;
}

int RunExportQf73(const ExportOptions& options) {
  Session session = OpenFile(options.file);
  // The library writes the file by its name, the one safe way.
  RefuseInputAsOutput(options.out);
  try {
    session.ExportQF73(options.out);
  } catch (const Error& e) {
    throw Failure(options.out + ": " + e.what());
  }
  return kExitOk;
}

}  // namespace kstrn::tool
