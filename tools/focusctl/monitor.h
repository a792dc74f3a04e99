// `focusctl monitor`: a continuous mode started and its results printed as
// they arrive, with a running rate.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "focus.h"
#include "reports.h"

namespace focus::ctl {

struct MonitorOptions {
  bool range = false;                  // continuous range instead of focus
  std::optional<std::uint32_t> count;  // stop after this many results
};

bool parse_monitor_options(const std::vector<std::string>& args, MonitorOptions& out, std::string& error);

// Runs until Ctrl-C, the count, or no result for kQuietLimit queries in a
// row (about 5 s). Returns focusctl's exit status.
int run_monitor(DeviceConnection* dev, const MonitorOptions& options, const Reporter& reporter);

}  // namespace focus::ctl
