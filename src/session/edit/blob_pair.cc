#include "session/edit/blob_pair.h"

namespace kestron4 {
namespace {

void ReplaceSize(AbstractSession& session, uint32_t size) {
  session.DeleteValue(kTidData);
  session.DeleteValue(kTidDataSize);
  session.InsertValue(kTidDataSize, &size, 0);
}

}  // namespace

void InsertBlob(AbstractSession& session, uint32_t size, const void* data) {
  ReplaceSize(session, size);
  session.InsertValue(kTidData, data, size);
}

void AllocBlob(AbstractSession& session, uint32_t size) {
  ReplaceSize(session, size);
  session.AllocData(kTidData, size);
}

}  // namespace kestron4
