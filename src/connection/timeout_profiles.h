// The port's timeout profiles and the guard that switches between them.
#pragma once

#include <cstdint>

#include "connection/device_connection.h"
#include "platform/serial_platform.h"

namespace focus::connection {

// What the port holds between calls; every write runs under it, so a write
// of n bytes gives up after 500 + 10 x n ms.
inline constexpr platform::SerialTimeouts kStandingTimeouts{100, 10, 500, 10, 500};
// What a paced exchange reads under: a read returns at once with what has
// arrived.
inline constexpr platform::SerialTimeouts kPollingTimeouts{platform::kMaxDword, 0, 0, 0, 0};

// The longest single wait of a prompt read; a wait without a bound is made
// of reads of this length.
inline constexpr std::uint32_t kLongestPromptWait = 60000;

// What a prompt exchange reads under: a read returns at once with the bytes
// already received, else with the first bytes that arrive within `wait_ms`
// (1 to kLongestPromptWait), else with none after `wait_ms`.
constexpr platform::SerialTimeouts prompt_timeouts(std::uint32_t wait_ms) {
  return {platform::kMaxDword, platform::kMaxDword, wait_ms, 0, 0};
}

// Saves the port's timeouts and sets the exchange's first read profile for
// the guard's lifetime; sets the saved profile back on every way out. When
// the port's timeouts cannot be read, the standing profile is set back
// instead.
class ExchangeTimeouts {
 public:
  ExchangeTimeouts(DeviceConnection& connection, const platform::SerialTimeouts& profile);
  ~ExchangeTimeouts();
  ExchangeTimeouts(const ExchangeTimeouts&) = delete;
  ExchangeTimeouts& operator=(const ExchangeTimeouts&) = delete;

  // Sets `profile` for the following reads, unless it is in force already.
  void use(const platform::SerialTimeouts& profile);

 private:
  DeviceConnection& connection_;
  platform::SerialTimeouts saved_ = kStandingTimeouts;
  platform::SerialTimeouts in_force_;
};

}  // namespace focus::connection
