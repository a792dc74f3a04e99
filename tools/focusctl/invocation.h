// focusctl's command line: where the device is, how to print, and what to
// do.
#pragma once

#include <string>
#include <vector>

#ifndef _WIN32
#include "sim_options.h"
#endif

namespace focus::ctl {

struct Invocation {
  bool json = false;
  bool help = false;  // --help, --version or help: print help_text and stop
  std::string help_text;
  bool trace = false;   // --trace: print the traffic as it happens
  std::string port;     // --port NAME; empty: none given
  bool prompt = false;  // --prompt: the library's prompt wait mode
  bool sim_requested = false;
#ifndef _WIN32
  sim::SimOptions sim;
#endif
  std::string command;
  std::vector<std::string> args;  // after the command, --json taken out
};

// False, with `error` saying what is wrong, for a command line that cannot
// run. Options before the command select the device and the output; the
// subcommand's own arguments are checked by the subcommand.
bool parse_invocation(const std::vector<std::string>& argv, Invocation& out, std::string& error);

std::string usage_line();

}  // namespace focus::ctl
