// The traffic log: one line per frame or run of bytes, in either direction.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "protocol/frame.h"

namespace focus::sim {

struct TrafficEvent {
  enum class Way { to_device, to_host };
  std::uint64_t at_ms;  // since the simulator started
  Way way;
  protocol::Bytes bytes;
  std::string note;  // what the bytes are; "!! " in front marks bad ones
  bool bad = false;
};

using TrafficSink = std::function<void(const TrafficEvent&)>;

// "     314 ms  host->dev  5A 01 01 A1 01 94 61  single-focus (A1) 01"
std::string format_traffic(const TrafficEvent& event);

}  // namespace focus::sim
