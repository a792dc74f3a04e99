// The device and its line as one piece, on a caller's clock: host bytes go
// in, the bytes to write to the host come out when their time has come.
// Both the focus-sim program and the tests drive it; it knows no file,
// line or real time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "device.h"
#include "host_frame_reader.h"
#include "line_faults.h"
#include "sim_options.h"
#include "traffic_log.h"

namespace focus::sim {

class Simulator {
 public:
  // The device and the faults draw from their own generators, both derived
  // from `replay_key`, so that a run with the same key and traffic repeats.
  Simulator(const SimOptions& options, std::uint64_t replay_key, TrafficSink sink = {});

  // Bytes from the host that arrived at `now_ms`.
  void receive(const std::uint8_t* bytes, std::size_t count, std::uint64_t now_ms);

  // The writes due by `now_ms`, in order; each is one write to the line.
  std::vector<protocol::Bytes> take_due(std::uint64_t now_ms);
  // When take_due() next has something to do; nullopt when nothing is due.
  std::optional<std::uint64_t> next_due() const;

  const DeviceState& state() const { return device_.state(); }

 private:
  struct Timed {
    std::uint64_t at_ms;
    protocol::Bytes bytes;
  };

  void judge(const text::ScannedPiece& piece, std::uint64_t now_ms);
  void put_on_line(const Outgoing& reply, std::uint64_t now_ms);
  void log(std::uint64_t at_ms, TrafficEvent::Way way, const protocol::Bytes& bytes, std::string note,
           bool bad = false);

  bool echo_;
  Device device_;
  LineFaults faults_;
  HostFrameReader reader_;
  TrafficSink sink_;
  std::deque<Timed> line_;  // writes in the order they go out
  std::uint64_t line_free_ms_ = 0;
};

}  // namespace focus::sim
