// kstrn: looks inside, converts and scripts kestron4 files. Argument parsing
// lives here; each subcommand is a Run function of kstrn_commands.h.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "kestron4/kestron4.hpp"
#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "kstrn_names.h"
#include "kstrn_safety.h"
#include "storage/platform/program_process.h"

namespace kstrn::tool {
namespace {

// A TID given on the command line as a number or a name of the dictionary;
// value: whether it must be a value TID, else an item TID.
CLI::Validator TidOf(bool value) {
  return CLI::Validator(
      [value](std::string& text) -> std::string {
        const std::optional<uint16_t> tid = Dictionary().Parse(text);
        if (!tid) return "not a TID or a name of the TID dictionary: " + text;
        if (value != KSTRN_IsValueID(*tid) || *tid == 0) {
          return value ? "value TIDs are 1000..13999, not " + text
                       : "item TIDs are 1..999 and 14000..65535, not " + text;
        }
        text = std::to_string(*tid);
        return std::string();
      },
      value ? "VALUE-TID" : "ITEM-TID");
}

CLI::Validator DisplayFormOption() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (kstrn::Names::IsDisplay(text) && text != "-" && text != "item") return std::string();
        return "not a display form: " + text +
               " (u8 i8 u16 i16 u32 i32 u64 i64 f32 f64 text utf8 utf16 hex blob)";
      },
      "FORM");
}

struct Options {
  InfoOptions info;
  TreeOptions tree;
  GetOptions get;
  ExtractOptions extract;
  ConvertOptions convert;
  ExportOptions qf73;
  RecordingExportOptions exportRecording;
  CheckOptions check;
  CodecOptions compress;
  CodecOptions decompress;
  ToJsonOptions toJson;
  FromJsonOptions fromJson;
  FindOptions find;
  RecoverOptions recover;
  ViewOptions view;
};

