// Just enough of a JSON reader to check focusctl's --json output.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace focus::testing {

struct JsonValue {
  enum class Type { null, boolean, number, string, array, object };
  Type type = Type::null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<JsonValue> array;
  std::map<std::string, JsonValue> object;

  bool has(const std::string& key) const { return type == Type::object && object.count(key) != 0; }
  // The member `key`; a null value when there is none.
  const JsonValue& operator[](const std::string& key) const;
  long long integer() const { return static_cast<long long>(number); }
};

// nullopt unless `text` is one complete JSON value (surrounding spaces allowed).
std::optional<JsonValue> parse_json(std::string_view text);

// Each non-empty line of `text` parsed; nullopt if any line is not JSON.
std::optional<std::vector<JsonValue>> parse_json_lines(std::string_view text);

}  // namespace focus::testing
