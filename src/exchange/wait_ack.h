// The acknowledgement wait that every simple command ends with.
#pragma once

#include <cstdint>

#include "connection/device_connection.h"

namespace focus::exchange {

// Up to 30 attempts of Sleep(50) and one read, under the polling timeouts:
// FOCUS_OK for an acknowledgement (kind 1, at least 3 payload bytes) with
// status 1, FOCUS_ERR_DEVICE for one with any other status,
// FOCUS_ERR_TIMEOUT without one. Stores no message.
std::int32_t wait_ack(DeviceConnection& connection);

}  // namespace focus::exchange
