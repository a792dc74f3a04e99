// The seventeen simple commands: what each writes, and the acknowledgement
// wait on the scripted line.
#include "exchange/wait_ack.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "exchange/exchange.h"
#include "exchange_fixture.h"

namespace focus::testing {
namespace {

struct CommandCase {
  const char* name;
  std::function<std::int32_t(DeviceConnection*)> call;
  const char* request;
};

const SyncTime kClock{258, 772, 5, 6};

// Requests beyond the documented vectors were checked against a bitwise
// CRC-16/MODBUS computed apart from the library's table.

const CommandCase kCommands[] = {
    {"continuous_focus", [](DeviceConnection* d) { return focus_continuous_focus(d); },
     "5A 01 01 A2 01 94 91"},
    {"calib_mode", [](DeviceConnection* d) { return focus_calib_mode(d); }, "5A 01 01 A3 01 95 01"},
    {"calib_move_7_513", [](DeviceConnection* d) { return focus_calib_move(d, 7, 513); },
     "5A 01 03 A4 07 01 02 B6 74"},
    {"calib_move_high_x_bits_dropped", [](DeviceConnection* d) { return focus_calib_move(d, 0x107, 513); },
     "5A 01 03 A4 07 01 02 B6 74"},
    {"calib_save", [](DeviceConnection* d) { return focus_calib_save(d); }, "5A 01 01 A5 01 96 A1"},
    {"laser_on", [](DeviceConnection* d) { return focus_laser_on(d, 80); }, "5A 01 02 A6 01 50 D1 16"},
    {"laser_off", [](DeviceConnection* d) { return focus_laser_off(d); }, "5A 01 01 A7 01 97 C1"},
    {"laser_power_300", [](DeviceConnection* d) { return focus_laser_power(d, 300); },
     "5A 01 02 A8 01 2C B1 34"},
    {"single_range", [](DeviceConnection* d) { return focus_single_range(d); }, "5A 01 01 A9 01 93 A1"},
    {"continuous_range", [](DeviceConnection* d) { return focus_continuous_range(d); },
     "5A 01 01 AA 01 93 51"},
    {"lift_control", [](DeviceConnection* d) { return focus_lift_control(d, 2); }, "5A 01 01 AB 02 D2 C0"},
    {"ext_trigger_set", [](DeviceConnection* d) { return focus_ext_trigger_set(d); }, "5A 01 01 AC 01 90 F1"},
    {"ext_trigger_fire", [](DeviceConnection* d) { return focus_ext_trigger_fire(d); },
     "5A 01 01 AD 01 91 61"},
    {"auto_descend", [](DeviceConnection* d) { return focus_auto_descend(d); }, "5A 01 01 C1 01 BC 61"},
    {"fixed_cycle_300_500", [](DeviceConnection* d) { return focus_fixed_cycle(d, 300, 500); },
     "5A 01 05 C2 01 2C 01 F4 01 EF ED"},
    {"sync_time_set", [](DeviceConnection* d) { return focus_sync_time_set(d, &kClock); },
     "5A 01 09 C6 01 02 01 04 03 05 00 06 00 37 AC"},
    {"sync_time_get", [](DeviceConnection* d) { return focus_sync_time_get(d); }, "5A 01 01 C7 01 BF C1"},
    {"power_off", [](DeviceConnection* d) { return focus_power_off(d); }, "5A 01 01 D1 01 B1 A1"},
};

class EveryCommand : public ExchangeTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(EveryCommand, WritesItsRequestOnceAndTakesTheAcknowledgement) {
  reply_to_each_request(ack(1, 0x00));
  EXPECT_EQ(GetParam().call(dev), FOCUS_OK);
  EXPECT_EQ(hex(line.written()), GetParam().request);
  EXPECT_EQ(exchange_kinds(),
            (std::vector<Call::Kind>{Call::purge, Call::write, Call::get_timeouts, Call::set_timeouts,
                                     Call::sleep, Call::read, Call::set_timeouts}));
  EXPECT_EQ(line.calls_of(Call::sleep)[0].size, 50u);
  EXPECT_EQ(line.calls_of(Call::read)[0].size, 512u);
  expect_timeouts_bracketed();
}

INSTANTIATE_TEST_SUITE_P(Table, EveryCommand, ::testing::ValuesIn(kCommands),
                         [](const auto& info) { return std::string(info.param.name); });

struct ReplyCase {
  const char* name;
  Bytes reply;  // arrives 10 ms after the request
  std::int32_t status;
};

const Bytes kHostEcho = {0x5A, 0x01, 0x01, 0xA7, 0x01, 0x97, 0xC1};

Bytes with_bad_crc(Bytes frame) {
  frame.back() ^= 0x01;
  return frame;
}

const ReplyCase kReplies[] = {
    {"accepted", ack(1), FOCUS_OK},
    {"refused_status_0", ack(0), FOCUS_ERR_DEVICE},
    {"refused_status_2", ack(2), FOCUS_ERR_DEVICE},
    {"refused_status_255", ack(255), FOCUS_ERR_DEVICE},
    {"other_command_byte", ack(1, 0x33), FOCUS_OK},
    {"longer_payload", device_frame(0xA7, {0x01, 0x01, 0x00, 0x10, 0x20}), FOCUS_OK},
    {"any_header_direction_but_host", device_frame(0xA7, {0x01, 0x01, 0x00}, 0xFF), FOCUS_OK},
    {"kind_1_with_two_payload_bytes", device_frame(0xA7, {0x01, 0x01}), FOCUS_ERR_TIMEOUT},
    {"kind_2_is_no_acknowledgement", device_frame(0xA7, {0x02, 0x01, 0x00}), FOCUS_ERR_TIMEOUT},
    {"host_direction_frame_before", concat({kHostEcho, ack(1)}), FOCUS_OK},
    {"bad_crc_frame_before", concat({with_bad_crc(ack(0)), ack(1)}), FOCUS_OK},
    {"stray_bytes_before", concat({{0x00, 0x13, 0xFF}, ack(1)}), FOCUS_OK},
    {"false_header_claiming_255_bytes", concat({{0x5A, 0x02, 0xFF}, ack(1)}), FOCUS_OK},
    {"only_bad_crc", with_bad_crc(ack(1)), FOCUS_ERR_TIMEOUT},
    {"five_bytes", {0x5A, 0x02, 0x00, 0xA7, 0x00}, FOCUS_ERR_TIMEOUT},
    {"first_of_two_decides", concat({ack(0), ack(1)}), FOCUS_ERR_DEVICE},
};

class AcknowledgementWait : public ExchangeTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(AcknowledgementWait, DecidesByTheFirstAcknowledgement) {
  reply_to_each_request(GetParam().reply);
  EXPECT_EQ(focus_laser_off(dev), GetParam().status);
  expect_timeouts_bracketed();
  EXPECT_EQ(error(), "") << "the wait stores no message";
}

INSTANTIATE_TEST_SUITE_P(Replies, AcknowledgementWait, ::testing::ValuesIn(kReplies),
                         [](const auto& info) { return std::string(info.param.name); });

class AckTiming : public ExchangeTest {};

TEST_F(AckTiming, AnAcknowledgementInTheThirtiethReadIsTaken) {
  const std::uint64_t start = line.now();
  line.arrive_at(start + 29 * 50 + 1, ack(1));
  EXPECT_EQ(focus_laser_off(dev), FOCUS_OK);
  EXPECT_EQ(line.count_of(Call::read), 30u);
  EXPECT_EQ(line.now() - start, 1500u);
}

TEST_F(AckTiming, NoAcknowledgementInThirtyReadsTimesOutAfterOneAndAHalfSeconds) {
  const std::uint64_t start = line.now();
  line.arrive_at(start + 30 * 50 + 1, ack(1));
  EXPECT_EQ(focus_laser_off(dev), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(line.count_of(Call::read), 30u);
  EXPECT_EQ(line.now() - start, 1500u);
  expect_timeouts_bracketed();
}

TEST_F(AckTiming, AnAcknowledgementSplitOverTwoReadsIsPutTogether) {
  const Bytes reply = ack(1);
  line.on_write([&](ScriptedLine& l, const Bytes&) {
    l.arrive_in(40, Bytes(reply.begin(), reply.begin() + 4));
    l.arrive_in(90, Bytes(reply.begin() + 4, reply.end()));
  });
  EXPECT_EQ(focus_laser_off(dev), FOCUS_OK);
  EXPECT_EQ(line.count_of(Call::read), 2u);
}

TEST_F(AckTiming, FailingReadsEndInTimeout) {
  reply_to_each_request(ack(1));
  line.fail_reads(true);
  EXPECT_EQ(focus_laser_off(dev), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(line.count_of(Call::read), 30u);
  expect_timeouts_bracketed();
}

class HeldBytes : public ExchangeTest {};

TEST_F(HeldBytes, FramesBehindTheAcknowledgementWaitForTheNextCallAndTheNextRequestDropsThem) {
  line.on_write([](ScriptedLine& l, const Bytes& request) {
    if (request[3] == 0xA9) l.arrive_in(10, concat({ack(1, 0xA9), ack(0, 0xA9)}));
  });
  ASSERT_EQ(focus_single_range(dev), FOCUS_OK);
  EXPECT_GT(dev->received.held(), 0u) << "the refusal behind the acknowledgement is kept";
  // The next request must not take the earlier refusal for its answer.
  EXPECT_EQ(focus_laser_off(dev), FOCUS_ERR_TIMEOUT);
  const auto kinds = exchange_kinds();
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), Call::purge), 2);
}

TEST_F(HeldBytes, ThePurgeComesBeforeTheWrite) {
  line.arrive_at(line.now(), ack(1));  // an answer to nothing, already waiting
  EXPECT_EQ(focus_laser_off(dev), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(exchange_kinds()[0], Call::purge);
  EXPECT_EQ(exchange_kinds()[1], Call::write);
}

struct WriteCase {
  const char* name;
  std::uint32_t transferred;
};

class WriteFailure : public ExchangeTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteFailure, IsReportedAndNotWaitedFor) {
  line.limit_writes(GetParam().transferred);
  reply_to_each_request(ack(1));
  EXPECT_EQ(focus_fixed_cycle(dev, 300, 500), FOCUS_ERR_WRITE);
  EXPECT_EQ(error(), "串口写入失败");
  EXPECT_EQ(exchange_kinds(), (std::vector<Call::Kind>{Call::purge, Call::write}));
  EXPECT_EQ(line.timeouts(), kFoundTimeouts);
}

INSTANTIATE_TEST_SUITE_P(Counts, WriteFailure,
                         ::testing::Values(WriteCase{"nothing", 0}, WriteCase{"part", 5},
                                           WriteCase{"all_but_one", 10}),
                         [](const auto& info) { return std::string(info.param.name); });

class TimeoutRestore : public ExchangeTest {};

TEST_F(TimeoutRestore, UnreadableTimeoutsAreSetBackToTheStandingProfile) {
  line.fail_get_timeouts(true);
  reply_to_each_request(ack(1));
  EXPECT_EQ(focus_laser_off(dev), FOCUS_OK);
  EXPECT_EQ(line.timeouts(), connection::kStandingTimeouts);
}

// A platform call that throws stands for memory running out mid-exchange.
class ThrowingLine : public ExchangeTest {};

TEST_F(ThrowingLine, NoExceptionLeavesTheLibraryAndTheTimeoutsAreSetBack) {
  line.on_sleep([](ScriptedLine&) { throw std::bad_alloc(); });
  EXPECT_EQ(focus_laser_off(dev), FOCUS_ERR_NO_MEMORY);
  EXPECT_EQ(focus_single_focus(dev), FOCUS_ERR_NO_MEMORY);
  QueryResult result{};
  EXPECT_EQ(focus_query_result(dev, &result), FOCUS_ERR_NO_MEMORY);
  SysInfo info{};
  EXPECT_EQ(focus_read_sys_info(dev, &info), FOCUS_ERR_NO_MEMORY);
  EXPECT_EQ(line.timeouts(), kFoundTimeouts);
}

class SendCommand : public ExchangeTest {};

TEST_F(SendCommand, RefusesAPayloadItCannotFrame) {
  const Bytes big(256, 0x01);
  EXPECT_EQ(exchange::send_command(*dev, 0xA7, big.data(), big.size()), FOCUS_ERR_ARG);
  EXPECT_EQ(exchange::send_command(*dev, 0xA7, nullptr, 3), FOCUS_ERR_ARG);
  EXPECT_TRUE(exchange_calls().empty());
}

}  // namespace
}  // namespace focus::testing
