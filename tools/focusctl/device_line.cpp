#include "device_line.h"

#include "port_name.h"
#include "status_codes.h"

namespace focus::ctl {

std::unique_ptr<DeviceLine> DeviceLine::reach(const Invocation& invocation, std::string& error,
                                              int& exit_code) {
  auto line = std::make_unique<DeviceLine>();
  if (!invocation.port.empty()) {
    line->port_ = library_port_name(invocation.port);
    line->shown_name_ = invocation.port;
    return line;
  }
  if (!invocation.sim_requested) {
    // Never the simulator unasked: a result from it could pass for the
    // device's.
    error = "give --port NAME (see `focusctl ports`) or --sim";
    exit_code = kExitUsage;
    return nullptr;
  }
#ifdef _WIN32
  error = "the simulator needs Linux (a pseudo-terminal); give --port COMn to drive a device";
  exit_code = kExitUsage;
  return nullptr;
#else
  sim::TrafficSink sink;
  if (!sim::open_traffic_log(invocation.sim.log, sink, error)) {
    error = "cannot open the traffic log: " + error;
    exit_code = kExitFailure;
    return nullptr;
  }
  line->simulator_ = sim::SimulatorThread::start(invocation.sim, error, std::move(sink));
  if (!line->simulator_) {
    error = "cannot start the simulator: " + error;
    exit_code = kExitCannotOpen;
    return nullptr;
  }
  line->port_ = line->simulator_->port();
  line->shown_name_ = line->port_;
  line->simulated_ = true;
  return line;
#endif
}

}  // namespace focus::ctl
