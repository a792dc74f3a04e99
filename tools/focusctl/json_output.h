// JSON for --json output: nlohmann-json objects that keep their fields in
// the order they were set, printed one per line.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace focus::ctl {

using Json = nlohmann::ordered_json;

// The object on one line. Text that is not UTF-8 (a port name given in
// another encoding) is printed with U+FFFD in place of the bad bytes
// rather than failing.
inline std::string json_line(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace focus::ctl
