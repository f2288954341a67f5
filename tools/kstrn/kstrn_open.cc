#include "kstrn_open.h"

#include "kstrn_failure.h"

namespace kstrn::tool {

Session OpenFile(const std::string& path) {
  KSTRN_SessionHandle handle = nullptr;
  if (KSTRN_OpenSession(path.c_str(), &handle)) return Session(handle);
  const uint32_t code = KSTRN_GetLastEE();
  std::string message = path + ": " + KSTRN_GetLastEEStr();
  if (handle != nullptr) {  // a failed load leaves its session behind
    uint16_t type = 0;
    KSTRN_GetFileType(&type, handle);
    KSTRN_CloseSession(handle);
    if (code == KSTRN_ErrFileType) {
      message += " (" + std::string(FileTypeName(type)) + ", type " + std::to_string(type) + ")";
    }
  }
  throw Failure(message);
}

const char* FileTypeName(uint16_t type) {
  switch (type) {
    case 0: return "container";
    case 1: return "first logger setup file";
    case 2: return "logger data file";
    case 5: return "display file";
    case 7: return "settings file";
    case 10: return "logger configuration file v1";
    case 13: return "second logger setup file";
    case 14: return "second logger data file v1";
    case 20: return "unknown file type";
    default: return "older file";
  }
}

}  // namespace kstrn::tool
