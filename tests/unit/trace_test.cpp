// The connection's trace: one event per platform call on the port, with its
// bytes, in order; and an untraced connection making exactly the calls it
// always made.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "exchange_fixture.h"

namespace focus::testing {
namespace {

struct Event {
  std::uint32_t event;
  Bytes bytes;
  std::uint64_t tick;
  friend bool operator==(const Event&, const Event&) = default;
};

void PrintTo(const Event& e, std::ostream* out) {
  *out << "{event " << e.event << ", " << hex(e.bytes) << ", tick " << e.tick << "}";
}

class TraceRecorder {
 public:
  static void FOCUS_CALL record(void* user, std::uint32_t event, const std::uint8_t* bytes,
                                std::uint32_t count, std::uint64_t tick_ms) {
    auto* self = static_cast<TraceRecorder*>(user);
    if (count > 0 && bytes == nullptr) self->null_with_count = true;
    self->events.push_back({event, Bytes(bytes, bytes + count), tick_ms});
  }
  std::vector<Event> events;
  bool null_with_count = false;
};

Bytes le32_record(const SerialTimeouts& t) {
  Bytes out;
  for (std::uint32_t v : {t.read_interval, t.read_total_multiplier, t.read_total_constant,
                          t.write_total_multiplier, t.write_total_constant}) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  return out;
}

// The event the trace owes for one recorded platform call, if any: the line
// records each call independently of the trace, so the two must agree.
std::optional<Event> expected_event(const Call& call) {
  switch (call.kind) {
    case Call::purge: return Event{FOCUS_TRACE_PURGE, {}, call.at};
    case Call::write: return Event{FOCUS_TRACE_WRITE, call.bytes, call.at};
    case Call::read:
      if (call.bytes.empty()) return std::nullopt;
      return Event{FOCUS_TRACE_READ, call.bytes, call.at};
    case Call::get_timeouts: return Event{FOCUS_TRACE_GET_TIMEOUTS, le32_record(call.timeouts), call.at};
    case Call::set_timeouts: return Event{FOCUS_TRACE_TIMEOUTS, le32_record(call.timeouts), call.at};
    case Call::sleep: {
      Bytes ms = le32_record({call.size, 0, 0, 0, 0});
      ms.resize(4);
      return Event{FOCUS_TRACE_SLEEP, ms, 0};
    }
    case Call::close: return Event{FOCUS_TRACE_CLOSE, {}, call.at};
    default: return std::nullopt;
  }
}

class Trace : public ExchangeTest {
 protected:
  void SetUp() override {
    ExchangeTest::SetUp();
    ASSERT_EQ(focus_set_trace(dev, &TraceRecorder::record, &recorder), FOCUS_OK);
  }
  // What the trace should have reported for the calls since the connection
  // was opened. A sleep's tick is the clock after the sleep.
  std::vector<Event> expected_events() const {
    std::vector<Event> out;
    for (const Call& call : exchange_calls()) {
      if (std::optional<Event> e = expected_event(call)) {
        if (call.kind == Call::sleep) e->tick = call.at + call.size;
        out.push_back(*e);
      }
    }
    return out;
  }
  TraceRecorder recorder;
};

TEST(TraceArguments, ANullConnectionIsAnArgumentError) {
  TraceRecorder recorder;
  EXPECT_EQ(focus_set_trace(nullptr, &TraceRecorder::record, &recorder), FOCUS_ERR_ARG);
  EXPECT_EQ(focus_set_trace(nullptr, nullptr, nullptr), FOCUS_ERR_ARG);
}

TEST_F(Trace, ASimpleCommandReportsEachCallWithItsBytes) {
  reply_to_each_request(ack(1, 0xA7));
  const std::uint64_t start = line.now();
  ASSERT_EQ(focus_laser_off(dev), FOCUS_OK);

  const std::vector<Event> expected = {
      {FOCUS_TRACE_PURGE, {}, start},
      {FOCUS_TRACE_WRITE, {0x5A, 0x01, 0x01, 0xA7, 0x01, 0x97, 0xC1}, start},
      {FOCUS_TRACE_GET_TIMEOUTS, le32_record(kFoundTimeouts), start},
      {FOCUS_TRACE_TIMEOUTS, le32_record(connection::kPollingTimeouts), start},
      {FOCUS_TRACE_SLEEP, {50, 0, 0, 0}, start + 50},
      {FOCUS_TRACE_READ, ack(1, 0xA7), start + 50},
      {FOCUS_TRACE_TIMEOUTS, le32_record(kFoundTimeouts), start + 50},
  };
  EXPECT_EQ(recorder.events, expected);
  EXPECT_FALSE(recorder.null_with_count);
}

// Each kind of exchange, with a reply cut into two reads and a read between
// them that returns nothing: every event matches the line's own record of
// the call, in order, and empty reads are left out.
struct ExchangeCase {
  const char* name;
  std::function<std::int32_t(DeviceConnection*)> call;
  Bytes reply;
  std::uint64_t second_half_delay;
};

Bytes sys_info_reply() {
  Bytes payload;
  for (int i = 0; i < 15; ++i) payload.push_back(static_cast<std::uint8_t>(i + 1));
  return device_frame(0xF5, payload);
}

const ExchangeCase kExchanges[] = {
    {"simple_command", [](DeviceConnection* d) { return focus_fixed_cycle(d, 0x1234, 7); }, ack(1, 0xC2),
     100},
    {"refused_command", [](DeviceConnection* d) { return focus_laser_on(d, 3); }, ack(0, 0xA6), 100},
    {"single_focus", [](DeviceConnection* d) { return focus_single_focus(d); },
     concat({ack(1, 0xA1), device_frame(0xA1, {0x02, 0x01, 0x00})}), 45},
    {"sys_info",
     [](DeviceConnection* d) {
       SysInfo info{};
       return focus_read_sys_info(d, &info);
     },
     sys_info_reply(), 250},
    {"query_result",
     [](DeviceConnection* d) {
       QueryResult result{};
       return focus_query_result(d, &result);
     },
     device_frame(0xA9, {0x03, 0x01, 0x00, 0x34, 0x12}), 250},
    {"timeout", [](DeviceConnection* d) { return focus_calib_save(d); }, {}, 0},
};

class TraceOfExchange : public Trace, public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(TraceOfExchange, MatchesThePlatformCallsInOrder) {
  const ExchangeCase& c = GetParam();
  if (!c.reply.empty()) {
    const std::size_t half = c.reply.size() / 2;
    const Bytes first(c.reply.begin(), c.reply.begin() + static_cast<std::ptrdiff_t>(half));
    const Bytes second(c.reply.begin() + static_cast<std::ptrdiff_t>(half), c.reply.end());
    line.arrive_in(10, first);  // a query sends nothing: the stream is already coming
    line.arrive_in(10 + c.second_half_delay, second);
  }
  c.call(dev);

