// Every command code the host sends.
#pragma once

#include <cstdint>

namespace focus::protocol {

enum CommandCode : std::uint8_t {
  kSingleFocus = 0xA1,
  kContinuousFocus = 0xA2,
  kCalibMode = 0xA3,
  kCalibMove = 0xA4,
  kCalibSave = 0xA5,
  kLaserOn = 0xA6,
  kLaserOff = 0xA7,
  kLaserPower = 0xA8,
  kSingleRange = 0xA9,
  kContinuousRange = 0xAA,
  kLiftControl = 0xAB,
  kExtTriggerSet = 0xAC,
  kExtTriggerFire = 0xAD,
  kAutoDescend = 0xC1,
  kFixedCycle = 0xC2,
  kSyncTimeSet = 0xC6,
  kSyncTimeGet = 0xC7,
  kPowerOff = 0xD1,
  kSysInfo = 0xF5,
};

// The first payload bytes of a device frame, as the exchanges read them.
enum ReplyKind : std::uint8_t {
  kAcknowledgement = 1,
  kFocusResult = 2,  // also the completion of a single focus
  kRangeResult = 3,
};
inline constexpr std::uint8_t kStatusAccepted = 1;

}  // namespace focus::protocol
