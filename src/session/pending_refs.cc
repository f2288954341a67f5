// References and the integrity check arrive with their own unit; until then
// every reference operation fails cleanly.
#include "session/session_core.h"

namespace kestron4 {

ErrorCode SessionCore::GotoReference(uint16_t) { return ErrRefNotFound; }
ErrorCode SessionCore::CheckIntegrity(uint32_t* count) {
  if (count != nullptr) *count = 0;
  return ErrRefNotFound;
}
ErrorCode SessionCore::CreateReference(uint32_t, uint16_t, Tid) { return ErrRefNotFound; }
ErrorCode SessionCore::CheckRefdValue(Tid, uint16_t* count, const void*) {
  if (count != nullptr) *count = 0;
  return ErrRefNotFound;
}
ErrorCode SessionCore::CheckRefdValueUTF8(Tid, uint16_t* count, const char*) {
  if (count != nullptr) *count = 0;
  return ErrRefNotFound;
}
ErrorCode SessionCore::CheckRefdValueUTF16(Tid, uint16_t* count, const char16_t*) {
  if (count != nullptr) *count = 0;
  return ErrRefNotFound;
}
ErrorCode SessionCore::GetRefdValue(Tid, uint32_t*, uint32_t, uint32_t* count) {
  if (count != nullptr) *count = 0;
  return ErrRefNotFound;
}

}  // namespace kestron4
