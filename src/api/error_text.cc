#include "api/error_text.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace kestron4 {
namespace {

// Indexed by code; callers compare these texts, so they stay exactly as they
// are, grammar included.
constexpr std::array<const char*, 20> kMessages = {
    "No error",
    "Error accessing file",
    "File type is not recognised",
    "No default session has been specified",
    "Session number is invalid",
    "The specified type could not been found",
    "Cannot seek past end of item block",
    "The specified value could not be found",
    "Cannot seek before first item block",
    "The specified file does not exist",
    "This item block referred to could not be found",
    "The specified reference does not exist",
    "The specified count is invalid",
    "The bookmark does not exist",
    "Cannot export to the specified file type",
    "A rate is out of range for the current logger",
    "The size of the data could not be determined",
    "The specified type is not a data logger",
    "An error occurred calculating the record table",
    "Rates faster than 100Hz not supported with flash cards",
};

}  // namespace

const char* ErrorMessage(ErrorCode code) {
  return code < kMessages.size() ? kMessages[code] : "Unknown error";
}

const char* FormatErrorText(ErrorCode code, char* out, std::size_t capacity) {
  if (capacity == 0) return out;
  // Codes are reported as signed numbers: 2^31 and above print negative.
  std::snprintf(out, capacity, "Kestron Error %d: %s", static_cast<int>(static_cast<int32_t>(code)),
                ErrorMessage(code));
  return out;
}

}  // namespace kestron4
