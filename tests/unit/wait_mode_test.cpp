// The prompt wait mode and the reads that follow a full read, on the
// scripted line: when each exchange returns, under which timeouts it reads,
// and that its bound and its results are those of the paced mode.
#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "exchange_fixture.h"

namespace focus::testing {
namespace {

Bytes completion(std::uint8_t status = 1, std::uint8_t code = 0) {
  return device_frame(0xA1, {0x02, status, code});
}
Bytes range_result(std::uint16_t value) {
  return device_frame(0xAA, {0x03, 0x01, 0x00, static_cast<std::uint8_t>(value & 0xFF),
                             static_cast<std::uint8_t>(value >> 8)});
}
Bytes info_frame() {
  return device_frame(0xF5, Bytes(15, 0x42));
}

bool is_prompt_record(const SerialTimeouts& t) {
  return t.read_interval == platform::kMaxDword && t.read_total_multiplier == platform::kMaxDword &&
         t.read_total_constant != 0 && t.write_total_multiplier == 0 && t.write_total_constant == 0;
}

class WaitModeExport : public ExchangeTest {};

TEST_F(WaitModeExport, AcceptsTheTwoModesAndRefusesTheRestWithoutTouchingThePort) {
  EXPECT_EQ(focus_set_wait_mode(nullptr, FOCUS_WAIT_PROMPT), FOCUS_ERR_ARG);
  EXPECT_EQ(dev->wait_mode, connection::WaitMode::paced) << "a new connection is paced";
  EXPECT_EQ(focus_set_wait_mode(dev, FOCUS_WAIT_PROMPT), FOCUS_OK);
  EXPECT_EQ(dev->wait_mode, connection::WaitMode::prompt);
  for (const std::uint32_t unknown : {2u, 0x80000000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(focus_set_wait_mode(dev, unknown), FOCUS_ERR_ARG) << unknown;
    EXPECT_EQ(dev->wait_mode, connection::WaitMode::prompt) << "an unknown mode changes nothing";
  }
  EXPECT_EQ(focus_set_wait_mode(dev, FOCUS_WAIT_PACED), FOCUS_OK);
  EXPECT_EQ(dev->wait_mode, connection::WaitMode::paced);
  EXPECT_TRUE(exchange_calls().empty());
  EXPECT_EQ(error(), "");
}

// One exchange in prompt mode: its call, its bound in ms from the request,
// and what it returns when the deciding frame is there in time.
struct PromptCase {
  const char* name;
  std::function<std::int32_t(DeviceConnection*)> call;
  Bytes reply;
  std::uint64_t bound_ms;
  std::int32_t decided;
  const char* timeout_message;  // the error text after -8
};

QueryResult g_result;
SysInfo g_info;

const PromptCase kPromptCases[] = {
    {"acknowledgement", [](DeviceConnection* d) { return focus_laser_off(d); }, ack(1), 1500, FOCUS_OK, ""},
    {"refusal", [](DeviceConnection* d) { return focus_laser_off(d); }, ack(0), 1500, FOCUS_ERR_DEVICE, ""},
    {"query_result", [](DeviceConnection* d) { return focus_query_result(d, &g_result); }, range_result(300),
     500, FOCUS_OK, ""},
    {"sys_info", [](DeviceConnection* d) { return focus_read_sys_info(d, &g_info); }, info_frame(), 2000,
     FOCUS_OK, ""},
    {"single_focus", [](DeviceConnection* d) { return focus_single_focus(d); }, completion(), 5000, FOCUS_OK,
     "单次对焦等待超时"},
    {"single_focus_failed", [](DeviceConnection* d) { return focus_single_focus(d); }, completion(0, 7), 5000,
     FOCUS_ERR_DEVICE, "单次对焦等待超时"},
    {"single_focus_timeout_300", [](DeviceConnection* d) { return focus_single_focus_timeout(d, 300); },
     completion(), 300, FOCUS_OK, "单次对焦等待超时"},
};

class PromptExchange : public ExchangeTest, public ::testing::WithParamInterface<PromptCase> {
 protected:
  void SetUp() override {
    ExchangeTest::SetUp();
    ASSERT_EQ(focus_set_wait_mode(dev, FOCUS_WAIT_PROMPT), FOCUS_OK);
    start = line.now();
  }
  // Every read waited under the prompt record, for no longer than the time
  // left to the bound; nothing slept.
  void expect_waiting_reads_within_the_bound() const {
    EXPECT_EQ(line.count_of(Call::sleep), 0u);
    const auto reads = line.calls_of(Call::read);
    ASSERT_FALSE(reads.empty());
    for (const Call& read : reads) {
      EXPECT_TRUE(is_prompt_record(read.timeouts)) << "read at +" << read.at - start;
      EXPECT_LE(read.at + read.timeouts.read_total_constant, start + GetParam().bound_ms)
          << "read at +" << read.at - start << " may wait " << read.timeouts.read_total_constant << " ms";
    }
    EXPECT_EQ(line.calls().back().kind, Call::set_timeouts);
    EXPECT_EQ(line.timeouts(), kFoundTimeouts);
  }
  std::uint64_t start = 0;
};

TEST_P(PromptExchange, ReturnsTheMomentTheDecidingFrameIsComplete) {
  const Bytes reply = GetParam().reply;
  // The frame comes in three pieces, 3, 40 and 41 ms after the request.
  line.arrive_at(start + 3, Bytes(reply.begin(), reply.begin() + 2));
  line.arrive_at(start + 40, Bytes(reply.begin() + 2, reply.end() - 1));
  line.arrive_at(start + 41, Bytes(reply.end() - 1, reply.end()));
  EXPECT_EQ(GetParam().call(dev), GetParam().decided);
  EXPECT_EQ(line.now() - start, 41u);
  EXPECT_EQ(line.count_of(Call::read), 3u);
  expect_waiting_reads_within_the_bound();
}

TEST_P(PromptExchange, TakesAFrameCompletedInTheLastMillisecond) {
  const Bytes reply = GetParam().reply;
  line.arrive_at(start + GetParam().bound_ms - 1, Bytes(reply.begin(), reply.end() - 1));
  line.arrive_at(start + GetParam().bound_ms, Bytes(reply.end() - 1, reply.end()));
  EXPECT_EQ(GetParam().call(dev), GetParam().decided);
  EXPECT_EQ(line.now() - start, GetParam().bound_ms);
  expect_waiting_reads_within_the_bound();
}

TEST_P(PromptExchange, TimesOutExactlyAtTheBound) {
  dev->error_text = "earlier";
  line.arrive_at(start + GetParam().bound_ms + 1, GetParam().reply);
  EXPECT_EQ(GetParam().call(dev), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(line.now() - start, GetParam().bound_ms);
  EXPECT_EQ(error(), GetParam().timeout_message[0] != '\0' ? GetParam().timeout_message : "earlier");
  expect_waiting_reads_within_the_bound();
}

TEST_P(PromptExchange, SetsTheTimeoutsBackWhenMemoryRunsOut) {
  line.on_read([](ScriptedLine&) { throw std::bad_alloc(); });
  EXPECT_EQ(GetParam().call(dev), FOCUS_ERR_NO_MEMORY);
  EXPECT_EQ(line.timeouts(), kFoundTimeouts);
}

TEST_P(PromptExchange, WritesWhatThePacedModeWrites) {
  reply_to_each_request(GetParam().reply);
  GetParam().call(dev);
  const Bytes prompt_bytes = line.written();
  ScriptedLine paced_line;
  DeviceConnection* paced = connection::open_connection(paced_line, "COM1");
  paced_line.on_write([&](ScriptedLine& l, const Bytes&) { l.arrive_in(10, GetParam().reply); });
  GetParam().call(paced);
  EXPECT_EQ(hex(prompt_bytes), hex(paced_line.written()));
  connection::close_connection(paced);
}

INSTANTIATE_TEST_SUITE_P(Exchanges, PromptExchange, ::testing::ValuesIn(kPromptCases),
                         [](const auto& info) { return std::string(info.param.name); });

class Prompt : public ExchangeTest {
 protected:
  void SetUp() override {
    ExchangeTest::SetUp();
    ASSERT_EQ(focus_set_wait_mode(dev, FOCUS_WAIT_PROMPT), FOCUS_OK);
    start = line.now();
  }
  std::uint64_t start = 0;
};

TEST_F(Prompt, AFrameAlreadyHeldDecidesWithoutARead) {
  line.on_write([](ScriptedLine& l, const Bytes&) {
    l.arrive_in(1, concat({ack(1, 0xA9), range_result(7)}));
  });
  ASSERT_EQ(focus_single_range(dev), FOCUS_OK);
  const std::size_t reads = line.count_of(Call::read);
  QueryResult result{};
  ASSERT_EQ(focus_query_result(dev, &result), FOCUS_OK);
  EXPECT_EQ(+result.value, 7);
  EXPECT_EQ(line.count_of(Call::read), reads);
  EXPECT_EQ(line.timeouts(), kFoundTimeouts);
}

TEST_F(Prompt, SingleFocusWithoutALimitWaitsInLongReadsAndNeverReadsTheClock) {
  const std::uint64_t two_hours = 2 * 3600 * 1000;
  reply_to_each_request(completion(), two_hours);
  EXPECT_EQ(focus_single_focus_timeout(dev, 0), FOCUS_OK);
  EXPECT_EQ(line.now() - start, two_hours);
  EXPECT_EQ(line.count_of(Call::tick), 0u);
  const auto reads = line.calls_of(Call::read);
  EXPECT_EQ(reads.size(), two_hours / connection::kLongestPromptWait);
  for (const Call& read : reads) EXPECT_EQ(read.timeouts, connection::prompt_timeouts(60000));
}

TEST_F(Prompt, ALimitOfOneMillisecondCanEndBeforeAnyRead) {
  line.tick_step(1);
  reply_to_each_request(completion(), 0);
  EXPECT_EQ(focus_single_focus_timeout(dev, 1), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(line.count_of(Call::read), 0u);
  EXPECT_EQ(line.timeouts(), kFoundTimeouts);
}

TEST_F(Prompt, FailingReadsWaitTheirTimeAndEndAtTheBound) {
  reply_to_each_request(ack(1));
  line.fail_reads(true);
  EXPECT_EQ(focus_laser_off(dev), FOCUS_ERR_TIMEOUT);
  EXPECT_EQ(line.now() - start, 1500u);
  EXPECT_EQ(line.count_of(Call::read), 1u) << "one read that waited the whole bound";
}

TEST_F(Prompt, FramesThatDoNotDecideAreReadAsTheyComeAndTheWaitGoesOn) {
  line.on_write([](ScriptedLine& l, const Bytes&) {
    l.arrive_in(5, ack(1, 0xA1));
    l.arrive_in(250, completion());
  });
  EXPECT_EQ(focus_single_focus(dev), FOCUS_OK);
  EXPECT_EQ(line.now() - start, 250u);
  const auto reads = line.calls_of(Call::read);
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].returned_at - start, 5u);
  EXPECT_EQ(reads[1].timeouts, connection::prompt_timeouts(5000 - 5)) << "the wait shrinks to the time left";
}

// ---- Reading again at once after a full read (both modes) ----------------

class Draining : public ExchangeTest {
 protected:
  // Acknowledgements, which no query takes, filling `bytes` bytes.
  static Bytes acks_filling(std::size_t bytes) {
    Bytes all;
    while (all.size() + 9 <= bytes) all = concat({all, ack(1, 0x10)});
    all.resize(bytes, 0x00);  // stray bytes make up the rest
    return all;
  }
};

TEST_F(Draining, AFullReadIsFollowedByTheNextWithoutTheSleep) {
  const std::uint64_t start = line.now();
  line.arrive_at(start + 10, concat({acks_filling(512), range_result(1)}));
  QueryResult result{};
  EXPECT_EQ(focus_query_result(dev, &result), FOCUS_OK);
  EXPECT_EQ(+result.value, 1);
  EXPECT_EQ(exchange_kinds(), (std::vector<Call::Kind>{Call::get_timeouts, Call::set_timeouts, Call::sleep,
                                                       Call::read, Call::read, Call::set_timeouts}));
  EXPECT_EQ(line.now() - start, 100u);
}

TEST_F(Draining, OnlyAFullReadSkipsTheSleep) {
  const std::uint64_t start = line.now();
  line.arrive_at(start + 10, acks_filling(511));
  line.arrive_at(start + 150, range_result(1));
  QueryResult result{};
  EXPECT_EQ(focus_query_result(dev, &result), FOCUS_OK);
  EXPECT_EQ(line.count_of(Call::sleep), 2u);
  EXPECT_EQ(line.calls_of(Call::read)[0].bytes.size(), 511u);
  EXPECT_EQ(line.now() - start, 200u);
}

TEST_F(Draining, TheNextCallReadsAtOnceWhenTheLastReadWasFull) {
  Bytes burst;
  for (std::uint16_t i = 0; i < 100; ++i) burst = concat({burst, range_result(i)});
  line.arrive_at(line.now(), burst);
  for (std::uint16_t i = 0; i < 100; ++i) {
    QueryResult result{};
    ASSERT_EQ(focus_query_result(dev, &result), FOCUS_OK) << i;
    ASSERT_EQ(+result.value, i);
  }
  EXPECT_EQ(line.count_of(Call::sleep), 1u) << "only the first call found the driver quiet";
  EXPECT_EQ(line.count_of(Call::read), 3u) << "512 + 512 + 76 bytes";
}

TEST_F(Draining, ARequestPurgesTheDriverSoItsWaitSleepsFirst) {
  line.arrive_at(line.now(), concat({acks_filling(500), range_result(1), range_result(2)}));
  QueryResult result{};
  ASSERT_EQ(focus_query_result(dev, &result), FOCUS_OK);
  ASSERT_TRUE(dev->driver_may_hold_more);
  reply_to_each_request(ack(1));
  const std::size_t before = line.calls().size();
  ASSERT_EQ(focus_laser_off(dev), FOCUS_OK);
  const std::vector<Call> calls(line.calls().begin() + static_cast<std::ptrdiff_t>(before),
                                line.calls().end());
  EXPECT_EQ(kinds_of(calls),
            (std::vector<Call::Kind>{Call::purge, Call::write, Call::get_timeouts, Call::set_timeouts,
                                     Call::sleep, Call::read, Call::set_timeouts}));
}

TEST_F(Draining, SingleFocusDrainsWithinItsPassesAndKeepsItsDeadline) {
  const std::uint64_t start = line.now();
  line.on_write([](ScriptedLine& l, const Bytes&) {
    l.arrive_in(5, concat({acks_filling(256 * 3), completion()}));
  });
  EXPECT_EQ(focus_single_focus(dev), FOCUS_OK);
  EXPECT_EQ(line.count_of(Call::sleep), 1u);
  EXPECT_EQ(line.count_of(Call::read), 4u);
  EXPECT_EQ(line.now() - start, 20u);
}

// A device streaming 1000 results a second into a driver that holds 4 KB,
// with the host calling focus_query_result in a loop for 10 s: in either
// mode every result arrives, in order, and the driver never overflows.
class StreamIntoAFullDriver : public ExchangeTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(StreamIntoAFullDriver, LosesNothing) {
  ASSERT_EQ(focus_set_wait_mode(dev, GetParam()), FOCUS_OK);
  line.limit_driver_buffer(4096);
  const std::uint64_t start = line.now();
  constexpr std::uint16_t kResults = 10000;
  for (std::uint16_t i = 0; i < kResults; ++i) line.arrive_at(start + 1 + i, range_result(i));
  std::uint16_t taken = 0;
  while (line.now() < start + kResults + 600) {
    QueryResult result{};
    if (focus_query_result(dev, &result) != FOCUS_OK) continue;
    ASSERT_EQ(+result.value, taken) << "in order, none skipped";
    ++taken;
  }
  EXPECT_EQ(taken, kResults);
  EXPECT_EQ(line.lost_bytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Modes, StreamIntoAFullDriver, ::testing::Values(FOCUS_WAIT_PACED, FOCUS_WAIT_PROMPT),
                         [](const auto& info) {
                           return info.param == FOCUS_WAIT_PACED ? "paced" : "prompt";
                         });

}  // namespace
}  // namespace focus::testing
