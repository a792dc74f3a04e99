#include "exchange/single_focus.h"

#include <cstdio>

#include "exchange/exchange.h"
#include "protocol/command_codes.h"

namespace focus::exchange {

namespace {

enum class Outcome { waiting, succeeded, failed, refused, timed_out };

constexpr std::uint32_t kReadSize = 256;
constexpr std::uint32_t kPassSleepMs = 20;

}  // namespace

std::int32_t run_single_focus(DeviceConnection& connection, std::uint32_t timeout_ms) {
  constexpr protocol::RequestPayload request = protocol::request_payload<protocol::kSingleFocus>();
  const std::int32_t sent =
      send_command(connection, protocol::kSingleFocus, request.bytes.data(), request.size);
  if (sent <= 0) {
    return sent;
  }

  Outcome outcome = Outcome::waiting;
  std::uint8_t device_code = 0;
  const auto judge = [&](const protocol::Frame& frame) -> Verdict {
    if (frame.payload.size() < 3) {
      return std::nullopt;
    }
    const std::uint8_t kind = frame.payload[0];
    const std::uint8_t status = frame.payload[1];
    if (kind == protocol::kFocusResult) {
      device_code = frame.payload[2];
      outcome = status == protocol::kStatusAccepted ? Outcome::succeeded : Outcome::failed;
      return FOCUS_OK;
    }
    if (kind == protocol::kAcknowledgement && status == 0) {
      outcome = Outcome::refused;
      return FOCUS_OK;
    }
    return std::nullopt;
  };

  if (!await_reply(connection, Pacing{kReadSize, kPassSleepMs, 0, timeout_ms}, judge)) {
    outcome = Outcome::timed_out;
  }

  switch (outcome) {
    case Outcome::succeeded: return FOCUS_OK;
    case Outcome::failed: {
      char message[96];
      std::snprintf(message, sizeof message, "单次对焦失败，设备错误码:%u",
                    static_cast<unsigned>(device_code));
      connection::set_error(connection, message);
      return FOCUS_ERR_DEVICE;
    }
    case Outcome::refused: connection::set_error(connection, "单次对焦被设备拒绝"); return FOCUS_ERR_DEVICE;
    case Outcome::waiting:
    case Outcome::timed_out: break;
  }
  connection::set_error(connection, "单次对焦等待超时");
  return FOCUS_ERR_TIMEOUT;
}

}  // namespace focus::exchange

extern "C" {

FOCUS_API int32_t FOCUS_CALL focus_single_focus(DeviceConnection* dev) {
  return focus_single_focus_timeout(dev, 5000);
}

FOCUS_API int32_t FOCUS_CALL focus_single_focus_timeout(DeviceConnection* dev, uint32_t timeout_ms) {
  if (dev == nullptr) {
    return FOCUS_ERR_ARG;
  }
  return focus::exchange::at_boundary([&] { return focus::exchange::run_single_focus(*dev, timeout_ms); });
}

}  // extern "C"
