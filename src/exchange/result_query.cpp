#include "exchange/result_query.h"

#include "exchange/exchange.h"
#include "protocol/command_codes.h"
#include "protocol/little_endian.h"

namespace focus::exchange {

using protocol::read_le16;

namespace {

// 5 attempts of Sleep(100) and a read of up to 512 bytes: about 0.5 s.
constexpr Pacing kQueryPacing{protocol::FrameReceiver::kMaxRead, 100, 5, 0};
// 20 attempts of Sleep(100) and a read of up to 512 bytes: about 2 s.
constexpr Pacing kSysInfoPacing{protocol::FrameReceiver::kMaxRead, 100, 20, 0};

}  // namespace

std::int32_t poll_result(DeviceConnection& connection, QueryResult* result) {
  if (result == nullptr) {
    return FOCUS_ERR_ARG;
  }
  const Verdict verdict = await_reply(connection, kQueryPacing, [&](const protocol::Frame& frame) -> Verdict {
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
  const Verdict verdict =
      await_reply(connection, kSysInfoPacing, [&](const protocol::Frame& frame) -> Verdict {
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
