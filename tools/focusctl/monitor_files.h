// What `monitor` writes besides its output: the results as CSV rows, and a
// picture of them over time as SVG that a browser opens.
#pragma once

#include <string>
#include <vector>

#include "focus.h"

namespace focus::ctl {

struct MonitorSample {
  double host_ms;  // when the host read the result, from the start of the mode
  QueryResult result;
};

// "host_ms,kind,status,code,value" and one row per sample. False when the
// file cannot be written.
bool write_samples_csv(const std::string& path, const std::vector<MonitorSample>& samples);

// The values over time with axes (ms, raw value), failed results (status
// other than 1) as red crosses and gaps (an interval between reads of more
// than three times the usual one) as shaded bands. False when the file
// cannot be written.
bool write_samples_svg(const std::string& path, const std::vector<MonitorSample>& samples,
                       const std::string& title);

// The intervals between reads that count as gaps: [from, to] in host ms.
std::vector<std::pair<double, double>> find_gaps(const std::vector<MonitorSample>& samples);

}  // namespace focus::ctl
