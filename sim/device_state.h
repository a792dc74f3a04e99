// What the simulated device remembers, and how it reports it.
//
// The system-information reply (command 0xF5) carries 15 payload bytes,
// which a host reads as SysInfo. The simulator fills them so:
//
//   field   bytes   contents
//   info1   0       laser: 1 on, 0 off
//   info2   1-2     clock word 1, as last set with sync-time-set
//   info3   3       laser power, 0 to 255 (laser-power, or laser-on's argument)
//   info4   4       lift position, 0 to 255 (lift-control; auto-descend sets 0)
//   info5   5       calibration mode: 1 after calib-mode, 0 after calib-save
//   info6   6       firmware version, major
//   info7   7-8     clock word 2
//   info8   9       firmware version, minor
//   info9   10      flags: bit 0 external trigger armed, bit 1 calibration saved
//   info10  11-12   clock word 3
//   info11  13-14   clock word 4
//
// The four 16-bit fields are the four clock words because the clock is the
// only 16-bit state the host sets; everything else fits a byte.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/frame.h"

namespace focus::sim {

inline constexpr std::uint8_t kFirmwareMajor = 1;
inline constexpr std::uint8_t kFirmwareMinor = 4;
inline constexpr std::uint8_t kDefaultLaserPower = 50;

inline constexpr std::uint8_t kFlagTriggerArmed = 0x01;
inline constexpr std::uint8_t kFlagCalibrationSaved = 0x02;

struct DeviceState {
  bool powered = true;
  bool laser_on = false;
  std::uint8_t laser_power = kDefaultLaserPower;
  std::uint8_t lift_position = 0;
  bool calibrating = false;
  bool calibration_saved = false;
  std::uint8_t calib_x = 0;
  std::uint16_t calib_y = 0;
  bool trigger_armed = false;
  std::uint16_t cycle_x = 0;
  std::uint16_t cycle_y = 0;
  std::array<std::uint16_t, 4> clock{};
};

// The 15 payload bytes of the system-information reply, as tabled above.
protocol::Bytes sys_info_payload(const DeviceState& state);

}  // namespace focus::sim
