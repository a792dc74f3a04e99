#include "hex_text.h"

namespace focus::text {

namespace {

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool has_hex_prefix(std::string_view text) {
  return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

bool all_hex(std::string_view text) {
  for (char c : text) {
    if (digit_value(c) < 0) return false;
  }
  return !text.empty();
}

}  // namespace

std::string to_hex(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::optional<std::uint8_t> parse_byte(std::string_view text) {
  if (has_hex_prefix(text)) text.remove_prefix(2);
  if (text.empty() || text.size() > 2 || !all_hex(text)) return std::nullopt;
  int value = 0;
  for (char c : text) value = value * 16 + digit_value(c);
  return static_cast<std::uint8_t>(value);
}

bool append_hex_token(std::string_view token, Bytes& out, std::string& error) {
  std::size_t start = 0;
  while (start <= token.size()) {
    std::size_t end = token.find_first_of(", :\t", start);
    if (end == std::string_view::npos) end = token.size();
    std::string_view piece = token.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;
    if (const std::optional<std::uint8_t> single = parse_byte(piece)) {
      out.push_back(*single);
      continue;
    }
    if (!all_hex(piece) || piece.size() % 2 != 0) {
      error = "not hex bytes: \"" + std::string(piece) + "\"";
      return false;
    }
    for (std::size_t i = 0; i < piece.size(); i += 2) {
      out.push_back(static_cast<std::uint8_t>(digit_value(piece[i]) * 16 + digit_value(piece[i + 1])));
    }
  }
  return true;
}

}  // namespace focus::text
