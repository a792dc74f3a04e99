// The one rule that finds frames in received bytes, shared by the library's
// receive path and the traffic scanner of the simulator and focusctl: what
// begins at a given byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/frame.h"
#include "protocol/frame_crc.h"
#include "protocol/little_endian.h"

namespace focus::protocol {

struct FrameAt {
  enum Kind : std::uint8_t {
    not_a_frame,  // no 0x5A here
    incomplete,   // a 0x5A whose N + 6 bytes have not all arrived
    bad_crc,      // a 0x5A, a length and all its bytes, but the CRC fails: no frame either
    frame,        // a complete frame whose CRC matches
  };
  Kind kind;
  std::size_t size;  // for frame and bad_crc, the N + 6 bytes; else 0
};

// What the first of the `count` bytes at `bytes` begins. Neither the
// direction nor the command is judged.
constexpr FrameAt frame_at(const std::uint8_t* bytes, std::size_t count) {
  if (count == 0 || bytes[0] != kHeader) return {FrameAt::not_a_frame, 0};
  if (count < kFrameOverhead || count < bytes[2] + kFrameOverhead) return {FrameAt::incomplete, 0};
  const std::size_t size = bytes[2] + kFrameOverhead;
  const bool good = frame_crc(bytes, size - 2) == read_le16(bytes + size - 2);
  return {good ? FrameAt::frame : FrameAt::bad_crc, size};
}

}  // namespace focus::protocol
