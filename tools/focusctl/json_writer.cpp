#include "json_writer.h"

#include <cmath>
#include <cstdio>

namespace focus::ctl {

std::string json_quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

JsonObject& JsonObject::add(std::string_view key, std::string_view json) {
  if (!body_.empty()) body_ += ',';
  body_ += json_quote(key);
  body_ += ':';
  body_ += json;
  return *this;
}

JsonObject& JsonObject::text(std::string_view key, std::string_view value) {
  return add(key, json_quote(value));
}

JsonObject& JsonObject::number(std::string_view key, std::int64_t value) {
  return add(key, std::to_string(value));
}

JsonObject& JsonObject::real(std::string_view key, double value) {
  if (!std::isfinite(value)) return add(key, "null");
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return add(key, text);
}

JsonObject& JsonObject::boolean(std::string_view key, bool value) {
  return add(key, value ? "true" : "false");
}

JsonObject& JsonObject::null(std::string_view key) {
  return add(key, "null");
}

JsonObject& JsonObject::merge(const JsonObject& other) {
  if (other.body_.empty()) return *this;
  if (!body_.empty()) body_ += ',';
  body_ += other.body_;
  return *this;
}

JsonObject& JsonObject::raw(std::string_view key, std::string_view json) {
  return add(key, json);
}

}  // namespace focus::ctl
