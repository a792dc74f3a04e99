// Bytes written and read as hex text: "5A 01 01 A7 01 97 C1".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace focus::text {

using Bytes = std::vector<std::uint8_t>;

// Upper-case pairs separated by single spaces; "" for no bytes.
std::string to_hex(const std::uint8_t* bytes, std::size_t count);
inline std::string to_hex(const Bytes& bytes) {
  return to_hex(bytes.data(), bytes.size());
}

// One byte: "0x2C", "2C", "2c" or "7"; nullopt unless the text is one or
// two hex digits after an optional 0x.
std::optional<std::uint8_t> parse_byte(std::string_view text);

// Appends the bytes of one token to `out`: a single byte as parse_byte
// reads it, or an even run of hex digits ("5A0101A7"). Commas and colons
// separate bytes as spaces do. False, with `error` set, for anything else.
bool append_hex_token(std::string_view token, Bytes& out, std::string& error);

}  // namespace focus::text