  const std::vector<Event> expected = expected_events();
  EXPECT_EQ(recorder.events, expected);
  std::size_t reads = 0;
  Bytes read_bytes;
  for (const Event& e : recorder.events) {
    if (e.event != FOCUS_TRACE_READ) continue;
    ++reads;
    read_bytes.insert(read_bytes.end(), e.bytes.begin(), e.bytes.end());
  }
  EXPECT_EQ(read_bytes, c.reply) << "every byte read is traced once";
  EXPECT_GT(line.count_of(Call::read), reads) << "reads that returned nothing are not reported";
  EXPECT_FALSE(recorder.null_with_count);
}

INSTANTIATE_TEST_SUITE_P(Exchanges, TraceOfExchange, ::testing::ValuesIn(kExchanges),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Trace, APartialWriteReportsTheBytesThePortTook) {
  line.limit_writes(3);
  EXPECT_EQ(focus_laser_off(dev), FOCUS_ERR_WRITE);
  ASSERT_EQ(recorder.events.size(), 2u);
  EXPECT_EQ(recorder.events[1], (Event{FOCUS_TRACE_WRITE, {0x5A, 0x01, 0x01}, line.now()}));
}

TEST_F(Trace, AFailedTimeoutReadIsReportedWithoutBytes) {
  line.fail_get_timeouts(true);
  reply_to_each_request(ack(1, 0xA7));
  ASSERT_EQ(focus_laser_off(dev), FOCUS_OK);
  ASSERT_GE(recorder.events.size(), 3u);
  EXPECT_EQ(recorder.events[2].event, FOCUS_TRACE_GET_TIMEOUTS);
  EXPECT_TRUE(recorder.events[2].bytes.empty());
}

TEST_F(Trace, ClosingIsTheLastEvent) {
  connection::close_connection(dev);
  dev = nullptr;
  ASSERT_EQ(recorder.events.size(), 1u);
  EXPECT_EQ(recorder.events[0].event, FOCUS_TRACE_CLOSE);
}

TEST_F(Trace, ALaterTraceReplacesTheEarlierOne) {
  TraceRecorder second;
  reply_to_each_request(ack(1, 0xA7));
  ASSERT_EQ(focus_laser_off(dev), FOCUS_OK);
  const std::size_t first_count = recorder.events.size();
  ASSERT_EQ(focus_set_trace(dev, &TraceRecorder::record, &second), FOCUS_OK);
  ASSERT_EQ(focus_laser_off(dev), FOCUS_OK);
  EXPECT_EQ(recorder.events.size(), first_count);
  EXPECT_EQ(second.events.size(), first_count);
  focus_set_trace(dev, nullptr, nullptr);  // `second` ends before the connection
}

// The same exchange on a connection never traced and on one whose trace was
// set and cleared: the same platform calls, the clock read no more often,
// and no event after the clearing.
TEST(TraceCleared, MakesExactlyTheCallsOfAConnectionNeverTraced) {
  const auto run = [](bool trace_then_clear, TraceRecorder& recorder) {
    ScriptedLine line;
    DeviceConnection* dev = connection::open_connection(line, "COM1");
    EXPECT_NE(dev, nullptr);
    line.on_write([](ScriptedLine& l, const Bytes&) { l.arrive_in(70, concat({ack(1, 0xA1)})); });
    if (trace_then_clear) {
      EXPECT_EQ(focus_set_trace(dev, &TraceRecorder::record, &recorder), FOCUS_OK);
      EXPECT_EQ(focus_set_trace(dev, nullptr, &recorder), FOCUS_OK);
    }
    focus_laser_off(dev);
    focus_single_focus_timeout(dev, 200);
    connection::close_connection(dev);
    std::vector<std::pair<Call::Kind, std::uint64_t>> calls;
    for (const Call& c : line.calls()) calls.emplace_back(c.kind, c.at);
    return calls;
  };
  TraceRecorder unused;
  TraceRecorder cleared;
  const auto never = run(false, unused);
  const auto after_clearing = run(true, cleared);
  EXPECT_EQ(never, after_clearing);
  EXPECT_TRUE(cleared.events.empty());
}

}  // namespace
}  // namespace focus::testing
