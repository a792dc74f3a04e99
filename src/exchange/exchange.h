// What every exchange shares: sending a request, reading replies into the
// connection's receive path, and the boundary that keeps exceptions inside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "connection/device_connection.h"
#include "connection/timeout_profiles.h"
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
// read adds nothing. Notes whether the read filled all it asked for.
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

// How one receive loop waits.
struct Pacing {
  // The most bytes one read asks for.
  std::uint32_t read_size;
  // Paced: the sleep before a read, skipped when the read before came back
  // full.
  std::uint32_t sleep_ms;
  // Paced: a fixed number of attempts, each a sleep and one read; the bound
  // of a prompt wait is attempts x sleep_ms. 0: passes against `limit_ms`.
  int attempts;
  // With no attempts: the deadline, in ms after the start; 0 for none.
  std::uint32_t limit_ms;
};

// Paced: for each attempt (or, with a limit, each pass that starts before
// the deadline) a sleep, skipped when the read before came back full, one
// read and the judging of what it completed.
template <class Judge>
Verdict await_paced(DeviceConnection& connection, const Pacing& pacing, Judge& judge) {
  platform::SerialPlatform& line = *connection.platform;
  connection::ExchangeTimeouts timeouts(connection, connection::kPollingTimeouts);
  const bool limited = pacing.attempts == 0 && pacing.limit_ms != 0;
  const std::uint64_t deadline = limited ? line.tick_ms() + pacing.limit_ms : 0;
  if (Verdict verdict = judge_held_frames(connection, judge)) {
    return verdict;
  }
  for (int attempts_left = pacing.attempts;;) {
    if (pacing.attempts != 0 && attempts_left-- == 0) {
      return std::nullopt;
    }
    if (limited && line.tick_ms() >= deadline) {
      return std::nullopt;
    }
    if (!connection.driver_may_hold_more) {
      line.sleep_ms(pacing.sleep_ms);
    }
    read_into_receiver(connection, pacing.read_size);
    if (Verdict verdict = judge_held_frames(connection, judge)) {
      return verdict;
    }
  }
}

// Prompt: reads that block until bytes arrive or the bound is reached (at
// most kLongestPromptWait each), each followed by the judging.
template <class Judge>
Verdict await_prompt(DeviceConnection& connection, const Pacing& pacing, Judge& judge) {
  platform::SerialPlatform& line = *connection.platform;
  const std::uint64_t bound =
      pacing.attempts != 0 ? std::uint64_t{pacing.sleep_ms} * static_cast<std::uint64_t>(pacing.attempts)
                           : pacing.limit_ms;
  const auto wait_of = [](std::uint64_t ms) {
    return connection::prompt_timeouts(static_cast<std::uint32_t>(
        ms < connection::kLongestPromptWait ? ms : connection::kLongestPromptWait));
  };
  connection::ExchangeTimeouts timeouts(connection,
                                        wait_of(bound != 0 ? bound : connection::kLongestPromptWait));
  const std::uint64_t deadline = bound != 0 ? line.tick_ms() + bound : 0;
  if (Verdict verdict = judge_held_frames(connection, judge)) {
    return verdict;
  }
  for (;;) {
    std::uint64_t wait_ms = connection::kLongestPromptWait;
    if (bound != 0) {
      const std::uint64_t now = line.tick_ms();
      if (now >= deadline) {
        return std::nullopt;
      }
      wait_ms = deadline - now;
    }
    timeouts.use(wait_of(wait_ms));
    read_into_receiver(connection, pacing.read_size);
    if (Verdict verdict = judge_held_frames(connection, judge)) {
      return verdict;
    }
  }
}

// The receive loop of every exchange, under the connection's wait mode: the
// frames already held are judged first, then paced or prompt reads. The
// port's timeouts are switched for the loop and set back on every way out.
// nullopt: the bound was reached without a verdict.
template <class Judge>
Verdict await_reply(DeviceConnection& connection, const Pacing& pacing, Judge&& judge) {
  return connection.wait_mode == connection::WaitMode::paced ? await_paced(connection, pacing, judge)
                                                             : await_prompt(connection, pacing, judge);
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
