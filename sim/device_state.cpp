#include "device_state.h"

namespace focus::sim {

namespace {

void put16(protocol::Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFFu));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

protocol::Bytes sys_info_payload(const DeviceState& state) {
  protocol::Bytes out;
  out.reserve(15);
  out.push_back(state.laser_on ? 1 : 0);
  put16(out, state.clock[0]);
  out.push_back(state.laser_power);
  out.push_back(state.lift_position);
  out.push_back(state.calibrating ? 1 : 0);
  out.push_back(kFirmwareMajor);
  put16(out, state.clock[1]);
  out.push_back(kFirmwareMinor);
  out.push_back(static_cast<std::uint8_t>((state.trigger_armed ? kFlagTriggerArmed : 0) |
                                          (state.calibration_saved ? kFlagCalibrationSaved : 0)));
  put16(out, state.clock[2]);
  put16(out, state.clock[3]);
  return out;
}

}  // namespace focus::sim
