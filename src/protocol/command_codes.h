// The command codes the library, the simulator and the tools name in code;
// each is read from the command table by its name.
#pragma once

#include <cstdint>

#include "protocol/command_table.h"

namespace focus::protocol {

inline constexpr std::uint8_t kSingleFocus = command_code("single-focus");
inline constexpr std::uint8_t kContinuousFocus = command_code("continuous-focus");
inline constexpr std::uint8_t kCalibMode = command_code("calib-mode");
inline constexpr std::uint8_t kCalibMove = command_code("calib-move");
inline constexpr std::uint8_t kCalibSave = command_code("calib-save");
inline constexpr std::uint8_t kLaserOn = command_code("laser-on");
inline constexpr std::uint8_t kLaserOff = command_code("laser-off");
inline constexpr std::uint8_t kLaserPower = command_code("laser-power");
inline constexpr std::uint8_t kSingleRange = command_code("single-range");
inline constexpr std::uint8_t kContinuousRange = command_code("continuous-range");
inline constexpr std::uint8_t kLiftControl = command_code("lift-control");
inline constexpr std::uint8_t kExtTriggerSet = command_code("ext-trigger-set");
inline constexpr std::uint8_t kExtTriggerFire = command_code("ext-trigger-fire");
inline constexpr std::uint8_t kAutoDescend = command_code("auto-descend");
inline constexpr std::uint8_t kFixedCycle = command_code("fixed-cycle");
inline constexpr std::uint8_t kSyncTimeSet = command_code("sync-time-set");
inline constexpr std::uint8_t kSyncTimeGet = command_code("sync-time-get");
inline constexpr std::uint8_t kPowerOff = command_code("power-off");
inline constexpr std::uint8_t kSysInfo = command_code("sys-info");

// The first payload bytes of a device frame, as the exchanges read them.
enum ReplyKind : std::uint8_t {
  kAcknowledgement = 1,
  kFocusResult = 2,  // also the completion of a single focus
  kRangeResult = 3,
};
inline constexpr std::uint8_t kStatusAccepted = 1;

}  // namespace focus::protocol
