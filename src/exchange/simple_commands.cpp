#include "exchange/exchange.h"
#include "exchange/wait_ack.h"
#include "protocol/command_codes.h"

namespace focus::exchange {

namespace {

// 30 attempts of Sleep(50) and a read of up to 512 bytes: about 1.5 s.
constexpr Pacing kAckPacing{protocol::FrameReceiver::kMaxRead, 50, 30, 0};

}  // namespace

std::int32_t wait_ack(DeviceConnection& connection) {
  const Verdict verdict = await_reply(connection, kAckPacing, [](const protocol::Frame& frame) -> Verdict {
    if (frame.payload.size() < 3 || frame.payload[0] != protocol::kAcknowledgement) {
      return std::nullopt;
    }
    return frame.payload[1] == protocol::kStatusAccepted ? FOCUS_OK : FOCUS_ERR_DEVICE;
  });
  return verdict.value_or(FOCUS_ERR_TIMEOUT);
}

namespace {

// Test the handle, send the request the command table shapes from `values`,
// wait for its acknowledgement.
template <std::uint8_t Code, class... Values>
std::int32_t simple_command(DeviceConnection* dev, Values... values) {
  if (dev == nullptr) {
    return FOCUS_ERR_ARG;
  }
  return at_boundary([&] {
    const protocol::RequestPayload payload = protocol::request_payload<Code>(values...);
    const std::int32_t sent = send_command(*dev, Code, payload.bytes.data(), payload.size);
    return sent <= 0 ? sent : wait_ack(*dev);
  });
}

}  // namespace
}  // namespace focus::exchange

using focus::exchange::simple_command;
namespace codes = focus::protocol;

extern "C" {

FOCUS_API int32_t FOCUS_CALL focus_continuous_focus(DeviceConnection* dev) {
  return simple_command<codes::kContinuousFocus>(dev);
}
FOCUS_API int32_t FOCUS_CALL focus_calib_mode(DeviceConnection* dev) {
  return simple_command<codes::kCalibMode>(dev);
}
FOCUS_API int32_t FOCUS_CALL focus_calib_move(DeviceConnection* dev, int x, int y) {
  return simple_command<codes::kCalibMove>(dev, x, y);
}
FOCUS_API int32_t FOCUS_CALL focus_calib_save(DeviceConnection* dev) {
  return simple_command<codes::kCalibSave>(dev);
}
FOCUS_API int32_t FOCUS_CALL focus_laser_on(DeviceConnection* dev, int x) {
  return simple_command<codes::kLaserOn>(dev, x);
}
FOCUS_API int32_t FOCUS_CALL focus_laser_off(DeviceConnection* dev) {
  return simple_command<codes::kLaserOff>(dev);
}
FOCUS_API int32_t FOCUS_CALL focus_laser_power(DeviceConnection* dev, int x) {
  return simple_command<codes::kLaserPower>(dev, x);
}
FOCUS_API int32_t FOCUS_CALL focus_single_range(DeviceConnection* dev) {
  return simple_command<codes::kSingleRange>(dev);
}
FOCUS_API int32_t FOCUS_CALL focus_continuous_range(DeviceConnection* dev) {
  return simple_command<codes::kContinuousRange>(dev);
}
FOCUS_API int32_t FOCUS_CALL focus_lift_control(DeviceConnection* dev, int x) {
  return simple_command<codes::kLiftControl>(dev, x);
}
FOCUS_API int32_t FOCUS_CALL focus_ext_trigger_set(DeviceConnection* dev) {
  return simple_command<codes::kExtTriggerSet>(dev);
}
FOCUS_API int32_t FOCUS_CALL focus_ext_trigger_fire(DeviceConnection* dev) {
  return simple_command<codes::kExtTriggerFire>(dev);
}
FOCUS_API int32_t FOCUS_CALL focus_auto_descend(DeviceConnection* dev) {
  return simple_command<codes::kAutoDescend>(dev);
}
FOCUS_API int32_t FOCUS_CALL focus_fixed_cycle(DeviceConnection* dev, int x, int y) {
  return simple_command<codes::kFixedCycle>(dev, x, y);
}
FOCUS_API int32_t FOCUS_CALL focus_sync_time_set(DeviceConnection* dev, const SyncTime* time) {
  if (time == nullptr) {
    return FOCUS_ERR_ARG;
  }
  return simple_command<codes::kSyncTimeSet>(dev, time->word1, time->word2, time->word3, time->word4);
}
FOCUS_API int32_t FOCUS_CALL focus_sync_time_get(DeviceConnection* dev) {
  return simple_command<codes::kSyncTimeGet>(dev);
}
FOCUS_API int32_t FOCUS_CALL focus_power_off(DeviceConnection* dev) {
  return simple_command<codes::kPowerOff>(dev);
}

}  // extern "C"
