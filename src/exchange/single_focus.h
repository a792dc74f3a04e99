// The single focus: a request whose outcome the device reports late.
#pragma once

#include <cstdint>

#include "connection/device_connection.h"

namespace focus::exchange {

// Sends 0xA1 and waits for the deciding frame, one Sleep(20) and read of up
// to 256 bytes per pass, against a deadline `timeout_ms` after the request
// was written (0: no deadline, the tick is never read). Returns FOCUS_OK,
// FOCUS_ERR_DEVICE or FOCUS_ERR_TIMEOUT with their messages, or what
// send_command returned when that was not a byte count.
std::int32_t run_single_focus(DeviceConnection& connection, std::uint32_t timeout_ms);

}  // namespace focus::exchange
