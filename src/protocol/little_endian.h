// 16-bit fields as frames carry them: low byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace focus::protocol {

constexpr std::uint16_t read_le16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}
inline std::uint16_t read_le16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return read_le16(bytes.data() + at);
}

constexpr std::uint8_t low_byte(std::uint16_t value) {
  return static_cast<std::uint8_t>(value & 0xFFu);
}
constexpr std::uint8_t high_byte(std::uint16_t value) {
  return static_cast<std::uint8_t>(value >> 8);
}

inline void append_le16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(low_byte(value));
  out.push_back(high_byte(value));
}

}  // namespace focus::protocol
