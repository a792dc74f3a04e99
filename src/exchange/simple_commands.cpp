#include "exchange/simple_commands.h"

#include <initializer_list>

#include "exchange/exchange.h"
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

std::uint8_t lo(int value) {
  return static_cast<std::uint8_t>(value & 0xFF);
}
std::uint8_t hi(int value) {
  return static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

// Test the handle, send the request, wait for its acknowledgement.
std::int32_t simple_command(DeviceConnection* dev, std::uint8_t command,
                            std::initializer_list<std::uint8_t> payload) {
  if (dev == nullptr) {
    return FOCUS_ERR_ARG;
  }
  return at_boundary([&] {
    const std::int32_t sent = send_command(*dev, command, payload.begin(), payload.size());
    return sent <= 0 ? sent : wait_ack(*dev);
  });
}

}  // namespace
}  // namespace focus::exchange

using focus::exchange::hi;
using focus::exchange::lo;
using focus::exchange::simple_command;
namespace codes = focus::protocol;

extern "C" {

FOCUS_API int32_t FOCUS_CALL focus_continuous_focus(DeviceConnection* dev) {
  return simple_command(dev, codes::kContinuousFocus, {0x01});
}
FOCUS_API int32_t FOCUS_CALL focus_calib_mode(DeviceConnection* dev) {
  return simple_command(dev, codes::kCalibMode, {0x01});
}
FOCUS_API int32_t FOCUS_CALL focus_calib_move(DeviceConnection* dev, int x, int y) {
  return simple_command(dev, codes::kCalibMove, {lo(x), lo(y), hi(y)});
}
FOCUS_API int32_t FOCUS_CALL focus_calib_save(DeviceConnection* dev) {
  return simple_command(dev, codes::kCalibSave, {0x01});
}
FOCUS_API int32_t FOCUS_CALL focus_laser_on(DeviceConnection* dev, int x) {
  return simple_command(dev, codes::kLaserOn, {0x01, lo(x)});
}
FOCUS_API int32_t FOCUS_CALL focus_laser_off(DeviceConnection* dev) {
  return simple_command(dev, codes::kLaserOff, {0x01});
}
FOCUS_API int32_t FOCUS_CALL focus_laser_power(DeviceConnection* dev, int x) {
  return simple_command(dev, codes::kLaserPower, {0x01, lo(x)});
}
FOCUS_API int32_t FOCUS_CALL focus_single_range(DeviceConnection* dev) {
  return simple_command(dev, codes::kSingleRange, {0x01});
}
FOCUS_API int32_t FOCUS_CALL focus_continuous_range(DeviceConnection* dev) {
  return simple_command(dev, codes::kContinuousRange, {0x01});
}
FOCUS_API int32_t FOCUS_CALL focus_lift_control(DeviceConnection* dev, int x) {
  return simple_command(dev, codes::kLiftControl, {lo(x)});
}
FOCUS_API int32_t FOCUS_CALL focus_ext_trigger_set(DeviceConnection* dev) {
  return simple_command(dev, codes::kExtTriggerSet, {0x01});
}
FOCUS_API int32_t FOCUS_CALL focus_ext_trigger_fire(DeviceConnection* dev) {
  return simple_command(dev, codes::kExtTriggerFire, {0x01});
}
FOCUS_API int32_t FOCUS_CALL focus_auto_descend(DeviceConnection* dev) {
  return simple_command(dev, codes::kAutoDescend, {0x01});
}
FOCUS_API int32_t FOCUS_CALL focus_fixed_cycle(DeviceConnection* dev, int x, int y) {
  return simple_command(dev, codes::kFixedCycle, {0x01, lo(x), hi(x), lo(y), hi(y)});
}
FOCUS_API int32_t FOCUS_CALL focus_sync_time_set(DeviceConnection* dev, const SyncTime* time) {
  if (time == nullptr) {
    return FOCUS_ERR_ARG;
  }
  return simple_command(dev, codes::kSyncTimeSet,
                        {0x01, lo(time->word1), hi(time->word1), lo(time->word2), hi(time->word2),
                         lo(time->word3), hi(time->word3), lo(time->word4), hi(time->word4)});
}
FOCUS_API int32_t FOCUS_CALL focus_sync_time_get(DeviceConnection* dev) {
  return simple_command(dev, codes::kSyncTimeGet, {0x01});
}
FOCUS_API int32_t FOCUS_CALL focus_power_off(DeviceConnection* dev) {
  return simple_command(dev, codes::kPowerOff, {0x01});
}

}  // extern "C"
