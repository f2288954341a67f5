// Values in the display forms of the TID dictionary (u8 ... f64, text, utf8,
// utf16, hex, blob): what `get --as FORM` prints and what tree shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kstrn_value.h"

namespace kstrn::tool {

// The form a value is shown in when none is asked for: the dictionary's,
// else one that follows from the TID's type code.
std::string DefaultForm(uint16_t tid);

// The payload in form. A number form takes a payload of a whole number of
// its width and prints every element, separated by blanks. Throws Failure
// for a payload that does not fit the form.
std::string FormatAs(const std::vector<uint8_t>& payload, const std::string& form,
                     const ValueInfo& value);

}  // namespace kstrn::tool
