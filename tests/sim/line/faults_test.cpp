// The library against a misbehaving device: the simulator's fault options
// over a real pseudo-terminal, in real time.
#include <string>

#include "protocol/command_codes.h"
#include "simulated_device.h"

namespace focus::sim {
namespace {

// Every command that answers, ending with power off; each must succeed.
void expect_every_command_succeeds(DeviceConnection* dev) {
  const SyncTime time{1, 2, 3, 4};
  EXPECT_EQ(focus_laser_on(dev, 80), FOCUS_OK);
  EXPECT_EQ(focus_laser_power(dev, 120), FOCUS_OK);
  EXPECT_EQ(focus_lift_control(dev, 40), FOCUS_OK);
  EXPECT_EQ(focus_calib_mode(dev), FOCUS_OK);
  EXPECT_EQ(focus_calib_move(dev, 7, 513), FOCUS_OK);
  EXPECT_EQ(focus_calib_save(dev), FOCUS_OK);
  EXPECT_EQ(focus_sync_time_set(dev, &time), FOCUS_OK);
  EXPECT_EQ(focus_sync_time_get(dev), FOCUS_OK);
  EXPECT_EQ(focus_single_focus(dev), FOCUS_OK);
  EXPECT_EQ(focus_single_focus_timeout(dev, 3000), FOCUS_OK);
  QueryResult result{};
  EXPECT_EQ(focus_single_range(dev), FOCUS_OK);
  EXPECT_EQ(focus_query_result(dev, &result), FOCUS_OK);
  EXPECT_EQ(result.kind, protocol::kRangeResult);
  EXPECT_EQ(focus_continuous_focus(dev), FOCUS_OK);
  EXPECT_EQ(focus_query_result(dev, &result), FOCUS_OK);
  EXPECT_EQ(result.kind, protocol::kFocusResult);
  EXPECT_EQ(focus_continuous_range(dev), FOCUS_OK);
  EXPECT_EQ(focus_query_result(dev, &result), FOCUS_OK);
  EXPECT_EQ(result.kind, protocol::kRangeResult);
  EXPECT_EQ(focus_ext_trigger_set(dev), FOCUS_OK);
  EXPECT_EQ(focus_ext_trigger_fire(dev), FOCUS_OK);
  EXPECT_EQ(focus_query_result(dev, &result), FOCUS_OK);
  EXPECT_EQ(result.kind, protocol::kFocusResult);
  EXPECT_EQ(focus_auto_descend(dev), FOCUS_OK);
  EXPECT_EQ(focus_fixed_cycle(dev, 300, 500), FOCUS_OK);
  SysInfo info{};
  EXPECT_EQ(focus_read_sys_info(dev, &info), FOCUS_OK);
  EXPECT_EQ(info.info3, 120);
  EXPECT_EQ(+info.info7, 2);
  EXPECT_EQ(focus_laser_off(dev), FOCUS_OK);
  EXPECT_EQ(focus_power_off(dev), FOCUS_OK);
}

struct LineFault {
  const char* name;
  LineOptions line;
};

void PrintTo(const LineFault& fault, std::ostream* out) {
  *out << fault.name;
}

class UntidyLine : public SimulatedDevice, public ::testing::WithParamInterface<LineFault> {};

TEST_P(UntidyLine, EveryCommandStillSucceeds) {
  SimOptions options;
  options.line = GetParam().line;
  start(options);
  expect_every_command_succeeds(dev());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UntidyLine,
    ::testing::Values(LineFault{"noise", {.noise = 1.0}}, LineFault{"split", {.split = true}},
                      LineFault{"echo", {.echo = true}},
                      LineFault{"all_three", {.noise = 0.5, .split = true, .echo = true}}),
    [](const auto& info) { return std::string(info.param.name); });

using DeviceFaults = SimulatedDevice;

TEST_F(DeviceFaults, RefusedCommandsFailWithDeviceErrorAndTheSingleFocusSaysSo) {
  SimOptions options;
  options.device.refuse.set(protocol::kLaserOff);
  options.device.refuse.set(protocol::kSingleFocus);
  start(options);
  EXPECT_EQ(focus_laser_off(dev()), FOCUS_ERR_DEVICE);
  EXPECT_STREQ(focus_get_error(dev()), "") << "a refused simple command stores no message";
  EXPECT_EQ(focus_single_focus(dev()), FOCUS_ERR_DEVICE);
  EXPECT_STREQ(focus_get_error(dev()), "单次对焦被设备拒绝");
  EXPECT_EQ(focus_laser_on(dev(), 1), FOCUS_OK) << "other commands are not refused";
}

TEST_F(DeviceFaults, AFailedSingleFocusCarriesTheDeviceCodeInTheMessage) {
  for (const auto& [code, message] :
       {std::pair{7, "单次对焦失败，设备错误码:7"}, std::pair{255, "单次对焦失败，设备错误码:255"}}) {
    SimOptions options;
    options.device.fail_code = static_cast<std::uint8_t>(code);
    options.device.focus_ms = 50;
    start(options);
    EXPECT_EQ(focus_single_focus(dev()), FOCUS_ERR_DEVICE);
    EXPECT_STREQ(focus_get_error(dev()), message);
    EXPECT_EQ(focus_laser_off(dev()), FOCUS_OK) << "the other commands work";
    TearDown();
  }
}

TEST_F(DeviceFaults, ASilencedCommandTimesOutAndTheOthersAreAnswered) {
  SimOptions options;
  options.device.silent.set(protocol::kLaserOff);
  start(options);
  EXPECT_EQ(focus_laser_off(dev()), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(focus_laser_on(dev(), 3), FOCUS_OK);
}

TEST_F(DeviceFaults, ASilencedSingleFocusTimesOutWithItsMessage) {
  SimOptions options;
  options.device.silent.set(protocol::kSingleFocus);
  start(options);
  EXPECT_EQ(focus_single_focus_timeout(dev(), 600), FOCUS_ERR_TIMEOUT);
  EXPECT_STREQ(focus_get_error(dev()), "单次对焦等待超时");
}

TEST_F(DeviceFaults, ASilencedSystemInformationTimesOutAndLeavesTheRecord) {
  SimOptions options;
  options.device.silent.set(protocol::kSysInfo);
  start(options);
  SysInfo info{};
  info.info2 = 0xBEEF;
  EXPECT_EQ(focus_read_sys_info(dev(), &info), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(+info.info2, 0xBEEF);
}

class CorruptEveryReply : public SimulatedDevice {
 protected:
  void SetUp() override {
    SimOptions options;
    options.line.corrupt = 1.0;
    start(options);
  }
};

TEST_F(CorruptEveryReply, SimpleCommandsTimeOut) {
  EXPECT_EQ(focus_laser_off(dev()), FOCUS_ERR_TIMEOUT);
}

TEST_F(CorruptEveryReply, SingleFocusTimesOut) {
  EXPECT_EQ(focus_single_focus_timeout(dev(), 800), FOCUS_ERR_TIMEOUT);
  EXPECT_STREQ(focus_get_error(dev()), "单次对焦等待超时");
}

TEST_F(CorruptEveryReply, SystemInformationTimesOut) {
  SysInfo info{};
  EXPECT_EQ(focus_read_sys_info(dev(), &info), FOCUS_ERR_TIMEOUT);
}

TEST_F(CorruptEveryReply, NoResultOfAStreamIsTaken) {
  EXPECT_EQ(focus_continuous_range(dev()), FOCUS_ERR_TIMEOUT) << "the ack is corrupted, the stream runs";
  QueryResult result{};
  EXPECT_EQ(focus_query_result(dev(), &result), FOCUS_ERR_TIMEOUT);
}

TEST_F(DeviceFaults, AnAckDelayWithinTheWaitIsWaitedForAndOneBeyondItTimesOut) {
  SimOptions options;
  options.device.ack_delay_ms = 900;
  start(options);
  EXPECT_EQ(focus_laser_off(dev()), FOCUS_OK);
  TearDown();
  options.device.ack_delay_ms = 2500;
  start(options);
  EXPECT_EQ(focus_laser_off(dev()), FOCUS_ERR_TIMEOUT);
}

}  // namespace
}  // namespace focus::sim
