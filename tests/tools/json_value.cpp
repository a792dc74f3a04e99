#include "json_value.h"

#include <cstdlib>

namespace focus::testing {

namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<JsonValue> document() {
    std::optional<JsonValue> value = parse_value();
    skip_spaces();
    if (!value || pos_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  void skip_spaces() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_] == '\t')) {
      ++pos_;
    }
  }

  bool take(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  std::optional<JsonValue> parse_value() {
    skip_spaces();
    if (pos_ >= text_.size()) return std::nullopt;
    JsonValue value;
    const char c = text_[pos_];
    if (c == '{') return parse_object();
    if (c == '[') return parse_array();
    if (c == '"') {
      std::optional<std::string> s = parse_string();
      if (!s) return std::nullopt;
      value.type = JsonValue::Type::string;
      value.string = *s;
      return value;
    }
    if (take("true") || take("false")) {
      value.type = JsonValue::Type::boolean;
      value.boolean = text_.substr(pos_ - 4, 4) == "true";
      return value;
    }
    if (take("null")) return value;
    const std::string rest(text_.substr(pos_));
    char* end = nullptr;
    value.number = std::strtod(rest.c_str(), &end);
    if (end == rest.c_str()) return std::nullopt;
    pos_ += static_cast<std::size_t>(end - rest.c_str());
    value.type = JsonValue::Type::number;
    return value;
  }

  std::optional<std::string> parse_string() {
    ++pos_;  // the opening quote
    std::string out;
    while (pos_ < text_.size() && text_[pos_] != '"') {
      char c = text_[pos_++];
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) return std::nullopt;
      c = text_[pos_++];
      switch (c) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          if (pos_ + 4 > text_.size()) return std::nullopt;
          const long code = std::strtol(std::string(text_.substr(pos_, 4)).c_str(), nullptr, 16);
          pos_ += 4;
          if (code >= 0x80) return std::nullopt;  // focusctl escapes control characters only
          out += static_cast<char>(code);
          break;
        }
        default: return std::nullopt;
      }
    }
    if (pos_ >= text_.size()) return std::nullopt;
    ++pos_;
    return out;
  }

  std::optional<JsonValue> parse_array() {
    ++pos_;
    JsonValue value;
    value.type = JsonValue::Type::array;
    skip_spaces();
    if (take("]")) return value;
    for (;;) {
      std::optional<JsonValue> item = parse_value();
      if (!item) return std::nullopt;
      value.array.push_back(*item);
      skip_spaces();
      if (take("]")) return value;
      if (!take(",")) return std::nullopt;
    }
  }

  std::optional<JsonValue> parse_object() {
    ++pos_;
    JsonValue value;
    value.type = JsonValue::Type::object;
    skip_spaces();
    if (take("}")) return value;
    for (;;) {
      skip_spaces();
      if (pos_ >= text_.size() || text_[pos_] != '"') return std::nullopt;
      std::optional<std::string> key = parse_string();
      skip_spaces();
      if (!key || !take(":")) return std::nullopt;
      std::optional<JsonValue> item = parse_value();
      if (!item || value.object.count(*key)) return std::nullopt;  // no duplicate keys
      value.object[*key] = *item;
      skip_spaces();
      if (take("}")) return value;
      if (!take(",")) return std::nullopt;
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
  static const JsonValue kNull;
  const auto found = object.find(key);
  return found == object.end() ? kNull : found->second;
}

std::optional<JsonValue> parse_json(std::string_view text) {
  return Reader(text).document();
}

std::optional<std::vector<JsonValue>> parse_json_lines(std::string_view text) {
  std::vector<JsonValue> values;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    std::optional<JsonValue> value = parse_json(line);
    if (!value) return std::nullopt;
    values.push_back(*value);
  }
  return values;
}

}  // namespace focus::testing
