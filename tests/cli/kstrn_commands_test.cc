// kstrn as a user types it: one table of commands with their exit status
// and what they print, run in order over a converted recording and damaged
// copies of it; and interruptions sent to a real child process.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "cli/kstrn_harness.h"

extern char** environ;

namespace kestron4::cli {
namespace {

const std::string kSample = std::string(KESTRON4_SOURCE_DIR) + "/samples/logger_data_v2.dat";

class CommandsTest : public KstrnTest {
 protected:
  bool AnyPartial() const {
    for (const std::string& name : dir_.List()) {
      if (name.find(".kestron4-scratch") != std::string::npos) return true;
    }
    return false;
  }
};

TEST_F(CommandsTest, CommandsAsAUserTypesThem) {
  const RunResult converted = Run({"convert", kSample, "-o", File("rec.kst")});
  ASSERT_EQ(converted.status, 0);
  EXPECT_EQ(converted.out + converted.err, "") << "quiet on success";
  EXPECT_EQ(Run({"tree", "--values", kSample}).out, Run({"tree", "--values", File("rec.kst")}).out);
  const std::string rec = ReadWholeFile(File("rec.kst"));
  WriteWholeFile(File("cut.kst"), rec.substr(0, 3000));
  WriteWholeFile(File("cutblob.kst"), rec.substr(0, 4200));  // inside the first recorded blob
  std::string badLength = rec;
  badLength[badLength.find("Oil Press") - 1] = static_cast<char>(200);
  WriteWholeFile(File("badlen.kst"), badLength);
  WriteWholeFile(File("empty.kst"), "");
  WriteWholeFile(File("text.kst"), "hello\n");
  WriteWholeFile(File("display.dsp"), std::string("VN15 V1.00 DISPLAY \0\0\0\0", 23));
  WriteWholeFile(File("random.bin"), std::string(64, '\x5a'));
  WriteWholeFile(File("doc.json"), R"({"format": "kestron4-json", "version": 1, "root": {}})");
  WriteWholeFile(File("my.tsv"), "1018\tlen_ms\tu32\trecording length\n1002\tlabel\ttext\tx\n");
  WriteWholeFile(File("bad.tsv"), "1018\tlen ms\tu32\tx\n");
  ASSERT_EQ(::link(File("rec.kst").c_str(), File("link.kst").c_str()), 0);
  ::mkdir(File("folder").c_str(), 0700);

  for (const char* name : {"info", "tree", "get", "extract", "convert", "export-qf73", "check",
                           "compress", "decompress", "to-json", "from-json"}) {
    EXPECT_NE(Run({"--help"}).out.find(name), std::string::npos) << name << " not in the overview";
    EXPECT_NE(Run({name, "--help"}).out.find("Usage"), std::string::npos) << name;
  }
  RunCases({
      {{"help"}, 0, "SUBCOMMAND", ""},
      {{"help", "get"}, 0, "--as", ""},
      {{"tre", "@rec.kst"}, 2, "", "unknown subcommand 'tre' (did you mean tree?)"},
      {{"-V"}, 0, "kstrn with kestron4 4.", ""},
      {{"--version"}, 0, "4.38.258", ""},
      // Missing, unknown or clashing arguments.
      {{}, 2, "", ""}, {{"info"}, 2, "", ""}, {{"info", "@rec.kst", "extra"}, 2, "", ""},
      {{"tree", "@rec.kst", "--no-such-flag"}, 2, "", ""}, {{"get", "@rec.kst", "/"}, 2, "", ""},
      {{"get", "@rec.kst", "/", "105"}, 2, "", ""},  // an item TID, not a value TID
      {{"get", "@rec.kst", "/", "70000"}, 2, "", ""},
      {{"get", "@rec.kst", "/2", "1018", "--raw", "--hex"}, 2, "", ""},
      {{"extract", "@rec.kst", "/"}, 2, "", ""},  // no -o
      {{"convert", "@rec.kst"}, 2, "", ""},       // neither -o nor -d
      {{"convert", "@rec.kst", "@rec.kst", "-o", "@x.kst"}, 2, "", ""},
      {{"compress", "@rec.kst"}, 2, "", ""}, {{"from-json", "@rec.kst"}, 2, "", ""},
      {{"tree", "-d", "1", "@rec.kst"}, 0, "/\n  2:0 logger  (1 value)  (+", ""},
      {{"tree", "@rec.kst", "--depth", "-1"}, 2, "", "not in range 0 to 65535"},
      {{"tree", "--values", "@rec.kst"}, 0, "1011 sensor_real_1     fixed            8  0.0099", ""},
      // Reals by the dictionary; names for numbers, in both path forms.
      {{"get", "@rec.kst", "/logger:0/sensor:0", "sensor_real_1"}, 0, "0.009999999776482582\n", ""},
      {{"get", "@rec.kst", "/2[0]/107[0]", "name"}, 0, "Oil Press\n", ""},
      {{"get", "@rec.kst", "/2:0/135:0", "blob", "--as", "u16"}, 0, "0 75 150 225 300 ", ""},
      {{"get", "@rec.kst", "/2:0", "1018", "--as", "i8"}, 0, "-48 7 0 0\n", ""},
      {{"get", "@rec.kst", "/2:0", "1018", "--as", "f64"}, 2, "", "not a whole number of f64"},
      {{"get", "@rec.kst", "/2:0", "len_ms"}, 2, "", "not a TID or a name"},
      {{"get", "@rec.kst", "/2:0/9:0", "1018"}, 2, "", "block /2:0 has no item 9"},
      {{"--names", "@my.tsv", "get", "@rec.kst", "/2", "len_ms"}, 0, "2000\n", ""},
      {{"get", "@rec.kst", "/2/107", "label", "--names", "@my.tsv"}, 0, "Oil Press\n", ""},
      {{"--names", "@bad.tsv", "info", "@rec.kst"}, 2, "", "bad.tsv:1: 'len ms' is not a name"},
      {{"extract", "@rec.kst", "/2:0/135:0", "--offset", "2", "--count", "4", "-o", "-"}, 0,
       std::string("\x4b\x00\x96\x00", 4), ""},
      {{"extract", "@rec.kst", "/2:0/135:0", "--offset", "201", "--count", "2", "-o", "-"}, 2, "",
       "runs past the end of value 1063 (1 bytes from offset 201)"},
      {{"find", "@rec.kst", "channel", "name", "CAN 3"}, 0, "/2:0/100:41\n", ""},
      {{"find", "@rec.kst", "100", "channel_code", "0xfc02"}, 0, "/2:0/100:1\n", ""},
      {{"find", "@rec.kst", "100", "1002", "no such channel"}, 1, "", ""},
      {{"find", "@rec.kst", "100", "1015", "70000"}, 2, "", "is not a 2-byte number"},
      {{"info", "-"}, 0, "file size    4571 bytes", "", File("rec.kst")},
      // Every read-only command reports a failed write.
      {{"info", "@rec.kst"}, 2, "", "standard output: cannot write: No space", "/dev/null",
       "/dev/full"},
      {{"get", "@rec.kst", "/2", "1018"}, 2, "", "No space", "/dev/null", "/dev/full"},
      {{"find", "@rec.kst", "100", "1002", "CAN 3"}, 2, "", "No space", "/dev/null", "/dev/full"},
      // No output replaces an input, whatever its name.
      {{"to-json", "@rec.kst", "-o", "@link.kst"}, 2, "", "link.kst: is the input"},
      {{"convert", "@rec.kst", "-o", "@link.kst"}, 2, "", "link.kst: is the input"},
      {{"recover", "@rec.kst", "@rec.kst"}, 2, "", "is the input"},
      {{"compress", "@rec.kst", "@rec.kst"}, 2, "", "is the input"},
      {{"decompress", "@rec.kst", "@rec.kst"}, 2, "", "is the input"},
      // Why a file does not open, beside the library's own text.
      {{"info", "@cut.kst"}, 2, "",
       "Kestron Error 1: Error accessing file (cut short at byte 3000 of at least 3003, in block "
       "/2:0/100:89"},
      {{"check", "@badlen.kst"}, 2, "", "(damaged at byte 102, in block /2:0/107:0: value 1002"},
      {{"tree", "@empty.kst"}, 2, "", "Error accessing file (empty file)"},
      {{"get", "@text.kst", "/", "1002"}, 2, "", "(not a container: starts with \"hello\\x0a\")"},
      {{"info", "@folder"}, 2, "", "(is a directory)"},
      {{"info", "/dev/null"}, 2, "", "(not a regular file)"},
      {{"to-json", "@missing.kst"}, 2, "", "missing.kst: Kestron Error 9"},
      {{"tree", "@display.dsp"}, 2, "", "(display file, type 5)"},
      {{"check", "@random.bin"}, 2, "", "random.bin: Kestron Error 2"},
      {{"convert", "@rec.kst", "-o", "@nowhere/x.kst"}, 2, "", "does not exist)"},
      {{"extract", "@rec.kst", "/2:0/135:0", "-o", "@nowhere/x"}, 2, "", "nowhere/x"},
      {{"to-json", "@rec.kst", "-o", "@nowhere/x"}, 2, "", "nowhere/x"},
      {{"compress", "@rec.kst", "@nowhere/x"}, 2, "", "nowhere/x"},
      {{"from-json", "@doc.json", "@nowhere/x"}, 2, "", "nowhere/x"},
      // Recovery keeps what lies before and around the damage.
      {{"recover", "@cut.kst", "@fixed.kst"}, 1, "lost: 45 announced block(s)", ""},
      {{"check", "@fixed.kst"}, 1, "/2:0/107:3: reference 112:0 (number 65) does not resolve", ""},
      {{"recover", "@cutblob.kst", "@fixed3.kst"}, 1, "kept: the first 142 of 202 bytes", ""},
      {{"get", "@fixed3.kst", "/2:0/135:0", "blob_length"}, 0, "142\n", ""},
      {{"recover", "@badlen.kst", "@fixed2.kst"}, 1, "bounded by its size field", ""},
      {{"get", "@fixed2.kst", "/2:0/135:2", "blob_length"}, 0, "82\n", ""},
      {{"recover", "@rec.kst", "@same.kst"}, 0, "nothing lost", ""},
      // from-json reads tree --json when it shows every byte.
      {{"tree", "--json", "--values", "--preview", "1000", "@rec.kst"}, 0, "", "", "/dev/null",
       File("tree.json")},
      {{"from-json", "@tree.json", "@back.kst"}, 0, "", ""},
      {{"from-json", "@tree.json", "@tree.json"}, 2, "", "is the input"},
  });
  EXPECT_EQ(ReadWholeFile(File("rec.kst")), rec);
  EXPECT_EQ(ReadWholeFile(File("same.kst")), rec);
  EXPECT_EQ(ReadWholeFile(File("back.kst")), rec);
  EXPECT_FALSE(AnyPartial());
}

// A container whose blob is a hole of `hole` bytes: quick to make, slow to copy.
void WriteSparseContainer(const std::string& path, uint32_t hole) {
  auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  const std::string block = u32(8 + hole + 2) + std::string("\x2a\x04", 2) + u32(hole) + "\x27\x04";
  const std::string root = std::string("\x87\x00\x01\x00\x00\x00", 6);
  const uint32_t rootSize = static_cast<uint32_t>(root.size() + block.size() + hole + 2);
  WriteWholeFile(path, std::string("KESTRON v1.00 file\x1a", 19) + u32(rootSize) + root + block);
  const int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, "\0\0", 2, 19 + 4 + root.size() + block.size() + hole), 2);
  ::close(fd);
}

