// The simulator on a clock the test moves: host bytes in at chosen times,
// every write out recorded with its time.
#pragma once

#include <cstdint>
#include <vector>

#include "frame_scan.h"
#include "simulator.h"

namespace focus::sim {

struct TimedWrite {
  std::uint64_t at_ms;
  protocol::Bytes bytes;
};

struct TimedPiece {
  std::uint64_t complete_ms;  // when the write that finished it went out
  text::ScannedPiece piece;
};

class VirtualLine {
 public:
  explicit VirtualLine(const SimOptions& options = {}, std::uint64_t replay_key = 1);

  // The host writes `bytes` at `at_ms` (after the clock has run to it).
  void host_writes(const protocol::Bytes& bytes, std::uint64_t at_ms);
  void host_sends(std::uint8_t command, const protocol::Bytes& payload, std::uint64_t at_ms);
  // Moves the clock to `until_ms`, stopping at every time something is due.
  void run_until(std::uint64_t until_ms);

  const std::vector<TimedWrite>& writes() const { return writes_; }
  protocol::Bytes received() const;  // everything written to the host, in order
  // The received bytes cut into frames and the rest.
  std::vector<TimedPiece> pieces() const;
  // The good frames in the device's direction.
  std::vector<TimedPiece> device_frames() const;
  const std::vector<TrafficEvent>& events() const { return events_; }

 private:
  std::vector<TrafficEvent> events_;
  Simulator simulator_;
  std::vector<TimedWrite> writes_;
  std::uint64_t now_ms_ = 0;
};

}  // namespace focus::sim
