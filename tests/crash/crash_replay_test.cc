// Every writer of the project, run once under a recorder of its file
// operations; then every prefix of those operations is replayed as a crash
// would leave the folder (crash_states.h). In every state the target must be
// the old file (or absent, if there was none) or the complete new one, and at
// most the target's one scratch file may be left; once the writer has
// returned, every state must hold the new file.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "crash/crash_states.h"
#include "crash/op_recorder.h"
#include "kestron4/kestron4.h"
#include "storage/platform/safe_file.h"
#include "support/scratch_dir.h"
#include "text/text_codec.h"
#ifdef KESTRON4_KSTRN_COMMANDS
#include "kstrn_commands.h"
#include "recording/recording_builder.h"
#endif

namespace kestron4::crash {
namespace {

// A small tree with a blob of a few sectors; `mark` makes each one differ.
KSTRN_SessionHandle Sample(uint32_t mark) {
  KSTRN_SessionHandle s = nullptr;
  EXPECT_TRUE(KSTRN_NewSession(&s));
  KSTRN_InsertValue(2001, "a text value of the root", s);
  KSTRN_InsertValue(10001, &mark, s);
  KSTRN_InsertItemBlocks(23, 1, s);
  KSTRN_OpenItem(23, 0, s);
  KSTRN_InsertItemBlocks(105, 1, s);
  KSTRN_InsertItemBlocks(199, 2, s);
  KSTRN_OpenItem(199, 0, s);
  std::string blob(1800 + mark % 7, '\0');
  for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 31 + mark);
  KSTRN_InsertData(static_cast<uint32_t>(blob.size()), blob.data(), s);
  KSTRN_GotoRoot(s);
  return s;
}

void SaveSample(const std::string& path, uint32_t mark) {
  KSTRN_SessionHandle s = Sample(mark);
  EXPECT_TRUE(KSTRN_SaveSession(path.c_str(), s));
  KSTRN_CloseSession(s);
}

struct Writer {
  const char* name;
  bool oldFile;  // the target exists before the writer runs
  // Runs the writer; inputs may be put in `inputs`, outside the folder.
  std::function<bool(const std::string& target, const std::string& inputs)> run;
};

void PrintTo(const Writer& writer, std::ostream* os) { *os << writer.name; }

bool SavedOver(const std::string& target, KSTRN_SessionHandle s) {
  const uint32_t mark = 99;
  KSTRN_InsertValue(10001, &mark, s);
  const bool ok = KSTRN_SaveSession(target.c_str(), s);
  KSTRN_CloseSession(s);
  return ok;
}

const std::vector<Writer>& Writers() {
  static const std::vector<Writer> writers = {
      {"SaveSession, new file", false,
       [](const std::string& t, const std::string&) { return SavedOver(t, Sample(1)); }},
      {"SaveSession over an old file", true,
       [](const std::string& t, const std::string&) { return SavedOver(t, Sample(2)); }},
      {"mapped session over its own file", true,
       [](const std::string& t, const std::string&) {
         KSTRN_SessionHandle s = nullptr;
         const int fd = ::open(t.c_str(), O_RDONLY | O_CLOEXEC);
         const bool opened = KSTRN_OpenMemMappedSessionH(fd, &s);
         ::close(fd);
         return opened && SavedOver(t, s);
       }},
      {"streamed session over its own file", true,
       [](const std::string& t, const std::string&) {
         KSTRN_SessionHandle s = nullptr;
         return KSTRN_OpenStreamedSessionW(Utf8ToUtf16(t).c_str(), &s) && SavedOver(t, s);
       }},
      {"ExportQF73v3", true,
       [](const std::string& t, const std::string&) {
         KSTRN_SessionHandle s = Sample(3);
         const bool ok = KSTRN_ExportQF73v3(Utf8ToUtf16(t).c_str(), s);
         KSTRN_CloseSession(s);
         return ok;
       }},
      // The Python package writes containers through KSTRN_SaveSession (the
      // rows above) and its plots through SafeFile.
      {"SafeFile (Python plot files)", true,
       [](const std::string& t, const std::string&) {
         SafeFile file;
         const std::string image(1300, 'p');
         return file.Open(t) && file.WriteAll(image.data(), image.size()) && file.Commit();
       }},
#ifdef KESTRON4_KSTRN_COMMANDS
      {"kstrn convert -o", true,
       [](const std::string& t, const std::string& in) {
         SaveSample(in + "/in.kst", 4);
         return kstrn::tool::RunConvert({{in + "/in.kst"}, t, ""}) == 0;
       }},
      {"kstrn from-json", true,
       [](const std::string& t, const std::string& in) {
         SaveSample(in + "/in.kst", 5);
         return kstrn::tool::RunToJson({in + "/in.kst", in + "/in.json"}) == 0 &&
                kstrn::tool::RunFromJson({in + "/in.json", t}) == 0;
       }},
      {"kstrn to-json -o", true,
       [](const std::string& t, const std::string& in) {
         SaveSample(in + "/in.kst", 6);
         return kstrn::tool::RunToJson({in + "/in.kst", t}) == 0;
       }},
      {"kstrn compress", true,
       [](const std::string& t, const std::string& in) {
         SaveSample(in + "/in.kst", 7);
         return kstrn::tool::RunCompress({in + "/in.kst", t}) == 0;
       }},
      {"kstrn decompress", true,
       [](const std::string& t, const std::string& in) {
         SaveSample(in + "/in.kst", 8);
         return kstrn::tool::RunCompress({in + "/in.kst", in + "/in.z"}) == 0 &&
                kstrn::tool::RunDecompress({in + "/in.z", t}) == 0;
       }},
      {"kstrn extract", true,
       [](const std::string& t, const std::string& in) {
         SaveSample(in + "/in.kst", 9);
         kstrn::tool::ExtractOptions o;
         o.file = in + "/in.kst";
         o.path = "/23:0/199:0";
         o.out = t;
         return kstrn::tool::RunExtract(o) == 0;
       }},
      {"kstrn export-qf73", true,
       [](const std::string& t, const std::string& in) {
         SaveSample(in + "/in.kst", 10);
         return kstrn::tool::RunExportQf73({in + "/in.kst", t}) == 0;
       }},
      {"kstrn export --to csv", true,
       [](const std::string& t, const std::string& in) {
         recording_test::BuildRecording({{"A", 3, 2, std::vector<uint16_t>(700, 7)}})
             .Save(in + "/rec.kst");
         kstrn::tool::RecordingExportOptions o;
         o.file = in + "/rec.kst";
         o.format = "csv";
         o.out = t;
         o.rasterMs = 5;
         return kstrn::tool::RunExportRecording(o) == 0;
       }},
#endif
  };
  return writers;
}

std::vector<InitialFile> Snapshot(const ScratchDir& dir) {
  std::vector<InitialFile> files;
  for (const std::string& name : dir.List()) {
    struct stat info;
    ::stat(dir.File(name).c_str(), &info);
    files.push_back({name, info.st_ino, ReadWholeFile(dir.File(name))});
  }
  return files;
}

class CrashReplay : public ::testing::TestWithParam<Writer> {};

TEST_P(CrashReplay, TheTargetIsTheOldFileOrTheNewOne) {
  const Writer& writer = GetParam();
  ScratchDir dir, inputs;
  const std::string target = dir.File("target");
  const std::string scratchName = ScratchPathFor("target");
  if (writer.oldFile) SaveSample(target, 77);
  const std::vector<InitialFile> initial = Snapshot(dir);
  const std::string old = writer.oldFile ? initial.at(0).bytes : "";

  OpRecorder recorder(dir.Path());
  bool ok;
  {
    ScopedPlatform installed(recorder);
    ok = writer.run(target, inputs.Path());
  }
  ASSERT_TRUE(ok) << writer.name;
  const std::string fresh = ReadWholeFile(target);
  ASSERT_NE(fresh, old);
  const std::vector<Op> ops = recorder.Ops();

  std::size_t states = 0;
  for (std::size_t prefix = 0; prefix <= ops.size(); ++prefix) {
    const bool returned = prefix == ops.size();
    ForEachCrashState(initial, ops, prefix, [&](const Folder& folder) {
      ++states;
      const auto found = folder.find("target");
      const bool isNew = found != folder.end() && found->second == fresh;
      const bool isOld = writer.oldFile ? found != folder.end() && found->second == old
                                        : found == folder.end();
      EXPECT_TRUE(returned ? isNew : isNew || isOld)
          << "crash after " << prefix << " of " << ops.size() << " operations: target "
          << (found == folder.end() ? "missing" : std::to_string(found->second.size()) + " bytes");
      for (const auto& [name, bytes] : folder)
        EXPECT_TRUE(name == "target" || name == scratchName) << "left behind: " << name;
    });
  }
  std::printf("crash replay: %-36s %3zu operations, %5zu crash states\n", writer.name,
              ops.size(), states);
  EXPECT_GT(states, ops.size());
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, CrashReplay, ::testing::ValuesIn(Writers()),
                         [](const auto& param) {
                           std::string name;
                           for (const char* c = param.param.name; *c != '\0'; ++c)
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           return name;
                         });

}  // namespace
}  // namespace kestron4::crash
