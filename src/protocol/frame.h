// One protocol frame: 0x5A, direction, payload length N, command, N payload
// bytes, CRC-16/MODBUS of everything before it, low byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace focus::protocol {

inline constexpr std::uint8_t kHeader = 0x5A;
inline constexpr std::uint8_t kHostDirection = 0x01;
// The direction byte of every frame the device sends. The library takes
// any direction but the host's; the simulator and the tests send this one.
inline constexpr std::uint8_t kDeviceDirection = 0x02;
// Head (4 bytes) plus CRC (2 bytes): a frame is N + 6 bytes long.
inline constexpr std::size_t kFrameOverhead = 6;
inline constexpr std::size_t kMaxFrameSize = 255 + kFrameOverhead;

using Bytes = std::vector<std::uint8_t>;

struct Frame {
  std::uint8_t header = 0;
  std::uint8_t direction = 0;
  std::uint8_t length = 0;  // the payload length as the frame states it
  std::uint8_t command = 0;
  Bytes payload;
  std::uint16_t crc = 0;  // as received; not read when encoding
};

// A frame with header 0x5A, the length the low 8 bits of the payload's size.
Frame make_frame(std::uint8_t direction, std::uint8_t command, Bytes payload);

// A frame the host sends: direction 0x01, length the low 8 bits of `size`;
// the payload is copied only for a non-null pointer and size > 0.
Frame make_host_frame(std::uint8_t command, const std::uint8_t* payload, std::size_t size);

// A frame the device sends (direction 0x02).
inline Frame make_device_frame(std::uint8_t command, Bytes payload) {
  return make_frame(kDeviceDirection, command, std::move(payload));
}

// The frame's bytes, with `length` written as the field holds it and the CRC
// computed over what was written.
Bytes encode_frame(const Frame& frame);

// True when bytes[0 .. N+6) hold a frame whose CRC matches. Neither the
// header nor the direction is judged. On false the record holds what could
// be read: nothing for a null pointer or fewer than 6 bytes; the head bytes
// for a short frame; every field for a CRC mismatch.
bool decode_frame(const std::uint8_t* bytes, std::size_t count, Frame& frame);

}  // namespace focus::protocol
