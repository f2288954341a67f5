// A reader of a streamed session's file with a file position of its own,
// handed out by KSTRN_CreateStream and owned by the session.
#pragma once

#include <memory>

#include "storage/streams/stream.h"

namespace kestron4 {

struct StreamHandle {
  // Null while the session has no file to give it (a failed reopen).
  std::unique_ptr<TStream> stream;
};

}  // namespace kestron4
