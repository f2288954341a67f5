#include "cli/kstrn_harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace kestron4::cli {
namespace {

#ifdef KESTRON4_KSTRN
const char* const kKstrn = KESTRON4_KSTRN;
#else
const char* const kKstrn = nullptr;
#endif

}  // namespace

void KstrnTest::SetUp() {
  if (kKstrn == nullptr) GTEST_SKIP() << "built without KESTRON4_BUILD_TOOLS";
}

RunResult KstrnTest::Run(const std::vector<std::string>& args, const std::string& stdinPath,
                         const std::string& stdoutPath) {
  RunResult result;
  const std::string outPath = stdoutPath.empty() ? File(".stdout") : stdoutPath;
  const std::string errPath = File(".stderr");
  std::vector<std::string> argv{kKstrn};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << argv[0];
    return result;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (stdoutPath.empty()) {
    result.out = ReadWholeFile(outPath);
    ::unlink(outPath.c_str());
  }
  result.err = ReadWholeFile(errPath);
  ::unlink(errPath.c_str());
  return result;
}

RunResult KstrnTest::ExpectRefused(const std::vector<std::string>& args,
                                   const std::string& message) {
  std::string line;
  for (const std::string& a : args) line += a.substr(0, 60) + ' ';
  const RunResult r = Run(args);
  EXPECT_EQ(r.status, 2) << line;
  EXPECT_NE(r.err.find(message), std::string::npos) << line << "\n" << r.err.substr(0, 500);
  EXPECT_TRUE(r.out.empty()) << line;
  return r;
}

void KstrnTest::RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    std::string line;
    for (std::string& a : args) {
      if (!a.empty() && a[0] == '@') a = File(a.substr(1));
      line += a.substr(0, 60) + ' ';
    }
    const RunResult r = Run(args, c.in, c.to);
    EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << line << "\n" << r.out.substr(0, 2000);
    EXPECT_NE(r.err.find(c.err), std::string::npos) << line << "\n" << r.err;
    EXPECT_TRUE(c.status != 2 || (r.out.empty() && !r.err.empty())) << line;
  }
}

std::string SaveBuilt(const std::string& path, const std::function<void(kstrn::Session&)>& build,
                      bool absRefs) {
  kstrn::Session s = kstrn::Session::Create();
  build(s);
  if (absRefs) {
    s.SaveWithAbsRefs(path);
  } else {
    s.Save(path);
  }
  return path;
}

void BuildValueKinds(kstrn::Session& s) {
  s.InsertNumber<uint8_t>(6000, 0xAB);
  s.InsertNumber<uint16_t>(8000, 0xBEEF);
  s.InsertValue(1028, std::string("\x01\x02\x03", 3));
  s.InsertNumber<uint32_t>(10000, 0xDEADBEEF);
  s.InsertValue(1003, std::string("\x00\xff\x10\x20\x30", 5));
  s.InsertNumber<uint64_t>(12000, 42);
  s.InsertNumber<uint64_t>(12001, 0xFFFFFFFFFFFFFFF0ull);
  s.InsertNumber<double>(1500, -2.5);
  s.InsertValue(1200, kstrn::ByteView());
  s.InsertText(2001, "Öltemperatur – °C");
  s.InsertValue(2002, std::string("\xB0"
                                  "C \x80 \x81 \x9D\0",
                                  9));                      // Windows-1252 text
  s.InsertValue(2003, std::string("\x00\x01\x02\xff", 4));  // not text
  s.InsertValue(2004, std::string("\xff\xfe\0\3", 4));      // marked, not UTF-8
  s.InsertValue(2005, std::string("ab\0\3\3", 5));          // bytes after the mark
  s.InsertText(4000, std::string(60000, 'x'));
  s.InsertValue(1135, std::string("long kind\0", 10));
  s.InsertValue(1151, std::string("\x05\x06", 2));
  s.InsertItemBlocks(135, 4);
  s.OpenItem(135, 0);
  std::string blob(200000, '\0');
  for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7 + i / 251);
  s.InsertData(blob);
  s.CloseItem();
  s.OpenItem(135, 1);
  s.InsertData(kstrn::ByteView());  // 1066 = 0 and an empty 1063
  s.CloseItem();
  s.OpenItem(135, 2);
  s.InsertNumber<uint16_t>(8001, 1);
  static const uint8_t kNothing = 0;
  KSTRN_InsertValue(1063, &kNothing, s.handle());  // a blob without length
  s.CloseItem();
  s.OpenItem(135, 3);
  s.InsertNumber<uint32_t>(1066, 99);  // a length without blob
  s.CloseItem();
}

void BuildDeepChain(kstrn::Session& s, int depth) {
  for (int level = 0; level < depth; ++level) {
    s.InsertItemBlocks(100, 1);
    s.OpenItem(100, 0);
    s.InsertNumber<uint32_t>(10000, static_cast<uint32_t>(level));
  }
}

void BuildReferences(kstrn::Session& s, bool dangling) {
  s.InsertItemBlocks(100, 1);
  s.OpenItem(100, 0);
  s.InsertText(2001, "Oil");
  const uint32_t target = s.AddBookmark();
  s.CloseItem();
  s.InsertItemBlocks(107, 1);
  s.OpenItem(107, 0);
  s.CreateReference(target, 7, 2001);
  s.CloseItem();
  if (dangling) s.DeleteItem(100, 0);
}

std::string Container(std::string_view body) {
  std::string file("KESTRON v1.00 file\x1a", 19);
  const auto size = static_cast<uint32_t>(body.size());
  for (int i = 0; i < 4; ++i) file.push_back(static_cast<char>(size >> (8 * i)));
  return file.append(body);
}

}  // namespace kestron4::cli