void AddCommands(CLI::App& app, Options& o, std::function<int()>& run) {
  auto* info =
      app.add_subcommand("info", "File type, size, counts, depth, references and integrity");
  info->add_option("FILE", o.info.file, "Container or older logger file, - for standard input")
      ->required();
  info->add_flag("--json", o.info.json, "Print a JSON object instead of text");
  info->callback([&] { run = [&] { return RunInfo(o.info); }; });

  auto* tree = app.add_subcommand("tree", "The tree of item blocks, optionally with values");
  tree->add_option("FILE", o.tree.file, "Container or older logger file")->required();
  tree->add_option("-d,--depth", o.tree.depth, "Show N levels below the root")
      ->check(CLI::Range(int64_t{0}, int64_t{65535}));
  tree->add_flag("--values", o.tree.values,
                 "Show every value: TID, kind, size and a readable form");
  tree->add_flag("--json", o.tree.json, "Print the documented JSON form (docs/KSTRN.md)");
  tree->add_option("--preview", o.tree.preview, "Bytes of a blob to show (default 16)")
      ->check(CLI::Range(0u, 1u << 20));
  tree->callback([&] { run = [&] { return RunTree(o.tree); }; });

  auto* get = app.add_subcommand("get", "Print one value of one block");
  get->add_option("FILE", o.get.file, "Container or older logger file")->required();
  get->add_option("PATH", o.get.path, "Block path, such as / or /23:0/105:2")->required();
  get->add_option("TID", o.get.tid, "Value TID")->required()->transform(TidOf(true));
  auto* raw = get->add_flag("--raw", o.get.raw, "Write the payload bytes unchanged");
  auto* hex = get->add_flag("--hex", o.get.hex, "Write the payload as hex")->excludes(raw);
  get->add_option("--as", o.get.as,
                  "Show the payload as u8 i8 u16 i16 u32 i32 u64 i64 f32 f64 "
                  "text utf8 utf16 hex (default: the TID dictionary's form)")
      ->check(DisplayFormOption())
      ->excludes(raw)
      ->excludes(hex);
  get->callback([&] { run = [&] { return RunGet(o.get); }; });

  auto* extract = app.add_subcommand("extract", "Write a blob (or any value's payload) to a file");
  extract->add_option("FILE", o.extract.file, "Container or older logger file")->required();
  extract->add_option("PATH", o.extract.path, "Block path, such as /135:0")->required();
  extract->add_option("-o,--output", o.extract.out, "Output file, - for standard output")
      ->required();
  extract->add_option("--tid", o.extract.tid, "Value TID (default 1063, the blob)")
      ->transform(TidOf(true));
  extract->add_option("--offset", o.extract.offset, "First payload byte to write (default 0)");
  extract->add_option("--count", o.extract.count, "Bytes to write (default: to the end)");
  extract->callback([&] { run = [&] { return RunExtract(o.extract); }; });

  auto* convert = app.add_subcommand("convert", "Save files the library opens as containers");
  convert->add_option("IN", o.convert.inputs, "Input files")->required();
  auto* out = convert->add_option("-o,--output", o.convert.out, "Output file (one input)");
  convert->add_option("-d,--directory", o.convert.dir, "Output directory: IN's name with .kst")
      ->excludes(out);
  convert->callback([&] { run = [&] { return RunConvert(o.convert); }; });

  auto* qf73 =
      app.add_subcommand("export-qf73", "Write the logger configuration as a QF73 v3 file");
  qf73->add_option("FILE", o.qf73.file, "Container or older logger file")->required();
  qf73->add_option("OUT", o.qf73.out, "QF73 file to write")->required();
  qf73->callback([&] { run = [&] { return RunExportQf73(o.qf73); }; });

  RecordingExportOptions& e = o.exportRecording;
  auto* exp = app.add_subcommand(
      "export",
      "Write a recording as CSV, Parquet, MDF 4 or MAT, per rate or on one raster (docs/RECORDING.md)");
  exp->add_option("FILE", e.file, "Container or older logger data file")->required();
  exp->add_option("--to", e.format, "Format: csv, parquet, mdf, mat")
      ->required();
  exp->add_option("-o,--output", e.out,
                  "Output file; per rate, each rate's file is OUT with _<period>ms before its "
                  "extension")
      ->required();
  exp->add_option("--channels", e.channels, "Channels to write (default: all), by name");
  exp->add_option("--from", e.from, "Window start: seconds, or a number with ms, s or min");
  exp->add_option("--until", e.until, "Window end (exclusive), as --from");
  exp->add_option("--raster", e.rasterMs, "Put every channel on one raster of MS milliseconds")
      ->check(CLI::PositiveNumber);
  auto* rawFlag = exp->add_flag("--raw", e.raw, "Samples as stored");
  exp->add_flag("--physical", [&e](int64_t) { e.raw = false; },
                "Physical values where a table applies (the default)")
      ->excludes(rawFlag);
  exp->add_option("--fill", e.fill, "On a raster: auto (linear where a table applies), hold, linear")
      ->check(CLI::IsMember({"auto", "hold", "linear"}));
  exp->add_option("--set", e.settings, "KEY=VALUE setting of the format (repeatable)");
  exp->callback([&] { run = [&] { return RunExportRecording(o.exportRecording); }; });

  auto* check =
      app.add_subcommand("check", "Check references and blobs; exit status 1 on a problem");
  check->add_option("FILE", o.check.file, "Container or older logger file")->required();
  check->callback([&] { run = [&] { return RunCheck(o.check); }; });

  auto* compress =
      app.add_subcommand("compress", "Compress a file with the library's LZRW1-KH coder");
  compress->add_option("IN", o.compress.in, "Input file, - for standard input")->required();
  compress->add_option("OUT", o.compress.out, "Output file, - for standard output")->required();
  compress->callback([&] { run = [&] { return RunCompress(o.compress); }; });

  auto* decompress = app.add_subcommand("decompress", "Restore a file written by kstrn compress");
  decompress->add_option("IN", o.decompress.in, "Input file, - for standard input")->required();
  decompress->add_option("OUT", o.decompress.out, "Output file, - for standard output")->required();
  decompress->callback([&] { run = [&] { return RunDecompress(o.decompress); }; });

  auto* toJson = app.add_subcommand("to-json", "Lossless JSON text of a whole file");
  toJson->add_option("FILE", o.toJson.file, "Container or older logger file")->required();
  toJson->add_option("-o,--output", o.toJson.out, "Output file (default: standard output)");
  toJson->callback([&] { run = [&] { return RunToJson(o.toJson); }; });

  auto* fromJson = app.add_subcommand("from-json", "Build a container from to-json's text");
  fromJson->add_option("JSON", o.fromJson.json, "JSON file, - for standard input")->required();
  fromJson->add_option("OUT", o.fromJson.out, "Container file to write")->required();
  fromJson->callback([&] { run = [&] { return RunFromJson(o.fromJson); }; });

  auto* find = app.add_subcommand(
      "find", "Paths of the blocks of an item whose key value equals KEY; exit 1 if none");
  find->add_option("FILE", o.find.file, "Container or older logger file")->required();
  find->add_option("ITEM", o.find.itemTid, "Item TID or name")->required()->transform(TidOf(false));
  find->add_option("KEY-TID", o.find.keyTid, "Value TID or name of the key")
      ->required()
      ->transform(TidOf(true));
  find->add_option("KEY", o.find.key, "Key: text, a number, or hex for bytes")->required();
  find->callback([&] { run = [&] { return RunFind(o.find); }; });

  auto* recover = app.add_subcommand(
      "recover", "Write what a damaged container still holds to OUT; exit 1 if anything was lost");
  recover->add_option("DAMAGED", o.recover.damaged, "Damaged container")->required();
  recover->add_option("OUT", o.recover.out, "Container file to write")->required();
  recover->callback([&] { run = [&] { return RunRecover(o.recover); }; });

#ifdef KESTRON4_VIEW
  auto* view = app.add_subcommand(
      "view", "Browse the file in a web browser: tree, values, blobs and recorded channels");
  view->add_option("FILE", o.view.file, "Container or older logger file")->required();
  view->add_option("--port", o.view.port, "Port to listen on (default: any free one)");
  view->add_option("--host", o.view.host,
                   "Address to listen on (default 127.0.0.1: this machine only)");
  view->add_flag("--no-browser", o.view.noBrowser, "Only print the address, open no browser");
  view->callback([&] { run = [&] { return RunView(o.view); }; });
#endif
}

