#include "exchange/result_query.h"

#include "connection/timeout_profiles.h"
#include "exchange/exchange.h"
#include "protocol/command_codes.h"
#include "protocol/little_endian.h"

namespace focus::exchange {

using protocol::read_le16;

std::int32_t poll_result(DeviceConnection& connection, QueryResult* result) {
  if (result == nullptr) {
    return FOCUS_ERR_ARG;
  }
  connection::PollingTimeouts polling(connection);
  const Verdict verdict = poll_attempts(connection, 5, 100, [&](const protocol::Frame& frame) -> Verdict {
    const protocol::Bytes& p = frame.payload;
    if (p.size() < 3) {
      return std::nullopt;
    }
    result->kind = p[0];
    result->status = p[1];
    result->code = p[2];
    result->value = p.size() >= 5 ? read_le16(p, 3) : 0;
    if (p[0] == protocol::kFocusResult || p[0] == protocol::kRangeResult) {
      return FOCUS_OK;
    }
    return std::nullopt;
  });
  return verdict.value_or(FOCUS_ERR_TIMEOUT);
}

std::int32_t fetch_sys_info(DeviceConnection& connection, SysInfo* info) {
  if (info == nullptr) {
    return FOCUS_ERR_ARG;
  }
  constexpr protocol::RequestPayload request = protocol::request_payload<protocol::kSysInfo>();
  const std::int32_t sent = send_command(connection, protocol::kSysInfo, request.bytes.data(), request.size);
  if (sent <= 0) {
    return sent;
  }
  connection::PollingTimeouts polling(connection);
  const Verdict verdict = poll_attempts(connection, 20, 100, [&](const protocol::Frame& frame) -> Verdict {
    const protocol::Bytes& p = frame.payload;
    if (p.size() < 15) {
      return std::nullopt;
    }
    info->info1 = p[0];
    info->info2 = read_le16(p, 1);
    info->info3 = p[3];
    info->info4 = p[4];
    info->info5 = p[5];
    info->info6 = p[6];
    info->info7 = read_le16(p, 7);
    info->info8 = p[9];
    info->info9 = p[10];
    info->info10 = read_le16(p, 11);
    info->info11 = read_le16(p, 13);
    return FOCUS_OK;
  });
  return verdict.value_or(FOCUS_ERR_TIMEOUT);
}

}  // namespace focus::exchange

extern "C" {

FOCUS_API int32_t FOCUS_CALL focus_query_result(DeviceConnection* dev, QueryResult* result) {
  if (dev == nullptr) {
    return FOCUS_ERR_ARG;
  }
  return focus::exchange::at_boundary([&] { return focus::exchange::poll_result(*dev, result); });
}

FOCUS_API int32_t FOCUS_CALL focus_read_sys_info(DeviceConnection* dev, SysInfo* info) {
  if (dev == nullptr) {
    return FOCUS_ERR_ARG;
  }
  return focus::exchange::at_boundary([&] { return focus::exchange::fetch_sys_info(*dev, info); });
}

}  // extern "C"
