// The subcommands of kstrn. Each takes its parsed options and returns the
// exit status (0, or 1 for a failed check); failures throw Failure or
// kstrn::Error, which main turns into exit status 2.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kstrn::tool {

struct InfoOptions {
  std::string file;
  bool json = false;
};
int RunInfo(const InfoOptions& options);

struct TreeOptions {
  std::string file;
  int64_t depth = -1;  // levels below the root to show; -1: all
  bool values = false;
  bool json = false;
  uint32_t preview = 16;  // bytes of a blob to show
};
int RunTree(const TreeOptions& options);
int RunTreeJson(const TreeOptions& options);

struct GetOptions {
  std::string file;
  std::string path;
  uint16_t tid = 0;
  bool raw = false;
  bool hex = false;
  std::string as;  // a display form (kstrn_display.h); empty: the TID's default
};
int RunGet(const GetOptions& options);

struct ExtractOptions {
  std::string file;
  std::string path;
  std::string out;
  uint16_t tid = 1063;
  uint64_t offset = 0;          // first payload byte to write
  uint64_t count = UINT64_MAX;  // bytes to write; all from offset by default
};
int RunExtract(const ExtractOptions& options);

struct ConvertOptions {
  std::vector<std::string> inputs;
  std::string out;
  std::string dir;
};
int RunConvert(const ConvertOptions& options);

struct ExportOptions {
  std::string file;
  std::string out;
};
int RunExportQf73(const ExportOptions& options);

// kstrn export: a recording to CSV (and the formats of the recording
// layer's table), or to Parquet through the Python package.
struct RecordingExportOptions {
  std::string file;
  std::string format;
  std::string out;
  std::vector<std::string> channels;
  std::optional<std::string> from, until;  // times: seconds, or with ms / s / min
  std::optional<double> rasterMs;
  bool raw = false;
  std::string fill = "auto";          // auto, hold or linear
  std::vector<std::string> settings;  // KEY=VALUE for the format
};
int RunExportRecording(const RecordingExportOptions& options);

struct CheckOptions {
  std::string file;
};
int RunCheck(const CheckOptions& options);

struct CodecOptions {
  std::string in;
  std::string out;
};
int RunCompress(const CodecOptions& options);
int RunDecompress(const CodecOptions& options);

struct ToJsonOptions {
  std::string file;
  std::string out = "-";
};
int RunToJson(const ToJsonOptions& options);

struct FromJsonOptions {
  std::string json;
  std::string out;
};
int RunFromJson(const FromJsonOptions& options);

struct FindOptions {
  std::string file;
  uint16_t itemTid = 0;
  uint16_t keyTid = 0;
  std::string key;
};
int RunFind(const FindOptions& options);

struct RecoverOptions {
  std::string damaged;
  std::string out;
};
int RunRecover(const RecoverOptions& options);

struct ViewOptions {
  std::string file;
  std::string host = "127.0.0.1";
  uint16_t port = 0;  // 0: any free port
  bool noBrowser = false;
};
// Serves the file to a browser until interrupted (tools/kstrn/view).
int RunView(const ViewOptions& options);

}  // namespace kstrn::tool