const char* const kCommands[] = {"help",    "info",        "tree",   "get",      "extract",
                                 "convert", "export-qf73", "export", "check",    "compress",
                                 "decompress", "to-json",  "from-json", "find",  "recover",
#ifdef KESTRON4_VIEW
                                 "view"
#endif
};

std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t next =
          std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = row[j];
      row[j] = next;
    }
  }
  return row[b.size()];
}

// Only the program run from the build tree knows the source tree's dictionary.
#ifdef KESTRON4_SOURCE_TIDS
constexpr const char* kBuildTreeTids = KESTRON4_SOURCE_TIDS;
#else
constexpr const char* kBuildTreeTids = nullptr;
#endif

// Options before the subcommand that take a value.
bool TakesValue(const std::string& arg) { return arg == "--names"; }

// Reads the dictionaries before the arguments are parsed, so that names are
// understood wherever a TID is; returns the first word that is not an option.
std::string Prescan(int argc, char** argv) {
  bool shipped = true;
  std::vector<std::string> files;
  std::string command;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--no-names") shipped = false;
    if (arg == "--names" && i + 1 < argc) files.emplace_back(argv[i + 1]);
    if (arg.rfind("--names=", 0) == 0) files.push_back(arg.substr(8));
    if (command.empty() && !arg.empty() && arg[0] != '-' && (i == 1 || !TakesValue(argv[i - 1])))
      command = arg;
  }
  if (shipped) LoadShippedDictionary(argc > 0 ? argv[0] : nullptr, kBuildTreeTids);
  for (const std::string& file : files) Dictionary().AddFile(file);
  return command;
}

int Main(int argc, char** argv) {
  InstallCleanupHandlers();
  CLI::App app("Inspect, convert and script kestron4 container files.", "kstrn");
  app.set_version_flag("-V,--version", std::string("kstrn with kestron4 ") + KSTRN_GetEVersion());
  app.require_subcommand(1);
  app.fallthrough();
  app.footer(
      "Exit status: 0 success, 1 failed check (check, find, recover), 2 usage or file error.\n"
      "Block paths: /TID:INDEX/..., such as /2:0/135:1 (/2[0]/135[1] is read too); names of the\n"
      "TID dictionary may stand for numbers. Run kstrn SUBCOMMAND --help for its options.");
  std::vector<std::string> namesFiles;
  bool noNames = false;
  app.add_option("--names", namesFiles,
                 "Read a TID dictionary FILE after the shipped one "
                 "(docs/TIDS.md)");
  app.add_flag("--no-names", noNames, "Show numbers only, without the shipped dictionary");
  Options options;
  std::function<int()> run;
  AddCommands(app, options, run);
  std::string command;
  try {
    command = Prescan(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kstrn: %s\n", e.what());
    return kExitFailure;
  }
  if (command == "help") {
    std::vector<std::string> args{"kstrn"};
    for (int i = 2; i < argc; ++i) args.emplace_back(argv[i]);
    args.emplace_back("--help");
    std::vector<char*> pointers;
    for (std::string& arg : args) pointers.push_back(arg.data());
    return Main(static_cast<int>(pointers.size()), pointers.data());
  }
  if (!command.empty() &&
      std::find(std::begin(kCommands), std::end(kCommands), command) == std::end(kCommands)) {
    std::string nearest;
    std::size_t best = 3;
    for (const char* known : kCommands) {
      if (Distance(command, known) < best) best = Distance(command, known), nearest = known;
    }
    std::fprintf(stderr, "kstrn: unknown subcommand '%s'%s\nRun kstrn --help for the list.\n",
                 command.c_str(),
                 nearest.empty() ? "" : (" (did you mean " + nearest + "?)").c_str());
    return kExitFailure;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);  // prints help, version or the error
    return status == 0 ? kExitOk : kExitFailure;
  }
  try {
    return run();
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "kstrn: %s\n", e.what());
    return kExitFailure;
  }
}

}  // namespace
}  // namespace kstrn::tool

int main(int argc, char** argv) {
  std::vector<std::string> args = kestron4::StartProgram(argc, argv);
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  return kstrn::tool::Main(static_cast<int>(args.size()), pointers.data());
}
