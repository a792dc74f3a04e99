// `focusctl monitor`: a continuous mode started and its results shown as
// they arrive, timed by when the host read them, with a rate over a sliding
// window, a summary at the end, and optionally a CSV file and an SVG plot.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "focus.h"
#include "reports.h"
#include "traffic_trace.h"

namespace focus::ctl {

struct MonitorOptions {
  bool range = false;                  // continuous range instead of focus
  std::optional<std::uint32_t> count;  // stop after this many results
  std::string csv;                     // --csv FILE
  std::string plot;                    // --plot FILE.svg
};

bool parse_monitor_options(const std::vector<std::string>& args, MonitorOptions& out, std::string& error);

// The rate over the last second: the results of the reads after the
// window's first read, over the time since that read. Results come in
// bursts, one per read, so counting the first burst too would overstate
// the rate.
class SlidingRate {
 public:
  static constexpr double kWindowMs = 1000;
  // Adds a read at `ms` that brought `results`.
  void add_read(double ms, std::size_t results);
  // The rate per second, or nullopt while the window holds one read.
  std::optional<double> per_second() const;

 private:
  struct Read {
    double ms;
    std::size_t results;
  };
  std::vector<Read> reads_;  // in order; those older than the window dropped
};

// Runs until Ctrl-C, the count, or no result for kQuietLimit queries in a
// row (about 5 s). Returns focusctl's exit status.
int run_monitor(DeviceConnection* dev, const MonitorOptions& options, TrafficTrace& trace,
                const Reporter& reporter);

}  // namespace focus::ctl
