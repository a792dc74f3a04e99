// The two exchanges that hand device data back in a caller's record.
#pragma once

#include <cstdint>

#include "connection/device_connection.h"
#include "focus.h"

namespace focus::exchange {

// Collects the next result (kind 2 or 3): what the connection holds, then
// up to 5 attempts of Sleep(100) and a read. Sends nothing. Every reply of
// at least 3 payload bytes met on the way is written into *result.
std::int32_t poll_result(DeviceConnection& connection, QueryResult* result);

// Sends 0xF5 and takes the first reply of at least 15 payload bytes within
// 20 attempts of Sleep(100) and a read; *info is written only on FOCUS_OK.
std::int32_t fetch_sys_info(DeviceConnection& connection, SysInfo* info);

}  // namespace focus::exchange
