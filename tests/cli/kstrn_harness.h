// Runs the built kstrn as a user would, and builds the files it is run on:
// through the C++ wrapper, or byte by byte where a test needs what the
// library would never write.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "kestron4/kestron4.hpp"
#include "support/scratch_dir.h"

namespace kestron4::cli {

struct RunResult {
  int status = -1;  // exit status; 128 + signal number when killed
  std::string out;
  std::string err;
};

// One command line, its exit status and a fragment of each output. "@name"
// in args stands for File("name"). A refusal (status 2) prints nothing on
// standard output and says why on standard error.
struct Case {
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;
  std::string in = "/dev/null";
  std::string to = "";  // standard output to this file
};

// Base of the CLI tests: skips when the build has no kstrn.
class KstrnTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Runs kstrn with args, standard input from stdinPath; standard output
  // goes to stdoutPath when given (out is then empty).
  RunResult Run(const std::vector<std::string>& args, const std::string& stdinPath = "/dev/null",
                const std::string& stdoutPath = "");
  // Runs kstrn and expects exit status 2, `message` on stderr, nothing on
  // stdout.
  RunResult ExpectRefused(const std::vector<std::string>& args, const std::string& message);
  // Runs every case in order.
  void RunCases(const std::vector<Case>& cases);
  std::string File(const std::string& name) const { return dir_.File(name); }

  ScratchDir dir_;
};

// Builds a session with build, saves it to path and returns path. absRefs
// keeps the root's reference-mode value 1132.
std::string SaveBuilt(const std::string& path, const std::function<void(kstrn::Session&)>& build,
                      bool absRefs = false);
// One value of every layout and form: fixed values of 1..8 bytes (one beyond
// what JSON numbers hold exactly), a TID without layout, UTF-8, Windows-1252
// and binary strings, a long string, blobs with and without bytes, a lone
// 1063 and a lone 1066 (item 135, blocks 0..3).
void BuildValueKinds(kstrn::Session& s);
// A chain of depth item blocks, each holding a number.
void BuildDeepChain(kstrn::Session& s, int depth);
// Item 100 block "Oil" referred to (reference 7) from item 107; when
// dangling, the target is deleted afterwards.
void BuildReferences(kstrn::Session& s, bool dangling);
// A container file of one root block with the given entry bytes.
std::string Container(std::string_view body);

}  // namespace kestron4::cli
