// A simulator on a pseudo-terminal of its own and a library connection to
// it, for tests that run in real time.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "focus.h"
#include "sim_thread.h"
#include "traffic_log.h"

namespace focus::sim {

class SimulatedDevice : public ::testing::Test {
 protected:
  // Starts the simulator with `options` and connects to it.
  void start(const SimOptions& options = {});
  void TearDown() override;
  // Closes the connection and opens the port again.
  void reconnect();

  DeviceConnection* dev() const { return dev_; }
  const std::string& port() const { return simulator_->port(); }
  // The traffic log so far, one formatted line each; printed when a test fails.
  std::vector<std::string> log() const;

 private:
  std::shared_ptr<std::vector<std::string>> log_ = std::make_shared<std::vector<std::string>>();
  std::shared_ptr<std::mutex> log_mutex_ = std::make_shared<std::mutex>();
  std::unique_ptr<SimulatorThread> simulator_;
  DeviceConnection* dev_ = nullptr;
};

}  // namespace focus::sim
