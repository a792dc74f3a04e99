// What every exchange shares: sending a request, reading replies into the
// connection's receive path, and the boundary that keeps exceptions inside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "connection/device_connection.h"
#include "focus.h"
#include "protocol/frame.h"

namespace focus::exchange {

// Clears what the connection and the driver hold, then writes one request
// under the standing timeouts. Returns the bytes written (the whole frame),
// FOCUS_ERR_NOT_OPEN with "串口未打开", or FOCUS_ERR_WRITE with
// "串口写入失败" when the port took fewer bytes than the frame.
std::int32_t send_command(DeviceConnection& connection, std::uint8_t command, const std::uint8_t* payload,
                          std::size_t size);

// One read of up to `max_bytes` into the connection's receive path. A failed
// read adds nothing.
void read_into_receiver(DeviceConnection& connection, std::uint32_t max_bytes);

// A receive loop's test of one device frame: a status ends the loop,
// nullopt passes the frame over.
using Verdict = std::optional<std::int32_t>;

// Judges the complete frames the connection holds, in order, until one ends
// the loop; that frame and those before it are consumed.
template <class Judge>
Verdict judge_held_frames(DeviceConnection& connection, Judge&& judge) {
  protocol::Frame frame;
  while (connection.received.next_device_frame(frame)) {
    if (Verdict verdict = judge(frame)) {
      return verdict;
    }
  }
  return std::nullopt;
}

// The attempt loop of the acknowledgement, result and system-information
// waits: the frames already held are judged first, then up to `attempts`
// times a sleep, one read and the judging of what it completed. Runs under
// the caller's polling timeouts.
template <class Judge>
Verdict poll_attempts(DeviceConnection& connection, int attempts, std::uint32_t sleep_ms, Judge&& judge) {
  if (Verdict verdict = judge_held_frames(connection, judge)) {
    return verdict;
  }
  for (int attempt = 0; attempt < attempts; ++attempt) {
    connection.platform->sleep_ms(sleep_ms);
    read_into_receiver(connection, protocol::FrameReceiver::kMaxRead);
    if (Verdict verdict = judge_held_frames(connection, judge)) {
      return verdict;
    }
  }
  return std::nullopt;
}

// Runs an export's body; no exception leaves the library.
template <class Body>
std::int32_t at_boundary(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return FOCUS_ERR_NO_MEMORY;
  }
}

}  // namespace focus::exchange
