// The device model on its own: what it answers to each command, when, and
// what each command does to the state that system information reports.
#include "device.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "protocol/command_codes.h"

namespace focus::sim {
namespace {

namespace codes = focus::protocol;
using protocol::Bytes;

protocol::Frame host_frame(std::uint8_t command, Bytes payload) {
  return protocol::make_host_frame(command, payload.data(), payload.size());
}

// A device on a clock that the test moves.
class DeviceTest : public ::testing::Test {
 protected:
  void make(DeviceOptions options) { device_ = std::make_unique<Device>(options, 7); }

  Handling send(std::uint8_t command, Bytes payload, std::uint64_t at_ms) {
    return device_->handle(host_frame(command, std::move(payload)), at_ms);
  }
  std::vector<Outgoing> until(std::uint64_t ms) { return device_->take_due(ms); }

  std::unique_ptr<Device> device_ = std::make_unique<Device>(DeviceOptions{}, 7);
};

void expect_reply(const Outgoing& out, std::uint64_t due, std::uint8_t command, std::uint8_t kind,
                  std::uint8_t status, std::uint8_t code) {
  EXPECT_EQ(out.due_ms, due);
  EXPECT_EQ(out.frame.header, protocol::kHeader);
  EXPECT_EQ(out.frame.direction, protocol::kDeviceDirection);
  EXPECT_EQ(out.frame.command, command);
  ASSERT_GE(out.frame.payload.size(), 3u);
  EXPECT_EQ(out.frame.payload[0], kind);
  EXPECT_EQ(out.frame.payload[1], status);
  EXPECT_EQ(out.frame.payload[2], code);
}

std::uint16_t value_of(const Outgoing& out) {
  return static_cast<std::uint16_t>(out.frame.payload.at(3) | (out.frame.payload.at(4) << 8));
}

// What each command draws from the device, besides its acknowledgement.
struct Answer {
  std::uint8_t command;
  Bytes payload;
  std::vector<std::uint8_t> follow_kinds;  // kinds of the frames after the ack, in order
};

void PrintTo(const Answer& answer, std::ostream* out) {
  *out << "command " << int(answer.command);
}

class EveryCommand : public DeviceTest, public ::testing::WithParamInterface<Answer> {};

TEST_P(EveryCommand, IsAcknowledgedAfterTheAckDelayThenAnsweredAsItsKindRequires) {
  const Answer& answer = GetParam();
  ASSERT_EQ(send(answer.command, answer.payload, 1000), Handling::answered);
  EXPECT_TRUE(until(1001).empty()) << "nothing before the 2 ms ack delay";
  // Long enough for a single focus, short of the first result of a stream.
  std::vector<Outgoing> out = until(1000 + 2 + 300);
  ASSERT_EQ(out.size(), 1 + answer.follow_kinds.size());
  expect_reply(out[0], 1002, answer.command, codes::kAcknowledgement, codes::kStatusAccepted, 0);
  EXPECT_EQ(out[0].frame.payload.size(), 3u);
  for (std::size_t i = 0; i < answer.follow_kinds.size(); ++i) {
    EXPECT_EQ(out[i + 1].frame.command, answer.command);
    EXPECT_EQ(out[i + 1].frame.payload.at(0), answer.follow_kinds[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, EveryCommand,
    ::testing::Values(Answer{codes::kSingleFocus, {1}, {codes::kFocusResult}},
                      Answer{codes::kCalibMode, {1}, {}}, Answer{codes::kCalibMove, {7, 1, 2}, {}},
                      Answer{codes::kCalibSave, {1}, {}}, Answer{codes::kLaserOn, {1, 80}, {}},
                      Answer{codes::kLaserOff, {1}, {}}, Answer{codes::kLaserPower, {1, 44}, {}},
                      Answer{codes::kSingleRange, {1}, {codes::kRangeResult}},
                      Answer{codes::kLiftControl, {9}, {}}, Answer{codes::kExtTriggerSet, {1}, {}},
                      Answer{codes::kExtTriggerFire, {1}, {codes::kFocusResult}},
                      Answer{codes::kAutoDescend, {1}, {}},
                      Answer{codes::kFixedCycle, {1, 0x2C, 1, 0xF4, 1}, {}},
                      Answer{codes::kSyncTimeSet, {1, 2, 1, 4, 3, 5, 0, 6, 0}, {}},
                      Answer{codes::kSyncTimeGet, {1}, {}}, Answer{codes::kPowerOff, {1}, {}},
                      // System information: its payload is no reply kind; byte 0 is the laser.
                      Answer{codes::kSysInfo, {1}, {0}}),
    [](const auto& info) {
      char name[8];
      std::snprintf(name, sizeof name, "cmd_%02X", info.param.command);
      return std::string(name);
    });

TEST_F(DeviceTest, SingleFocusCompletesFocusMsAfterItsAckWithTheLensPosition) {
  make(DeviceOptions{.ack_delay_ms = 5, .focus_ms = 120});
  send(codes::kSingleFocus, {1}, 100);
  EXPECT_EQ(until(224).size(), 1u) << "only the ack before 105 + 120";
  const std::vector<Outgoing> done = until(225);
  ASSERT_EQ(done.size(), 1u);
  expect_reply(done[0], 225, codes::kSingleFocus, codes::kFocusResult, codes::kStatusAccepted, 0);
  EXPECT_NEAR(value_of(done[0]), 1000, 2);
}

TEST_F(DeviceTest, FailCodeMakesTheSingleFocusCompleteWithStatusZeroAndTheCode) {
  make(DeviceOptions{.fail_code = std::uint8_t{42}});
  send(codes::kSingleFocus, {1}, 0);
  const std::vector<Outgoing> out = until(10000);
  ASSERT_EQ(out.size(), 2u);
  expect_reply(out[0], 2, codes::kSingleFocus, codes::kAcknowledgement, codes::kStatusAccepted, 0);
  expect_reply(out[1], 302, codes::kSingleFocus, codes::kFocusResult, 0, 42);
}

TEST_F(DeviceTest, ContinuousModesStreamAtTheRateUntilTheNextCommand) {
  for (const auto& [command, kind] : {std::pair{codes::kContinuousFocus, codes::kFocusResult},
                                      std::pair{codes::kContinuousRange, codes::kRangeResult}}) {
    SCOPED_TRACE(command);
    make(DeviceOptions{.rate_hz = 40});
    send(command, {1}, 0);
    const std::vector<Outgoing> first = until(1002);
    ASSERT_EQ(first.size(), 1u + 40u) << "the ack and 40 results in the first second";
    for (std::size_t i = 1; i < first.size(); ++i) {
      expect_reply(first[i], 2 + 25 * i, command, kind, codes::kStatusAccepted, 0);
    }
    // The result due at 1027 was on its way when the command came at 1030.
    send(codes::kLaserOff, {1}, 1030);
    const std::vector<Outgoing> after = until(5000);
    ASSERT_EQ(after.size(), 2u);
    expect_reply(after[0], 1027, command, kind, codes::kStatusAccepted, 0);
    expect_reply(after[1], 1032, codes::kLaserOff, codes::kAcknowledgement, codes::kStatusAccepted, 0);
  }
}

TEST_F(DeviceTest, ANewCommandDropsTheCompletionOfASingleFocusStillRunning) {
  send(codes::kSingleFocus, {1}, 0);
  send(codes::kLaserOff, {1}, 100);
  const std::vector<Outgoing> out = until(10000);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].frame.command, codes::kSingleFocus);
  EXPECT_EQ(out[1].frame.command, codes::kLaserOff);
}

TEST_F(DeviceTest, SystemInformationReportsWhatTheCommandsSet) {
  send(codes::kLaserOn, {1, 80}, 0);
  send(codes::kLaserPower, {1, 120}, 0);
  send(codes::kLiftControl, {40}, 0);
  send(codes::kCalibMode, {1}, 0);
  send(codes::kSyncTimeSet, {1, 0xEA, 0x07, 0xCA, 0x04, 0x57, 0x04, 0x33, 0x00}, 0);
  send(codes::kExtTriggerSet, {1}, 0);
  send(codes::kSysInfo, {1}, 0);
  std::vector<Outgoing> out = until(100);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back().frame.payload, (Bytes{1, 0xEA, 0x07, 120, 40, 1, kFirmwareMajor, 0xCA, 0x04,
                                             kFirmwareMinor, kFlagTriggerArmed, 0x57, 0x04, 0x33, 0x00}));

  send(codes::kCalibSave, {1}, 200);
  send(codes::kLaserOff, {1}, 200);
  send(codes::kAutoDescend, {1}, 200);
  send(codes::kSysInfo, {1}, 200);
  out = until(300);
  const Bytes& info = out.back().frame.payload;
  ASSERT_EQ(info.size(), 15u);
  EXPECT_EQ(info[0], 0) << "laser off";
  EXPECT_EQ(info[3], 120) << "power kept";
  EXPECT_EQ(info[4], 0) << "auto-descend brings the lift to 0";
  EXPECT_EQ(info[5], 0) << "calib-save ends calibration mode";
  EXPECT_EQ(info[10], kFlagTriggerArmed | kFlagCalibrationSaved);
}

TEST_F(DeviceTest, TheFreshStateIsReportedWithTheFirmwareVersion) {
  EXPECT_EQ(sys_info_payload(DeviceState{}),
            (Bytes{0, 0, 0, kDefaultLaserPower, 0, 0, kFirmwareMajor, 0, 0, kFirmwareMinor, 0, 0, 0, 0, 0}));
}

TEST_F(DeviceTest, ReadingsFollowTheLift) {
  send(codes::kLiftControl, {100}, 0);
  for (int i = 0; i < 20; ++i) {
    send(codes::kSingleRange, {1}, 10 + 10 * i);
    send(codes::kExtTriggerFire, {1}, 15 + 10 * i);
  }
  for (const Outgoing& out : until(1000)) {
    if (out.frame.payload[0] == codes::kRangeResult) {
      EXPECT_NEAR(value_of(out), 20000 - 50 * 100, 8);
    } else if (out.frame.payload[0] == codes::kFocusResult) {
      EXPECT_NEAR(value_of(out), 1000 + 4 * 100, 2);
    }
  }
}

TEST_F(DeviceTest, RefusedCommandsAreAcknowledgedWithStatusZeroAndChangeNothing) {
  DeviceOptions options;
  options.refuse.set(codes::kLaserOn);
  options.refuse.set(codes::kSingleFocus);
  make(options);
  EXPECT_EQ(send(codes::kLaserOn, {1, 80}, 0), Handling::refused);
  EXPECT_EQ(send(codes::kSingleFocus, {1}, 10), Handling::refused);
  const std::vector<Outgoing> out = until(10000);
  ASSERT_EQ(out.size(), 2u) << "no completion for a refused focus";
  expect_reply(out[0], 2, codes::kLaserOn, codes::kAcknowledgement, 0, kRefusedOnRequest);
  expect_reply(out[1], 12, codes::kSingleFocus, codes::kAcknowledgement, 0, kRefusedOnRequest);
  EXPECT_FALSE(device_->state().laser_on);
}

TEST_F(DeviceTest, UnknownCommandsAndShortPayloadsAreRefusedWithTheirCodes) {
  EXPECT_EQ(send(0x3F, {1}, 0), Handling::refused);
  EXPECT_EQ(send(codes::kLaserOn, {1}, 0), Handling::refused);
  EXPECT_EQ(send(codes::kSyncTimeSet, {1, 2, 3}, 0), Handling::refused);
  const std::vector<Outgoing> out = until(100);
  ASSERT_EQ(out.size(), 3u);
  expect_reply(out[0], 2, 0x3F, codes::kAcknowledgement, 0, kRefusedUnknownCommand);
  expect_reply(out[1], 2, codes::kLaserOn, codes::kAcknowledgement, 0, kRefusedShortPayload);
  expect_reply(out[2], 2, codes::kSyncTimeSet, codes::kAcknowledgement, 0, kRefusedShortPayload);
}

// The payload each command must carry: every byte up to the last value
// the device reads (a lone 0x01 is not read). Written out here, apart from
// the command table the model reads it from.
TEST(DevicePayloads, EachCommandNeedsTheBytesUpToItsLastValue) {
  const std::pair<std::uint8_t, std::size_t> needed[] = {
      {0xA1, 0}, {0xA2, 0}, {0xA3, 0}, {0xA4, 3}, {0xA5, 0}, {0xA6, 2}, {0xA7, 0},
      {0xA8, 2}, {0xA9, 0}, {0xAA, 0}, {0xAB, 1}, {0xAC, 0}, {0xAD, 0}, {0xC1, 0},
      {0xC2, 5}, {0xC6, 9}, {0xC7, 0}, {0xD1, 0}, {0xF5, 0},
  };
  for (const auto& [command, size] : needed) {
    Device device(DeviceOptions{}, 7);
    if (size > 0) {
      EXPECT_EQ(device.handle(host_frame(command, Bytes(size - 1, 1)), 0), Handling::refused) << int(command);
    }
    EXPECT_EQ(device.handle(host_frame(command, Bytes(size, 1)), 10), Handling::answered) << int(command);
  }
}

TEST_F(DeviceTest, SilencedCommandsGetNoAnswerAndAreAsIfNeverSent) {
  DeviceOptions options;
  options.silent.set(codes::kLaserOn);
  make(options);
  send(codes::kContinuousRange, {1}, 0);
  EXPECT_EQ(send(codes::kLaserOn, {1, 80}, 10), Handling::silenced);
  const std::vector<Outgoing> out = until(1002);
  EXPECT_FALSE(device_->state().laser_on);
  ASSERT_EQ(out.size(), 1u + 20u) << "the stream runs on: the silenced command never reached the device";
  for (const Outgoing& frame : out) EXPECT_NE(frame.frame.command, codes::kLaserOn);
}

TEST_F(DeviceTest, AfterPowerOffNothingIsAnswered) {
  EXPECT_EQ(send(codes::kPowerOff, {1}, 0), Handling::answered);
  EXPECT_EQ(send(codes::kLaserOff, {1}, 10), Handling::powered_off);
  EXPECT_EQ(send(codes::kSysInfo, {1}, 20), Handling::powered_off);
  const std::vector<Outgoing> out = until(10000);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].frame.command, codes::kPowerOff);
  EXPECT_FALSE(device_->next_due().has_value());
}

TEST_F(DeviceTest, NextDueNamesTheEarliestFrame) {
  EXPECT_FALSE(device_->next_due().has_value());
  send(codes::kSingleFocus, {1}, 50);
  EXPECT_EQ(device_->next_due(), 52u);
  until(52);
  EXPECT_EQ(device_->next_due(), 352u);
  send(codes::kContinuousFocus, {1}, 60);
  EXPECT_EQ(device_->next_due(), 62u);
  until(62);
  EXPECT_EQ(device_->next_due(), 62u + 50u);
}

}  // namespace
}  // namespace focus::sim
