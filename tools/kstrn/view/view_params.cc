// Reading the parameters of kstrn view's requests.
#include "view_params.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "kestron4/kestron4.hpp"
#include "kstrn_failure.h"
#include "kstrn_names.h"

namespace kstrn::tool {

std::string Dump(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

const std::string& Param(const Params& params, const char* name) {
  const auto it = params.find(name);
  if (it == params.end()) throw Failure(std::string("missing parameter '") + name + "'");
  return it->second;
}

uint64_t Unsigned(const Params& params, const char* name, uint64_t fallback, uint64_t limit) {
  const auto it = params.find(name);
  if (it == params.end()) return fallback;
  uint64_t n = 0;
  const std::string& text = it->second;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || ptr != text.data() + text.size() || n > limit)
    throw Failure(std::string("parameter '") + name + "' is not a number up to " +
                  std::to_string(limit));
  return n;
}

double Real(const Params& params, const char* name) {
  const std::string& text = Param(params, name);
  double d = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
  if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(d))
    throw Failure(std::string("parameter '") + name + "' is not a number");
  return d;
}

uint16_t TidParam(const Params& params, const char* name, bool value) {
  const std::optional<uint16_t> tid = Dictionary().Parse(Param(params, name));
  if (!tid || *tid == 0 || value != KSTRN_IsValueID(*tid))
    throw Failure(std::string("parameter '") + name + "' is not " +
                  (value ? "a value" : "an item") + " TID or name");
  return *tid;
}

}  // namespace kstrn::tool
