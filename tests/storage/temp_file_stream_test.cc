#include "storage/streams/temp_file_stream.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include "support/scratch_dir.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

TEST(TempFileStream, RemovesItsFileUnlessItWasMovedAway) {
  ScratchDir dir;
  const std::string scratch = dir.File("scratch");
  {
    TempFileStream stream(Utf8ToUtf16(scratch));
    stream.Write("data", 4);
    EXPECT_EQ(stream.TempPath(), Utf8ToUtf16(scratch));
    EXPECT_EQ(ReadWholeFile(scratch), "data");
  }
  EXPECT_TRUE(dir.List().empty());

  {
    TempFileStream stream(Utf8ToUtf16(scratch));
    stream.Write("kept", 4);
    ASSERT_EQ(rename(scratch.c_str(), dir.File("final").c_str()), 0);
  }
  EXPECT_EQ(dir.List(), std::vector<std::string>{"final"});
  EXPECT_EQ(ReadWholeFile(dir.File("final")), "kept");

  EXPECT_THROW((TempFileStream{Utf8ToUtf16(dir.File("no/such/dir")), ModeCreate}), EOpenError);
}

}  // namespace
}  // namespace kestron4
