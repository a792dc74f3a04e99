// The simulated focus device: what it answers to each host frame, and when.
// Pure logic on a caller's clock in milliseconds; nothing here touches a
// line or reads the time.
//
// Every command gets an acknowledgement (kind 1, the command echoed) after
// the ack delay; status 1, or 0 when refused (on request: code 0; an
// unknown command: code 1; a payload too short for the command: code 2).
// Then, by command:
//   A1 single focus      completion (kind 2) focus-ms after the ack
//   A2 continuous focus  focus results (kind 2) at the rate, until the next command
//   A9 single range      one range result (kind 3) with the ack
//   AA continuous range  range results (kind 3) at the rate, until the next command
//   AD ext trigger fire  one focus result (kind 2) with the ack
//   F5 system info       the 15-byte system information with the ack
//   D1 power off         nothing more is answered, ever
// and the laser, lift, calibration, trigger, cycle and clock commands change
// the state (device_state.h). A new command stops a continuous mode and
// drops the result of a single focus still running. Results carry a 16-bit
// value: for focus the lens position, 1000 + 4 x lift, +-2; for range the
// distance in micrometres, 20000 - 50 x lift, +-8.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "device_state.h"
#include "protocol/frame.h"
#include "sim_options.h"

namespace focus::sim {

inline constexpr std::uint8_t kRefusedOnRequest = 0;
inline constexpr std::uint8_t kRefusedUnknownCommand = 1;
inline constexpr std::uint8_t kRefusedShortPayload = 2;

enum class Handling {
  answered,
  refused,
  silenced,     // --silent: no answer and no effect, as if it never came
  powered_off,  // after D1 nothing is answered
};

struct Outgoing {
  std::uint64_t due_ms;
  protocol::Frame frame;
};

class Device {
 public:
  Device(const DeviceOptions& options, std::uint64_t replay_key);

  // A well-formed host frame that arrived at `now_ms`.
  Handling handle(const protocol::Frame& request, std::uint64_t now_ms);

  // The frames due by `now_ms`, in the order they go out.
  std::vector<Outgoing> take_due(std::uint64_t now_ms);
  // When the next frame is due; nullopt when none is coming.
  std::optional<std::uint64_t> next_due() const;

  const DeviceState& state() const { return state_; }

 private:
  enum class Stream { none, focus, range };
  struct Pending {
    std::uint64_t due_ms;
    std::uint64_t order;
    protocol::Frame frame;
    bool result;  // dropped when the next command comes
  };

  std::optional<std::uint8_t> refusal(const protocol::Frame& request) const;
  void apply(const protocol::Frame& request, std::uint64_t ack_ms);
  void schedule(std::uint64_t due_ms, protocol::Frame frame, bool result);
  void start_stream(Stream stream, std::uint8_t command, std::uint64_t from_ms);
  std::uint64_t stream_due(std::uint64_t index) const;
  // Schedules the stream's results due by `now_ms`.
  void produce_stream(std::uint64_t now_ms);
  protocol::Frame result_frame(std::uint8_t command, std::uint8_t kind, std::uint8_t status,
                               std::uint8_t code, std::uint16_t value) const;
  std::uint16_t focus_reading();
  std::uint16_t range_reading();

  DeviceOptions options_;
  DeviceState state_;
  std::mt19937_64 random_;
  std::vector<Pending> pending_;  // by due time, then by order of scheduling
  std::uint64_t next_order_ = 0;
  Stream stream_ = Stream::none;
  std::uint8_t stream_command_ = 0;
  std::uint64_t stream_from_ms_ = 0;
  std::uint64_t stream_sent_ = 0;
};

}  // namespace focus::sim
