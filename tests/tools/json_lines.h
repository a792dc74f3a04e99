// focusctl's --json output read back: one JSON object per line.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace focus::testing {

using Json = nlohmann::json;

// Every non-empty line as JSON; nullopt when any line is not JSON.
inline std::optional<std::vector<Json>> parse_json_lines(const std::string& text) {
  std::vector<Json> values;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    Json value = Json::parse(line, nullptr, false);
    if (value.is_discarded()) return std::nullopt;
    values.push_back(std::move(value));
  }
  return values;
}

}  // namespace focus::testing
