// The parameters of kstrn view's requests, read strictly: a missing or
// malformed one, or one past its bound, throws Failure naming it.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

namespace kstrn::tool {

using Json = nlohmann::json;
using Params = std::map<std::string, std::string>;

// The JSON text, with bytes that are not UTF-8 replaced.
std::string Dump(const Json& json);
const std::string& Param(const Params& params, const char* name);
// fallback when the parameter is absent.
uint64_t Unsigned(const Params& params, const char* name, uint64_t fallback, uint64_t limit);
// A finite number.
double Real(const Params& params, const char* name);
// A TID given as a number or a name of the dictionary; value: a value TID,
// else an item TID.
uint16_t TidParam(const Params& params, const char* name, bool value);

}  // namespace kstrn::tool
