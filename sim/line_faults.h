// The faults a misbehaving line adds to the device's replies: stray bytes
// in front of a frame, a flipped bit, a frame cut into pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "protocol/frame.h"
#include "sim_options.h"

namespace focus::sim {

struct WirePiece {
  std::uint32_t pause_ms;  // after the piece before it
  protocol::Bytes bytes;
};

struct ShapedReply {
  protocol::Bytes noise;                   // stray bytes sent first; maybe none
  protocol::Bytes sent;                    // the frame as sent, maybe with one bit flipped
  std::optional<std::size_t> flipped_bit;  // byte index x 8 + bit, when one was
  std::vector<WirePiece> pieces;           // `sent` as written: one piece unless split
};

class LineFaults {
 public:
  static constexpr std::size_t kMaxNoiseBytes = 6;
  static constexpr std::size_t kMaxPieces = 4;
  static constexpr std::uint32_t kMaxPauseMs = 5;

  LineFaults(const LineOptions& options, std::uint64_t replay_key);

  ShapedReply shape(const protocol::Bytes& frame);

 private:
  std::vector<WirePiece> cut(const protocol::Bytes& bytes);

  LineOptions options_;
  std::mt19937_64 random_;
};

}  // namespace focus::sim
