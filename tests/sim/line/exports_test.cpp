// Every export of the library against the simulator over a real
// pseudo-terminal, in real time.
#include <fcntl.h>

#include <cerrno>
#include <chrono>

#include "protocol/command_codes.h"
#include "simulated_device.h"

namespace focus::sim {
namespace {

struct SimpleCall {
  const char* name;
  std::int32_t (*call)(DeviceConnection*);
};

const SyncTime kTime{2026, 1210, 1105, 33};

const SimpleCall kSimpleCalls[] = {
    {"continuous_focus", focus_continuous_focus},
    {"calib_mode", focus_calib_mode},
    {"calib_move", [](DeviceConnection* d) { return focus_calib_move(d, 7, 513); }},
    {"calib_save", focus_calib_save},
    {"laser_on", [](DeviceConnection* d) { return focus_laser_on(d, 80); }},
    {"laser_off", focus_laser_off},
    {"laser_power", [](DeviceConnection* d) { return focus_laser_power(d, 300); }},
    {"single_range", focus_single_range},
    {"continuous_range", focus_continuous_range},
    {"lift_control", [](DeviceConnection* d) { return focus_lift_control(d, 40); }},
    {"ext_trigger_set", focus_ext_trigger_set},
    {"ext_trigger_fire", focus_ext_trigger_fire},
    {"auto_descend", focus_auto_descend},
    {"fixed_cycle", [](DeviceConnection* d) { return focus_fixed_cycle(d, 300, 500); }},
    {"sync_time_set", [](DeviceConnection* d) { return focus_sync_time_set(d, &kTime); }},
    {"sync_time_get", focus_sync_time_get},
    {"power_off", focus_power_off},
};

void PrintTo(const SimpleCall& call, std::ostream* out) {
  *out << call.name;
}

class SimpleCommand : public SimulatedDevice, public ::testing::WithParamInterface<SimpleCall> {};

TEST_P(SimpleCommand, IsAcknowledgedAndStoresNoMessage) {
  start();
  EXPECT_EQ(GetParam().call(dev()), FOCUS_OK);
  EXPECT_STREQ(focus_get_error(dev()), "");
}

INSTANTIATE_TEST_SUITE_P(Exports, SimpleCommand, ::testing::ValuesIn(kSimpleCalls),
                         [](const auto& info) { return std::string(info.param.name); });

using Exports = SimulatedDevice;

TEST_F(Exports, SingleFocusCompletesWithEitherLimitAndWithoutOne) {
  start();
  EXPECT_EQ(focus_single_focus(dev()), FOCUS_OK);
  EXPECT_EQ(focus_single_focus_timeout(dev(), 2000), FOCUS_OK);
  EXPECT_EQ(focus_single_focus_timeout(dev(), 0), FOCUS_OK);
  EXPECT_STREQ(focus_get_error(dev()), "");
}

TEST_F(Exports, ASingleFocusLongerThanTheLimitTimesOut) {
  SimOptions options;
  options.device.focus_ms = 1500;
  start(options);
  EXPECT_EQ(focus_single_focus_timeout(dev(), 300), FOCUS_ERR_TIMEOUT);
  EXPECT_STREQ(focus_get_error(dev()), "单次对焦等待超时");
  // The run that timed out does not end the next one early: the device
  // drops its completion when the next command comes.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(focus_single_focus_timeout(dev(), 6000), FOCUS_OK);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
}

TEST_F(Exports, TheRangeResultOfASingleRangeIsCollectedByQueryOnce) {
  start();
  ASSERT_EQ(focus_single_range(dev()), FOCUS_OK);
  QueryResult result{};
  ASSERT_EQ(focus_query_result(dev(), &result), FOCUS_OK);
  EXPECT_EQ(result.kind, protocol::kRangeResult);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.code, 0);
  EXPECT_NEAR(result.value, 20000, 8);
  QueryResult again{};
  EXPECT_EQ(focus_query_result(dev(), &again), FOCUS_ERR_TIMEOUT) << "one range, one result";
}

TEST_F(Exports, ExternalTriggerFireSendsOneFocusResult) {
  start();
  ASSERT_EQ(focus_lift_control(dev(), 50), FOCUS_OK);
  ASSERT_EQ(focus_ext_trigger_fire(dev()), FOCUS_OK);
  QueryResult result{};
  ASSERT_EQ(focus_query_result(dev(), &result), FOCUS_OK);
  EXPECT_EQ(result.kind, protocol::kFocusResult);
  EXPECT_NEAR(result.value, 1000 + 4 * 50, 2);
}

TEST_F(Exports, ContinuousModesStreamResultsUntilTheNextCommand) {
  start();
  ASSERT_EQ(focus_continuous_focus(dev()), FOCUS_OK);
  for (int i = 0; i < 6; ++i) {
    QueryResult result{};
    ASSERT_EQ(focus_query_result(dev(), &result), FOCUS_OK) << "result " << i;
    EXPECT_EQ(result.kind, protocol::kFocusResult);
  }
  ASSERT_EQ(focus_continuous_range(dev()), FOCUS_OK);
  for (int i = 0; i < 3; ++i) {
    QueryResult result{};
    ASSERT_EQ(focus_query_result(dev(), &result), FOCUS_OK);
    EXPECT_EQ(result.kind, protocol::kRangeResult) << "no focus result survives the switch";
  }
  ASSERT_EQ(focus_laser_off(dev()), FOCUS_OK);
  QueryResult result{};
  EXPECT_EQ(focus_query_result(dev(), &result), FOCUS_ERR_TIMEOUT);
}

TEST_F(Exports, SystemInformationReportsTheStateTheCommandsSet) {
  start();
  ASSERT_EQ(focus_laser_on(dev(), 80), FOCUS_OK);
  ASSERT_EQ(focus_laser_power(dev(), 120), FOCUS_OK);
  ASSERT_EQ(focus_lift_control(dev(), 40), FOCUS_OK);
  ASSERT_EQ(focus_calib_mode(dev()), FOCUS_OK);
  ASSERT_EQ(focus_sync_time_set(dev(), &kTime), FOCUS_OK);
  ASSERT_EQ(focus_ext_trigger_set(dev()), FOCUS_OK);
  SysInfo info{};
  ASSERT_EQ(focus_read_sys_info(dev(), &info), FOCUS_OK);
  EXPECT_EQ(info.info1, 1);
  // The 16-bit fields of the packed record are compared as copies.
  EXPECT_EQ(+info.info2, kTime.word1);
  EXPECT_EQ(info.info3, 120);
  EXPECT_EQ(info.info4, 40);
  EXPECT_EQ(info.info5, 1);
  EXPECT_EQ(info.info6, kFirmwareMajor);
  EXPECT_EQ(+info.info7, kTime.word2);
  EXPECT_EQ(info.info8, kFirmwareMinor);
  EXPECT_EQ(info.info9, kFlagTriggerArmed);
  EXPECT_EQ(+info.info10, kTime.word3);
  EXPECT_EQ(+info.info11, kTime.word4);

  ASSERT_EQ(focus_calib_save(dev()), FOCUS_OK);
  ASSERT_EQ(focus_auto_descend(dev()), FOCUS_OK);
  ASSERT_EQ(focus_laser_off(dev()), FOCUS_OK);
  ASSERT_EQ(focus_read_sys_info(dev(), &info), FOCUS_OK);
  EXPECT_EQ(info.info1, 0);
  EXPECT_EQ(info.info4, 0);
  EXPECT_EQ(info.info5, 0);
  EXPECT_EQ(info.info9, kFlagTriggerArmed | kFlagCalibrationSaved);
}

TEST_F(Exports, AfterPowerOffTheDeviceAnswersNothing) {
  start();
  ASSERT_EQ(focus_power_off(dev()), FOCUS_OK);
  EXPECT_EQ(focus_laser_off(dev()), FOCUS_ERR_TIMEOUT);
}

TEST_F(Exports, ConnectionsOpenExclusivelyCloseAndOpenAgain) {
  start();
  EXPECT_STREQ(focus_get_error(dev()), "");
  errno = 0;
  EXPECT_EQ(focus_init(port().c_str()), nullptr) << "the port is taken";
  EXPECT_EQ(errno, EBUSY);
  EXPECT_EQ(focus_laser_off(dev()), FOCUS_OK) << "the failed open did not disturb the connection";

  reconnect();
  ASSERT_NE(dev(), nullptr) << "the simulator serves one host after another";
  EXPECT_EQ(focus_laser_on(dev(), 10), FOCUS_OK);
}

TEST(ConnectionExports, AMissingPortAndNullHandlesAreReported) {
  errno = 0;
  EXPECT_EQ(focus_init("/dev/focus-sim-no-such-port"), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(focus_init(nullptr), nullptr);
  EXPECT_STREQ(focus_get_error(nullptr), "null handle");
  focus_close(nullptr);
}

}  // namespace
}  // namespace focus::sim