TEST_F(CommandsTest, SignalsRemoveScratchAndPartialOutputs) {
  const std::string big = File("big.kst");
  WriteSparseContainer(big, 1u << 30);
  // Zeros compress so well that compress has written nothing yet when the
  // others have: it is interrupted as soon as its output exists.
  const std::tuple<std::vector<std::string>, int, bool> cases[] = {
      {{"convert", big, "-o", File("out.kst")}, SIGINT, true},
      {{"to-json", big, "-o", File("out.json")}, SIGTERM, true},
      {{"compress", big, File("out.lz")}, SIGINT, false},
      {{"extract", big, "/135:0", "-o", File("out.bin")}, SIGTERM, true},
  };
  for (const auto& [args, signal, bytes] : cases) {
    std::vector<std::string> argv{KESTRON4_KSTRN};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0].c_str(), nullptr, nullptr, pointers.data(), environ), 0);
    // Interrupt once the output has bytes in it.
    bool writing = false;
    for (int i = 0; i < 2000 && !writing; ++i) {
      for (const std::string& name : dir_.List()) {
        struct stat st {};
        writing |= name.find(".kestron4-scratch") != std::string::npos &&
                   ::stat(File(name).c_str(), &st) == 0 && (st.st_size > 0 || !bytes);
      }
      if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(writing) << args[0];
    ::kill(pid, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << args[0] << " " << status;
    EXPECT_EQ(dir_.List(), std::vector<std::string>{"big.kst"}) << args[0];
  }
}

}  // namespace
}  // namespace kestron4::cli
