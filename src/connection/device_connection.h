// The record behind a connection handle.
#pragma once

#include <cstddef>
#include <string>

#include "connection/traced_line.h"
#include "platform/serial_platform.h"
#include "protocol/frame_receiver.h"

namespace focus::connection {

// How an exchange waits for its reply (focus_set_wait_mode).
enum class WaitMode {
  // Sleeps a fixed interval before each read, as each exchange describes.
  paced,
  // Blocks in the read until bytes arrive or the exchange's bound is reached.
  prompt,
};

}  // namespace focus::connection

// Global, so that the public header's opaque `struct DeviceConnection` names it.
struct DeviceConnection {
  explicit DeviceConnection(focus::platform::SerialPlatform& line) : platform(&line), traced(line) {}

  focus::platform::PortHandle port = focus::platform::kInvalidPort;
  // The last error message, replaced whole; storage is reserved when the
  // connection is made, so storing a message never allocates.
  std::string error_text;
  // Every platform call goes through this: the backend itself, or `traced`
  // while the host has set a trace (focus_set_trace).
  focus::platform::SerialPlatform* platform;
  focus::connection::TracedLine traced;
  // Bytes read from the port and not yet consumed by an exchange.
  focus::protocol::FrameReceiver received;
  // The last read filled all it asked for: the driver may hold more, so the
  // next read comes without the sleep. Cleared when the driver is purged.
  bool driver_may_hold_more = false;
  focus::connection::WaitMode wait_mode = focus::connection::WaitMode::paced;
};

namespace focus::connection {

// Room reserved for messages, terminating NUL included.
inline constexpr std::size_t kMessageCapacity = 128;

// focus_init on a given platform: opens `name` exclusively, sets 115200 8N1
// and the standing timeouts. Null when the name is null, memory is short,
// the open fails or what opened is no serial line (its line settings cannot
// be read); the system's reason then stays in errno / GetLastError().
DeviceConnection* open_connection(platform::SerialPlatform& line, const char* name);

// focus_close: closes the port (sending nothing) and releases the record.
void close_connection(DeviceConnection* connection);

// Replaces the connection's message.
void set_error(DeviceConnection& connection, const char* message);

}  // namespace focus::connection
