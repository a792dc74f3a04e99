#include "device_state.h"

#include "protocol/little_endian.h"

namespace focus::sim {

using protocol::append_le16;

protocol::Bytes sys_info_payload(const DeviceState& state) {
  protocol::Bytes out;
  out.reserve(15);
  out.push_back(state.laser_on ? 1 : 0);
  append_le16(out, state.clock[0]);
  out.push_back(state.laser_power);
  out.push_back(state.lift_position);
  out.push_back(state.calibrating ? 1 : 0);
  out.push_back(kFirmwareMajor);
  append_le16(out, state.clock[1]);
  out.push_back(kFirmwareMinor);
  out.push_back(static_cast<std::uint8_t>((state.trigger_armed ? kFlagTriggerArmed : 0) |
                                          (state.calibration_saved ? kFlagCalibrationSaved : 0)));
  append_le16(out, state.clock[2]);
  append_le16(out, state.clock[3]);
  return out;
}

}  // namespace focus::sim
