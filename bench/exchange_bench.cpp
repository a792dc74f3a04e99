// Whole exchanges on the scripted line: the library's own cost per call,
// with the waits taken by the virtual clock.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <iterator>

#include "allocation_counter.h"
#include "connection/device_connection.h"
#include "focus.h"
#include "scripted_line.h"

namespace focus::bench {
namespace {

// A line that acknowledges every request at once and records nothing, so
// that what is counted is the library's own work.
class AcknowledgingLine final : public platform::SerialPlatform {
 public:
  platform::PortHandle open_port(const char*) override { return 1; }
  bool get_line_settings(platform::PortHandle, platform::LineSettings&) override { return true; }
  bool set_line_settings(platform::PortHandle, const platform::LineSettings&) override { return true; }
  bool get_timeouts(platform::PortHandle, platform::SerialTimeouts& t) override {
    t = timeouts_;
    return true;
  }
  bool set_timeouts(platform::PortHandle, const platform::SerialTimeouts& t) override {
    timeouts_ = t;
    return true;
  }
  bool purge_received(platform::PortHandle) override { return true; }
  bool read(platform::PortHandle, std::uint8_t* buffer, std::uint32_t, std::uint32_t& count) override {
    count = pending_ ? static_cast<std::uint32_t>(sizeof kAck) : 0;
    if (pending_) std::copy(std::begin(kAck), std::end(kAck), buffer);
    pending_ = false;
    return true;
  }
  bool write(platform::PortHandle, const std::uint8_t*, std::uint32_t size, std::uint32_t& written) override {
    written = size;
    pending_ = true;
    return true;
  }
  bool close_port(platform::PortHandle) override { return true; }
  void sleep_ms(std::uint32_t) override {}
  std::uint64_t tick_ms() override { return 0; }

 private:
  static constexpr std::uint8_t kAck[9] = {0x5A, 0x02, 0x03, 0xA7, 0x01, 0x01, 0x00, 0xD7, 0xC3};
  platform::SerialTimeouts timeouts_{};
  bool pending_ = false;
};

void BM_SimpleCommand(benchmark::State& state) {
  AcknowledgingLine line;
  DeviceConnection* dev = connection::open_connection(line, "COM1");
  const std::size_t before = allocations();
  for (auto _ : state) {
    if (focus_laser_off(dev) != FOCUS_OK) state.SkipWithError("not acknowledged");
  }
  state.counters["allocs/call"] =
      benchmark::Counter(static_cast<double>(allocations() - before), benchmark::Counter::kAvgIterations);
  connection::close_connection(dev);
}
BENCHMARK(BM_SimpleCommand);

void BM_QueryStreamedResults(benchmark::State& state) {
  testing::ScriptedLine line;
  DeviceConnection* dev = connection::open_connection(line, "COM1");
  const testing::Bytes result = testing::device_frame(0xAA, {0x03, 0x01, 0x00, 0x2C, 0x01});
  QueryResult record{};
  for (auto _ : state) {
    line.arrive_at(line.now(), result);
    if (focus_query_result(dev, &record) != FOCUS_OK) state.SkipWithError("result lost");
  }
  connection::close_connection(dev);
}
BENCHMARK(BM_QueryStreamedResults);

}  // namespace
}  // namespace focus::bench
