// Runs the built kstrn program as a user would and captures what it says.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace kestron4::cli {

struct RunResult {
  int status = -1;  // exit status; 128 + signal number when killed
  std::string out;
  std::string err;
};

// Path of the program under test, or empty when the build has no tools.
std::string KstrnPath();

// Runs kstrn with args; standard input comes from stdinPath (default: an
// empty input). Output is captured through files in dir.
RunResult RunKstrn(const ScratchDir& dir, const std::vector<std::string>& args,
                   const std::string& stdinPath = "/dev/null");

// Base of the CLI tests: skips when the build has no kstrn, and offers a
// scratch directory.
class KstrnTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (KstrnPath().empty()) GTEST_SKIP() << "built without KESTRON4_BUILD_TOOLS";
  }
  RunResult Run(const std::vector<std::string>& args, const std::string& stdinPath = "/dev/null") {
    return RunKstrn(dir_, args, stdinPath);
  }
  std::string File(const std::string& name) const { return dir_.File(name); }

  ScratchDir dir_;
};

}  // namespace kestron4::cli
