// The single focus on the scripted line: every deciding frame, the
// deadline, and frames however they were cut into reads.
#include <gtest/gtest.h>

#include "exchange_fixture.h"

namespace focus::testing {
namespace {

Bytes completion(std::uint8_t status, std::uint8_t code = 0, std::uint8_t command = 0xA1) {
  return device_frame(command, {0x02, status, code});
}
const Bytes kRefusal = ack(0, 0xA1);

class SingleFocus : public ExchangeTest {
 protected:
  std::uint64_t start = 0;
  void SetUp() override {
    ExchangeTest::SetUp();
    start = line.now();
  }
};

struct DecisionCase {
  const char* name;
  Bytes reply;  // arrives 10 ms after the request
  std::int32_t status;
  const char* message;  // the error text afterwards
};

const DecisionCase kDecisions[] = {
    {"acknowledged_then_completed", concat({ack(1, 0xA1), completion(1)}), FOCUS_OK, "earlier"},
    {"completed_without_acknowledgement", completion(1), FOCUS_OK, "earlier"},
    {"completion_with_other_command_byte", completion(1, 0, 0x42), FOCUS_OK, "earlier"},
    {"failed_with_code_7", concat({ack(1, 0xA1), completion(0, 7)}), FOCUS_ERR_DEVICE,
     "单次对焦失败，设备错误码:7"},
    {"failed_with_code_255", completion(0, 255), FOCUS_ERR_DEVICE, "单次对焦失败，设备错误码:255"},
    {"status_2_is_a_failure", completion(2, 0), FOCUS_ERR_DEVICE, "单次对焦失败，设备错误码:0"},
    {"refused", kRefusal, FOCUS_ERR_DEVICE, "单次对焦被设备拒绝"},
    {"refusal_before_completion_wins", concat({kRefusal, completion(1)}), FOCUS_ERR_DEVICE,
     "单次对焦被设备拒绝"},
    {"completion_before_refusal_wins", concat({completion(1), kRefusal}), FOCUS_OK, "earlier"},
    {"stray_bytes_and_false_header_before", concat({{0x00, 0x33, 0x5A, 0x02, 0xFF, 0x01}, completion(1)}),
     FOCUS_OK, "earlier"},
    {"host_direction_and_bad_crc_frames_passed_over",
     concat({{0x5A, 0x01, 0x03, 0xA1, 0x02, 0x00, 0x09, 0x00, 0x00},
             [] {
               Bytes bad = completion(0, 9);
               bad[5] ^= 0x01;
               return bad;
             }(),
             completion(1)}),
     FOCUS_OK, "earlier"},
    {"short_payload_passed_over", concat({device_frame(0xA1, {0x02, 0x00}), completion(1)}), FOCUS_OK,
     "earlier"},
    {"only_an_acknowledgement", ack(1, 0xA1), FOCUS_ERR_TIMEOUT, "单次对焦等待超时"},
};

class SingleFocusDecision : public SingleFocus, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(SingleFocusDecision, EndsOnTheFirstDecidingFrame) {
  dev->error_text = "earlier";
  reply_to_each_request(GetParam().reply);
  EXPECT_EQ(focus_single_focus(dev), GetParam().status);
  EXPECT_EQ(error(), GetParam().message);
  EXPECT_EQ(hex(line.written()), "5A 01 01 A1 01 94 61");
  expect_timeouts_bracketed();
}

INSTANTIATE_TEST_SUITE_P(Frames, SingleFocusDecision, ::testing::ValuesIn(kDecisions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SingleFocus, PassesEveryAcceptingAcknowledgementOver) {
  Bytes acks;
  for (int status = 1; status <= 255; ++status) {
    acks = concat({acks, ack(static_cast<std::uint8_t>(status), 0xA1)});
  }
  line.on_write([&](ScriptedLine& l, const Bytes&) {
    l.arrive_in(10, acks);
    l.arrive_in(2000, completion(1));
  });
  EXPECT_EQ(focus_single_focus(dev), FOCUS_OK);
  EXPECT_EQ(line.now() - start, 2000u);
}

TEST_F(SingleFocus, PacesItsPassesAndReadsAtMost256Bytes) {
  line.on_write([](ScriptedLine& l, const Bytes&) { l.arrive_in(45, completion(1)); });
  EXPECT_EQ(focus_single_focus(dev), FOCUS_OK);
  EXPECT_EQ(exchange_kinds(),
            (std::vector<Call::Kind>{Call::purge, Call::write, Call::get_timeouts, Call::set_timeouts,
                                     Call::tick, Call::tick, Call::sleep, Call::read, Call::tick, Call::sleep,
                                     Call::read, Call::tick, Call::sleep, Call::read, Call::set_timeouts}));
  for (const Call& read : line.calls_of(Call::read)) EXPECT_EQ(read.size, 256u);
  for (const Call& sleep : line.calls_of(Call::sleep)) EXPECT_EQ(sleep.size, 20u);
}

TEST_F(SingleFocus, ACompletionSplitOverThreeReadsDecidesWithItsLastByte) {
  const Bytes done = completion(1);
  line.on_write([&](ScriptedLine& l, const Bytes&) {
    l.arrive_in(10, Bytes(done.begin(), done.begin() + 2));
    l.arrive_in(30, Bytes(done.begin() + 2, done.begin() + 6));
    l.arrive_in(50, Bytes(done.begin() + 6, done.end()));
  });
  EXPECT_EQ(focus_single_focus(dev), FOCUS_OK);
  EXPECT_EQ(line.count_of(Call::read), 3u);
}

TEST_F(SingleFocus, OnlyAnAcknowledgementTimesOutFiveSecondsAfterTheRequest) {
  reply_to_each_request(ack(1, 0xA1));
  EXPECT_EQ(focus_single_focus(dev), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(line.now() - start, 5000u);
  EXPECT_EQ(line.count_of(Call::read), 250u);
  EXPECT_EQ(error(), "单次对焦等待超时");
}

TEST_F(SingleFocus, ADecidingFrameReadInThePassTheDeadlinePassesStillDecides) {
  line.on_write([](ScriptedLine& l, const Bytes&) { l.arrive_in(99, completion(1)); });
  EXPECT_EQ(focus_single_focus_timeout(dev, 90), FOCUS_OK) << "the pass began at 80 ms, before the deadline";
}

TEST_F(SingleFocus, ALimitOfOneMillisecondCanEndBeforeAnyRead) {
  line.tick_step(1);
  reply_to_each_request(completion(1), 0);
  EXPECT_EQ(focus_single_focus_timeout(dev, 1), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(line.count_of(Call::read), 0u);
  expect_timeouts_bracketed();
}

TEST_F(SingleFocus, NoLimitWaitsPastAnyDeadlineAndNeverReadsTheClock) {
  // After the first pass the clock jumps on by more than the 32-bit range.
  line.on_sleep([](ScriptedLine& l) {
    if (l.count_of(Call::sleep) == 1) l.advance(std::uint64_t{1} << 33);
  });
  line.on_write(
      [](ScriptedLine& l, const Bytes&) { l.arrive_in((std::uint64_t{1} << 33) + 100, completion(1)); });
  EXPECT_EQ(focus_single_focus_timeout(dev, 0), FOCUS_OK);
  EXPECT_EQ(line.count_of(Call::tick), 0u);
}

TEST_F(SingleFocus, TheLargestLimitIsALimitNotNone) {
  line.on_sleep([](ScriptedLine& l) {
    if (l.count_of(Call::sleep) == 1) l.advance(4294967295u);
  });
  reply_to_each_request(ack(1, 0xA1));
  EXPECT_EQ(focus_single_focus_timeout(dev, 4294967295u), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(line.count_of(Call::read), 1u);
}

TEST_F(SingleFocus, FailingReadsEndAtTheDeadline) {
  reply_to_each_request(completion(1));
  line.fail_reads(true);
  EXPECT_EQ(focus_single_focus_timeout(dev, 100), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(line.now() - start, 100u);
  expect_timeouts_bracketed();
}

TEST_F(SingleFocus, AWriteThatFailsIsReportedWithoutWaiting) {
  line.limit_writes(6);
  EXPECT_EQ(focus_single_focus(dev), FOCUS_ERR_WRITE);
  EXPECT_EQ(error(), "串口写入失败");
  EXPECT_EQ(exchange_kinds(), (std::vector<Call::Kind>{Call::purge, Call::write}));
}

TEST_F(SingleFocus, FramesBehindTheCompletionStayForTheNextQuery) {
  reply_to_each_request(concat({completion(1), device_frame(0xA1, {0x02, 0x01, 0x00, 0x10, 0x27})}));
  ASSERT_EQ(focus_single_focus(dev), FOCUS_OK);
  QueryResult result{};
  ASSERT_EQ(focus_query_result(dev, &result), FOCUS_OK);
  EXPECT_EQ(+result.value, 10000);
}

}  // namespace
}  // namespace focus::testing
