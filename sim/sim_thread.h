// A simulator serving a pseudo-terminal on a thread of its own, for a
// program or test that drives the device from the same process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "pty_line.h"
#include "sim_options.h"
#include "simulator.h"
#include "traffic_log.h"

namespace focus::sim {

// The replay key given, or a fresh one.
std::uint64_t resolve_replay_key(const SimOptions& options);

// The traffic log that `target` names: "-" is stderr, anything else a file
// (truncated). Empty sink for "". Null sink and `error` set when the file
// cannot be opened.
bool open_traffic_log(const std::string& target, TrafficSink& sink, std::string& error);

class SimulatorThread {
 public:
  // Opens the line (and its --link) and starts serving. Null, with the
  // reason in `error`, when the line cannot be had.
  static std::unique_ptr<SimulatorThread> start(const SimOptions& options, std::string& error,
                                                TrafficSink sink = {});
  // Stops serving and closes the line.
  ~SimulatorThread();
  SimulatorThread(const SimulatorThread&) = delete;
  SimulatorThread& operator=(const SimulatorThread&) = delete;

  // The path a host opens.
  const std::string& port() const { return line_->slave_path(); }
  std::uint64_t replay_key() const { return replay_key_; }

 private:
  SimulatorThread(std::unique_ptr<PtyLine> line, const SimOptions& options, std::uint64_t replay_key,
                  TrafficSink sink);

  std::unique_ptr<PtyLine> line_;
  std::uint64_t replay_key_;
  Simulator simulator_;
  std::thread thread_;
};

}  // namespace focus::sim
