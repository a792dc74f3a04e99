#include "simulated_device.h"

#include <mutex>

namespace focus::sim {

void SimulatedDevice::start(const SimOptions& options) {
  SimOptions replayable = options;
  if (!replayable.replay_key) replayable.replay_key = 20261210;  // the same faults on every run
  std::string error;
  auto lines = log_;
  auto mutex = log_mutex_;
  simulator_ = SimulatorThread::start(replayable, error, [lines, mutex](const TrafficEvent& event) {
    std::lock_guard<std::mutex> lock(*mutex);
    lines->push_back(format_traffic(event));
  });
  ASSERT_TRUE(simulator_) << error;
  dev_ = focus_init(simulator_->port().c_str());
  ASSERT_NE(dev_, nullptr) << "focus_init(" << simulator_->port() << ")";
}

void SimulatedDevice::reconnect() {
  focus_close(dev_);
  dev_ = focus_init(simulator_->port().c_str());
}

void SimulatedDevice::TearDown() {
  focus_close(dev_);
  dev_ = nullptr;
  simulator_.reset();
  if (HasFailure()) {
    for (const std::string& line : log()) std::printf("  | %s\n", line.c_str());
  }
}

std::vector<std::string> SimulatedDevice::log() const {
  std::lock_guard<std::mutex> lock(*log_mutex_);
  return *log_;
}

}  // namespace focus::sim
