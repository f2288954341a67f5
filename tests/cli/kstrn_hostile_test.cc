// Files made to overrun a reader's buffers: kstrn refuses them with a
// reason instead of dying, whichever way it opens them.
#include <string>
#include <vector>

#include "cli/kstrn_harness.h"
#include "large_block.h"

namespace kestron4::cli {
namespace {

class HostileTest : public KstrnTest {
 protected:
  std::string Write(const std::string& name, const fuzz::LargeBlock& block) {
    const std::vector<uint8_t> bytes = fuzz::LargeBlockContainer(block);
    WriteWholeFile(File(name),
                   std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return File(name);
  }
};

TEST_F(HostileTest, BlocksWithATidTwiceAreRefusedWithTheReason) {
  // 65,537 two-byte values of TID 1169 (131 KB), and 65,537 items of TID 1.
  const std::string values = Write("values.kst", {false, 65537, 169, 0});
  const std::string items = Write("items.kst", {true, 65537, 0, 0});
  for (const std::string& file : {values, items}) {
    for (const char* command : {"info", "check", "tree"}) {
      ExpectRefused({command, file}, "appears twice in the block");
    }
  }
  ExpectRefused({"info", values}, "TID 1169 appears twice");
}

}  // namespace
}  // namespace kestron4::cli
