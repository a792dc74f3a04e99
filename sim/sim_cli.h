// The simulator's options on a CLI11 command line: focus-sim's own, and
// focusctl's with --sim. Each value is checked as parse_sim_option checks it,
// with its messages.
#pragma once

#include <CLI/CLI.hpp>

#include "sim_options.h"

namespace focus::sim {

// Adds every simulator option to `app` in the group `group`; `given` turns
// true when any of them is used.
void add_sim_options(CLI::App& app, SimOptions& options, bool& given, const std::string& group = "Simulator");

}  // namespace focus::sim
