// Where focusctl reaches the device: the port named with --port, or the
// simulator started in this process on a pseudo-terminal.
#pragma once

#include <memory>
#include <string>

#include "invocation.h"

#ifndef _WIN32
#include "sim_thread.h"
#endif

namespace focus::ctl {

class DeviceLine {
 public:
  // Null, with `error` set and `exit_code` the status to leave with, when
  // the simulator cannot be started or is not available.
  static std::unique_ptr<DeviceLine> reach(const Invocation& invocation, std::string& error, int& exit_code);

  // The name to hand focus_init.
  const std::string& port() const { return port_; }
  // The name as the user gave it, for messages (without the "\\.\" that
  // Windows needs from COM10 up).
  const std::string& shown_name() const { return shown_name_; }
  bool simulated() const { return simulated_; }

 private:
  std::string port_;
  std::string shown_name_;
  bool simulated_ = false;
#ifndef _WIN32
  std::unique_ptr<sim::SimulatorThread> simulator_;
#endif
};

}  // namespace focus::ctl
