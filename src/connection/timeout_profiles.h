// The port's two timeout profiles and the guard that switches between them.
#pragma once

#include "connection/device_connection.h"
#include "platform/serial_platform.h"

namespace focus::connection {

// What the port holds between calls; every write runs under it, so a write
// of n bytes gives up after 500 + 10 x n ms.
inline constexpr platform::SerialTimeouts kStandingTimeouts{100, 10, 500, 10, 500};
// What every receive exchange reads under: a read returns at once with what
// has arrived.
inline constexpr platform::SerialTimeouts kPollingTimeouts{platform::kMaxDword, 0, 0, 0, 0};

// Saves the port's timeouts and sets the polling profile for the guard's
// lifetime; sets the saved profile back on every way out. When the port's
// timeouts cannot be read, the standing profile is set back instead.
class PollingTimeouts {
 public:
  explicit PollingTimeouts(DeviceConnection& connection);
  ~PollingTimeouts();
  PollingTimeouts(const PollingTimeouts&) = delete;
  PollingTimeouts& operator=(const PollingTimeouts&) = delete;

 private:
  DeviceConnection& connection_;
  platform::SerialTimeouts saved_ = kStandingTimeouts;
};

}  // namespace focus::connection
