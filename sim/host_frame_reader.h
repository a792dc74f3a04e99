// Finds the host's frames in the bytes that reach the device. Frames may
// arrive in pieces; bytes that make no frame are reported, not silently
// dropped, so that the traffic log shows them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "frame_scan.h"
#include "protocol/frame.h"

namespace focus::sim {

class HostFrameReader {
 public:
  // An unfinished frame that gets no more bytes for this long is given up.
  static constexpr std::uint64_t kStaleMs = 200;

  // The bytes that arrived at `now_ms`; returns what they settled: frames
  // (in either direction; judging them is the caller's part), frames whose
  // CRC fails and stray bytes. An unfinished frame is held for more bytes.
  std::vector<text::ScannedPiece> feed(const std::uint8_t* bytes, std::size_t count, std::uint64_t now_ms);

  // The held unfinished frame, as an `incomplete` piece, once it is stale.
  std::optional<text::ScannedPiece> expire(std::uint64_t now_ms);
  // When expire() would give up what is held; nullopt when nothing is.
  std::optional<std::uint64_t> expiry_due() const;

  std::size_t held() const { return held_.size(); }

 private:
  protocol::Bytes held_;
  std::uint64_t last_arrival_ms_ = 0;
};

}  // namespace focus::sim
