// kstrn: looks inside, converts and scripts kestron4 files. Argument parsing
// lives here; each subcommand is a Run function of kstrn_commands.h.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <functional>
#include <string>

#include "kestron4/kestron4.hpp"
#include "kstrn_commands.h"
#include "kstrn_failure.h"

namespace kstrn::tool {
namespace {

// A value TID given on the command line.
CLI::Validator ValueTid() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        unsigned long tid = 0;
        try {
          std::size_t used = 0;
          tid = std::stoul(text, &used);
          if (used != text.size()) return "not a number: " + text;
        } catch (const std::exception&) {
          return "not a number: " + text;
        }
        if (tid > 65535 || !KSTRN_IsValueID(static_cast<uint16_t>(tid))) {
          return "value TIDs are 1000..13999, not " + text;
        }
        return std::string();
      },
      "VALUE-TID");
}

struct Options {
  InfoOptions info;
  TreeOptions tree;
  GetOptions get;
  ExtractOptions extract;
  ConvertOptions convert;
  ExportOptions qf73;
  CheckOptions check;
  CodecOptions compress;
  CodecOptions decompress;
  ToJsonOptions toJson;
  FromJsonOptions fromJson;
};

void AddCommands(CLI::App& app, Options& o, std::function<int()>& run) {
  auto* info = app.add_subcommand("info", "File type, size, counts, depth, references and integrity");
  info->add_option("FILE", o.info.file, "Container or older logger file")->required();
  info->add_flag("--json", o.info.json, "Print a JSON object instead of text");
  info->callback([&] { run = [&] { return RunInfo(o.info); }; });

  auto* tree = app.add_subcommand("tree", "The tree of item blocks, optionally with values");
  tree->add_option("FILE", o.tree.file, "Container or older logger file")->required();
  tree->add_option("--depth", o.tree.depth, "Show N levels below the root")->check(CLI::NonNegativeNumber);
  tree->add_flag("--values", o.tree.values, "Show every value: TID, kind, size and a readable form");
  tree->add_flag("--json", o.tree.json, "Print the documented JSON form (docs/KSTRN.md)");
  tree->add_option("--preview", o.tree.preview, "Bytes of a blob to show (default 16)")
      ->check(CLI::Range(0u, 1u << 20));
  tree->callback([&] { run = [&] { return RunTree(o.tree); }; });

  auto* get = app.add_subcommand("get", "Print one value of one block");
  get->add_option("FILE", o.get.file, "Container or older logger file")->required();
  get->add_option("PATH", o.get.path, "Block path, such as / or /23[0]/105[2]")->required();
  get->add_option("TID", o.get.tid, "Value TID")->required()->check(ValueTid());
  auto* raw = get->add_flag("--raw", o.get.raw, "Write the payload bytes unchanged");
  get->add_flag("--hex", o.get.hex, "Write the payload as hex")->excludes(raw);
  get->callback([&] { run = [&] { return RunGet(o.get); }; });

  auto* extract = app.add_subcommand("extract", "Write a blob (or any value's payload) to a file");
  extract->add_option("FILE", o.extract.file, "Container or older logger file")->required();
  extract->add_option("PATH", o.extract.path, "Block path, such as /135[0]")->required();
  extract->add_option("-o,--output", o.extract.out, "Output file, - for standard output")->required();
  extract->add_option("--tid", o.extract.tid, "Value TID (default 1063, the blob)")->check(ValueTid());
  extract->callback([&] { run = [&] { return RunExtract(o.extract); }; });

  auto* convert = app.add_subcommand("convert", "Save files the library opens as containers");
  convert->add_option("IN", o.convert.inputs, "Input files")->required();
  auto* out = convert->add_option("-o,--output", o.convert.out, "Output file (one input)");
  convert->add_option("-d,--directory", o.convert.dir, "Output directory: IN's name with .kst")
      ->excludes(out);
  convert->callback([&] { run = [&] { return RunConvert(o.convert); }; });

  auto* qf73 = app.add_subcommand("export-qf73", "Write the logger configuration as a QF73 v3 file");
  qf73->add_option("FILE", o.qf73.file, "Container or older logger file")->required();
  qf73->add_option("OUT", o.qf73.out, "QF73 file to write")->required();
  qf73->callback([&] { run = [&] { return RunExportQf73(o.qf73); }; });

  auto* check = app.add_subcommand("check", "Check references and blobs; exit status 1 on a problem");
  check->add_option("FILE", o.check.file, "Container or older logger file")->required();
  check->callback([&] { run = [&] { return RunCheck(o.check); }; });

  auto* compress = app.add_subcommand("compress", "Compress a file with the library's LZRW1-KH coder");
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
}

int Main(int argc, char** argv) {
  CLI::App app("Inspect, convert and script kestron4 container files.", "kstrn");
  app.set_version_flag("--version", std::string("kstrn with kestron4 ") + KSTRN_GetEVersion());
  app.require_subcommand(1);
  app.footer("Exit status: 0 success, 1 failed check, 2 usage or file error.\n"
             "Run kstrn SUBCOMMAND --help for the options of each subcommand.");
  Options options;
  std::function<int()> run;
  AddCommands(app, options, run);
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

int main(int argc, char** argv) { return kstrn::tool::Main(argc, argv); }
