// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF, no final XOR),
// driven by a table fixed at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace focus::protocol {

inline constexpr std::array<std::uint16_t, 256> kCrcTable = [] {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    auto crc = static_cast<std::uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u)
                       : static_cast<std::uint16_t>(crc >> 1);
    }
    table[i] = crc;
  }
  return table;
}();

constexpr std::uint16_t frame_crc(const std::uint8_t* bytes, std::size_t count) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < count; ++i) {
    crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ bytes[i]) & 0xFFu]);
  }
  return crc;
}

}  // namespace focus::protocol
