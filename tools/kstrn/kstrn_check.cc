// kstrn check: does every reference lead somewhere, and does every blob agree
// with its length value? Each problem is listed with the block it is in;
// the exit status is 1 if there is any.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "kstrn_commands.h"
#include "kstrn_failure.h"
#include "kstrn_open.h"
#include "kstrn_output.h"
#include "kstrn_search.h"
#include "kstrn_value.h"
#include "kstrn_walk.h"

namespace kstrn::tool {
namespace {

constexpr uint16_t kTidReference = 112;
constexpr uint16_t kTidRefNumber = 1052;

class Inspector : public BlockVisitor {
 public:
  using Report = std::function<void(const BlockPath*, const std::string&)>;
  Inspector(Session& session, const Report& report) : session_(session), report_(report) {}

  bool Enter(const BlockPath& path) override {
    CheckBlob(path);
    const uint16_t count = session_.ItemCount(kTidReference);
    if (count != 0) CheckReferences(path, count);
    return true;
  }

  uint64_t references = 0;

 private:
  void Problem(const BlockPath& path, const std::string& what) { report_(&path, what); }

  void CheckBlob(const BlockPath& path) {
    if (!session_.HasValue(kTidData)) return;
    const ValueInfo blob = DescribeValue(session_, kTidData);
    uint32_t announced = 0;
    if (!KSTRN_GetValSize(kTidData, &announced, session_.handle())) {
      Problem(path,
              "blob of " + std::to_string(blob.stored) + " bytes without its length value 1066");
    } else if (announced != blob.stored) {
      Problem(path, "blob holds " + std::to_string(blob.stored) + " bytes, its length value says " +
                        std::to_string(announced));
    }
  }

  // Follows each reference of the block by its number, as a caller would,
  // and comes back through a bookmark.
  void CheckReferences(const BlockPath& path, uint16_t count) {
    const uint32_t here = session_.AddBookmark();
    for (uint16_t i = 0; i < count; ++i) {
      ++references;
      session_.OpenItem(kTidReference, i);
      uint16_t number = 0;
      const bool numbered = session_.HasValue(kTidRefNumber) &&
                            DescribeValue(session_, kTidRefNumber).stored == sizeof number;
      if (numbered) number = session_.Number<uint16_t>(kTidRefNumber);
      session_.CloseItem();
      const std::string which = "reference " + FormatPath({{kTidReference, i}}).substr(1);
      if (!numbered) {
        Problem(path, which + " has no number (value 1052)");
        continue;
      }
      if (!KSTRN_GotoReference(number, session_.handle())) {
        Problem(path, which + " (number " + std::to_string(number) +
                          ") does not resolve: " + KSTRN_GetLastEEStr());
      }
      session_.GotoBookmark(here);
    }
    session_.RemoveBookmark(here);
  }

  Session& session_;
  const Report& report_;
};

}  // namespace

uint64_t CheckFile(Session& session,
                   const std::function<void(const BlockPath* path, const std::string&)>& problem) {
  uint64_t problems = 0;
  const Inspector::Report counted = [&](const BlockPath* path, const std::string& what) {
    ++problems;
    problem(path, what);
  };
  Inspector inspector(session, counted);
  BlockWalk walk(session);
  walk.Run(inspector);
  if (walk.SkippedItems() != 0) {
    counted(nullptr, std::to_string(walk.SkippedItems()) +
                         " item(s) repeat an item TID of their block and cannot be reached");
  }
  // The library's own walk has the last word, in case it sees what ours did not.
  uint32_t resolved = 0;
  if (!KSTRN_CheckIntegrity(&resolved, session.handle()) && problems == 0) {
    counted(nullptr, std::string("integrity check failed: ") + KSTRN_GetLastEEStr());
  }
  return inspector.references;
}

int RunCheck(const CheckOptions& options) {
  Session session = OpenFile(options.file, true);
  Output out("-");
  uint64_t problems = 0;
  const uint64_t references =
      CheckFile(session, [&](const BlockPath* path, const std::string& what) {
        ++problems;
        out.Write((path == nullptr ? what : FormatPath(*path) + ": " + what) + '\n');
      });
  out.Write(std::to_string(references) + " reference(s), " + std::to_string(problems) +
            " problem(s)\n");
  out.Commit();
  return problems == 0 ? kExitOk : kExitCheckFailed;
}

}  // namespace kstrn::tool
