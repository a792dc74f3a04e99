// Sixteen connections on sixteen threads, each driving a focus-sim of its
// own through noise and split replies. Connections share nothing in the
// library; built with ThreadSanitizer (`make test-tsan`) this proves it,
// and in an ordinary build it shows that no connection disturbs another.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "focus.h"

namespace focus::sim {
namespace {

using namespace std::chrono_literals;

constexpr int kConnections = 16;
constexpr int kRounds = 3;

// What one worker saw; checked on the main thread once all have ended.
struct Outcome {
  std::vector<std::string> failures;
  int calls = 0;
};

void expect_ok(Outcome& outcome, const char* what, std::int32_t status) {
  ++outcome.calls;
  if (status != FOCUS_OK)
    outcome.failures.push_back(std::string(what) + " returned " + std::to_string(status));
}

void drive(const std::string& port, int worker, Outcome& outcome) {
  DeviceConnection* dev = focus_init(port.c_str());
  if (dev == nullptr) {
    outcome.failures.push_back("focus_init(" + port + ") failed");
    return;
  }
  for (int round = 0; round < kRounds; ++round) {
    expect_ok(outcome, "single_focus", focus_single_focus(dev));
    expect_ok(outcome, "laser_on", focus_laser_on(dev, worker));
    expect_ok(outcome, "laser_power", focus_laser_power(dev, 10 * round + worker));
    expect_ok(outcome, "lift_control", focus_lift_control(dev, worker));
    SysInfo info{};
    expect_ok(outcome, "read_sys_info", focus_read_sys_info(dev, &info));
    expect_ok(outcome, "single_range", focus_single_range(dev));
    QueryResult result{};
    expect_ok(outcome, "query_result", focus_query_result(dev, &result));
    if (result.kind != 3) outcome.failures.push_back("query_result gave kind " + std::to_string(result.kind));
    expect_ok(outcome, "laser_off", focus_laser_off(dev));
  }
  focus_close(dev);
}

TEST(ConcurrentConnections, SixteenThreadsDriveSixteenSimulatorsThroughNoiseAndSplitReplies) {
  // The simulators start first, from this thread alone.
  std::vector<std::unique_ptr<testing::Child>> sims;
  std::vector<std::string> ports;
  for (int i = 0; i < kConnections; ++i) {
    sims.push_back(std::make_unique<testing::Child>(
        FOCUS_SIM_PROGRAM, std::vector<std::string>{"--noise", "0.2", "--split", "--focus-ms", "60",
                                                    "--replay", std::to_string(i + 1)}));
    const std::optional<std::string> port = sims.back()->read_line(20s);
    ASSERT_TRUE(port) << "simulator " << i << " did not start";
    ports.push_back(*port);
  }

  std::vector<Outcome> outcomes(kConnections);
  std::vector<std::thread> workers;
  for (int i = 0; i < kConnections; ++i) {
    workers.emplace_back(drive, ports[i], i, std::ref(outcomes[i]));
  }
  for (std::thread& worker : workers) worker.join();

  for (int i = 0; i < kConnections; ++i) {
    EXPECT_EQ(outcomes[i].calls, kRounds * 8) << "connection " << i;
    for (const std::string& failure : outcomes[i].failures)
      ADD_FAILURE() << "connection " << i << ": " << failure;
  }
}

}  // namespace
}  // namespace focus::sim
