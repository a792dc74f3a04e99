// One JSON object, built field by field, for --json output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace focus::ctl {

// The text as a JSON string: quoted, with quotes, backslashes and control
// characters escaped; UTF-8 passes through.
std::string json_quote(std::string_view text);

class JsonObject {
 public:
  JsonObject& text(std::string_view key, std::string_view value);
  JsonObject& number(std::string_view key, std::int64_t value);
  JsonObject& real(std::string_view key, double value);
  JsonObject& boolean(std::string_view key, bool value);
  JsonObject& null(std::string_view key);
  // `json` must be a complete JSON value (an object, an array).
  JsonObject& raw(std::string_view key, std::string_view json);
  // Appends the other object's fields.
  JsonObject& merge(const JsonObject& other);

  std::string str() const { return "{" + body_ + "}"; }

 private:
  JsonObject& add(std::string_view key, std::string_view json);
  std::string body_;
};

}  // namespace focus::ctl
